// Input front end: the public queries of keyboard, mouse and pads, and the input module's start and stop.
// Stands on the pad back end (VtInputPadWin) and the keyboard and mouse back end (VtInputKeyMouseWin);
// pads, keyboard and mouse are read on demand, at most once per millisecond tick, on the window's thread.
#pragma once
#include <cstdint>

namespace Vantrel {

// A pad's state in DirectInput layout (that of DIJOYSTATE), 80 bytes.
struct PadDirectInputState {
    int32_t X;         // left stick horizontal, -1000 (left) .. 1000 (right)
    int32_t Y;         // left stick vertical, -1000 (up) .. 1000 (down)
    int32_t Z;         // XInput pads: left trigger positive, right trigger negative
    int32_t Rx;        // XInput: right stick horizontal; joystick calls: U axis
    int32_t Ry;        // XInput: right stick vertical (down positive); joystick calls: V axis
    int32_t Rz;        // joystick calls: R axis
    int32_t Slider[2]; // DirectInput only
    int32_t POV[4];    // hundredths of a degree clockwise from up, -1 centred
    uint8_t Buttons[32]; // 0x80 while pressed
};
static_assert(sizeof(PadDirectInputState) == 80, "PadDirectInputState is 80 bytes");

// A pad's state in XInput layout, 26 bytes.
#pragma pack(push, 1)
struct PadXInputState {
    uint8_t Buttons[16]; // 1 while bit i of wButtons is set
    uint8_t LeftTrigger;
    uint8_t RightTrigger;
    int16_t ThumbLX;
    int16_t ThumbLY;     // up positive, as XInput reports it
    int16_t ThumbRX;
    int16_t ThumbRY;
};
#pragma pack(pop)
static_assert(sizeof(PadXInputState) == 26, "PadXInputState is 26 bytes");

const int MaxPadCount = 16;
const int PadNumberKeyboardBit = 0x1000; // GetPadInputMask: also read the keyboard through the KeyToPadTable
const int PadNameLength = 260;           // units of a pad name, terminator included

// InputCheckFlags of FindPressedInput.
const int InputCheckKeyboard = 1;
const int InputCheckPads = 2;
const int InputCheckMouse = 4;

// MouseButtonMask bits.
const int MouseButtonLeft = 1;
const int MouseButtonRight = 2;
const int MouseButtonMiddle = 4;
const int MouseButtonExtra1 = 8;
const int MouseButtonExtra2 = 16;

// Public queries.
int IsKeyDown(int keyCode);
int FindPressedInput(int checkFlags);
int GetPadCount();
int IsXInputPad(int padNumber);
int GetPadDirectInputState(int padNumber, PadDirectInputState* out);
int GetPadXInputState(int padNumber, PadXInputState* out);
// Names in the caller's current code page; each buffer may be null. A name never takes more than
// bufferBytes bytes of its buffer (terminator included); the short form assumes buffers of 260 units
// as wide as the caller's code page needs (see GetPadNames in VtInput.cpp).
int GetPadNames(int padNumber, char* instanceName, char* productName);
int GetPadNamesBounded(int padNumber, char* instanceName, int instanceBytes, char* productName, int productBytes);
int SetPadDeadZone(int padNumber, double zone);
int GetPadInputMask(int padNumber);
int GetMouseButtons();
int GetMousePosition(int* x, int* y);
int GetMouseWheelNotches(int reset);

// Module start and stop, and the library's own helpers.
int Input_Initialize();
int Input_Terminate();
int Input_EnsureInitialized();
int Input_IsInitialized();
int Input_SetReportF10();
int Input_ClearReportF10();
// The UTF-16 form of GetPadNames: each non-null buffer receives at most 260 units with the terminator.
int Input_GetPadNamesWide(int padNumber, wchar_t* instanceName, wchar_t* productName);

} // namespace Vantrel
