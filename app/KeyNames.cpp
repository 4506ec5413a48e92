// Key names: the caption table by virtual-key code, the capture list of DirectInput codes, the
// DirectInput-to-virtual-key conversion, the mouse-button captions and key capture. Stands on
// MapVirtualKeyA and the library's keyboard queries.
#include "app/KeyNames.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "app/InputInjection.h"
#include "system/VtInput.h"

namespace Qelvar {

KeyNameTableRecord KeyNameTable;
const char* MouseButtonNames[4] = {"NULL", "NULL", "NULL", "NULL"};

namespace {

struct NamedKey {
    int Code;
    const char* Name;
};

const NamedKey FixedNames[] = {
    {0x00, "NULL"}, {0x01, "LBUTTON"}, {0x02, "RBUTTON"}, {0x03, "ScrollLock"}, {0x04, "MBUTTON"},
    {0x08, "BS"}, {0x09, "TAB"}, {0x0C, "CLEAR"}, {0x0D, "Enter"}, {0x10, "Shift"}, {0x11, "Ctrl"},
    {0x12, "Alt"}, {0x13, "Pause"}, {0x14, "CAPS"}, {0x15, "KANA"}, {0x17, "JUNJA"}, {0x18, "FINAL"},
    {0x19, "ALT+半角/全角"}, {0x1B, "Esc"}, {0x1C, "前候補"}, {0x1D, "無変換"}, {0x1E, "ACCEPT"},
    {0x1F, "MODECHANGE"}, {0x20, "SPACE"}, {0x21, "PageUp"}, {0x22, "PageDown"}, {0x23, "END"},
    {0x24, "HOME"}, {0x25, "LEFT"}, {0x26, "UP"}, {0x27, "RIGHT"}, {0x28, "DOWN"}, {0x29, "SELECT"},
    {0x2A, "PRINT"}, {0x2B, "EXECUTE"}, {0x2C, "PSc/SRq"}, {0x2D, "INS"}, {0x2E, "Del"}, {0x2F, "HELP"},
    {0x5B, "L Windowsキー"}, {0x5C, "R Windowsキー"}, {0x5D, "アプリケーション"}, {0x6A, "*"}, {0x6B, "+"},
    {0x6C, "SEP"}, {0x6D, "-"}, {0x6E, "."}, {0x6F, "/"}, {0x90, "NumLock"}, {0x91, "Scr Lk"},
    {0xA0, "LSHIFT"}, {0xA1, "RSHIFT"}, {0xA2, "LCONTROL"}, {0xA3, "RCONTROL"}, {0xA4, "LMENU"},
    {0xA5, "RMENU"}, {0xBA, ":"}, {0xBB, ";"}, {0xBC, ","}, {0xBD, "-"}, {0xBE, "."}, {0xBF, "/"},
    {0xC0, "@"}, {0xDB, " [ "}, {0xDC, "\\"}, {0xDD, " ] "}, {0xDE, "^"}, {0xE2, " _ "}, {0xE5, "ひらがな"},
    {0xF0, "CAPS"}, {0xF4, "半角/全角"}, {0xF6, "ATTN"}, {0xF7, "CRSEL"}, {0xF8, "EXSEL"}, {0xF9, "EREOF"},
    {0xFA, "PLAY"}, {0xFB, "ZOOM"}, {0xFC, "NONAME"}, {0xFD, "PA1"}, {0xFE, "OEM_CLEAR"}, {0x11A, "カタカナ"},
};

const int32_t CaptureOrder[CaptureListCount] = {
    0x0E, 0x0F, 0x1C, 0x2A, 0x36, 0x1D, 0x9D, 0x01, 0x39, 0xC9, 0xD1, 0xCF, 0xC7, 0xCB, 0xC8, 0xCD, 0xD0,
    0xD2, 0xD3, 0x0C, 0x7D, 0x90, 0x34, 0x35, 0x38, 0xB8, 0x46, 0x27, 0x92, 0x1A, 0x1B, 0x91, 0x2B, 0x33,
    0x3A, 0xC5, 0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49, 0x37, 0x4E, 0x4A, 0x53, 0xB5,
    0x9C, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x57, 0x58, 0x1E, 0x30, 0x2E, 0x20,
    0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16,
    0x2F, 0x11, 0x2D, 0x15, 0x2C, 0x0B, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,
};

// DirectInput codes whose virtual key the layout conversion does not give (keypad, extended keys).
struct FixedVirtualKey {
    int Code;
    int VirtualKey;
};

const FixedVirtualKey FixedVirtualKeys[] = {
    {0x47, 0x67}, {0x48, 0x68}, {0x49, 0x69}, {0x4B, 0x64}, {0x4C, 0x65}, {0x4D, 0x66}, {0x4F, 0x61},
    {0x50, 0x62}, {0x51, 0x63}, {0x52, 0x60}, {0x9C, 0x0D}, {0x9D, 0x11}, {0xB8, 0x12}, {0xC5, 0x13},
    {0xC7, 0x24}, {0xC8, 0x26}, {0xC9, 0x21}, {0xCB, 0x25}, {0xCD, 0x27}, {0xCF, 0x23}, {0xD0, 0x28},
    {0xD1, 0x22}, {0xD2, 0x2D}, {0xD3, 0x2E},
};

void SetName(int index, const char* name)
{
    strncpy(KeyNameTable.Names[index], name, KeyNameBytes - 1);
    KeyNameTable.Names[index][KeyNameBytes - 1] = 0;
}

// A key down that the tool did not inject. Caps Lock, Kana and Kanji are passed over, as the
// library's search for a pressed key passes over them.
bool KeyNames_UserKeyDown()
{
    for (int code = 0; code < 256; ++code) {
        if (code == 0x3A || code == 0x70 || code == 0x94) continue;
        if (!InputInjection_IsInjectedKey(code) && Vantrel::IsKeyDown(code) != 0) return true;
    }
    return false;
}

}  // namespace

void BuildMouseButtonNames()
{
    MouseButtonNames[0] = "NULL";
    MouseButtonNames[1] = "左ｸﾘｯｸ";
    MouseButtonNames[2] = "中ｸﾘｯｸ";
    MouseButtonNames[3] = "右ｸﾘｯｸ";
}

void BuildKeyNames()
{
    char number[16];
    for (int i = 0; i < KeyNameCount; ++i) {
        snprintf(number, sizeof(number), "%d", i);
        SetName(i, number);
    }
    for (const NamedKey& entry : FixedNames) {
        SetName(entry.Code, entry.Name);
    }
    for (int i = 0; i <= 9; ++i) {
        snprintf(number, sizeof(number), "KEY %d", i);
        SetName(0x30 + i, number);
        snprintf(number, sizeof(number), "NUM %d", i);
        SetName(0x60 + i, number);
    }
    for (int letter = 'A'; letter <= 'Z'; ++letter) {
        char name[2] = {static_cast<char>(letter), 0};
        SetName(letter, name);
    }
    for (int i = 1; i <= 24; ++i) {
        snprintf(number, sizeof(number), "F%d", i);
        SetName(0x6F + i, number);
    }
    memcpy(KeyNameTable.CaptureList, CaptureOrder, sizeof(CaptureOrder));
    InputInjection_Clear();
    KeyNameTable.CapturedKey = 0;
}

int CaptureKey()
{
    const int first = Vantrel::FindPressedInput(Vantrel::InputCheckKeyboard | Vantrel::InputCheckPads |
                                                Vantrel::InputCheckMouse);
    if (first <= 0) {
        return 0;  // no keyboard key: pads and the mouse never complete a capture
    }
    // A key the tool itself injected is never the user's answer.
    if (InputInjection_IsInjectedKey(first) && !KeyNames_UserKeyDown()) {
        return 0;
    }
    for (int32_t code : KeyNameTable.CaptureList) {
        if (!InputInjection_IsInjectedKey(code) && Vantrel::IsKeyDown(code) != 0) {
            KeyNameTable.CapturedKey = code;
            return 1;
        }
    }
    KeyNameTable.CapturedKey = 0;
    return 1;
}

int ScanCodeToVirtualKey(int code)
{
    for (const FixedVirtualKey& fixed : FixedVirtualKeys) {
        if (fixed.Code == code) {
            return fixed.VirtualKey;
        }
    }
    return static_cast<int>(MapVirtualKeyA(static_cast<UINT>(code), MAPVK_VSC_TO_VK));
}

const char* KeyCaption(int code)
{
    int virtualKey = ScanCodeToVirtualKey(code) & 0xFFFF;
    return virtualKey < KeyNameCount ? KeyNameTable.Names[virtualKey] : KeyNameTable.Names[0];
}

}  // namespace Qelvar
