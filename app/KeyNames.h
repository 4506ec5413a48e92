// Key names and key capture: captions by virtual-key code, the DirectInput codes that capture
// scans, the DirectInput-to-virtual-key conversion and the mouse-button captions.
// Stands on MapVirtualKeyA and, for capture, the library's keyboard queries.
#pragma once

#include <cstdint>

namespace Qelvar {

constexpr int KeyNameCount = 500;
constexpr int KeyNameBytes = 24;  // the longest caption is 16 bytes of cp932
constexpr int CaptureListCount = 100;

struct KeyNameTableRecord {
    char Names[KeyNameCount][KeyNameBytes];  // cp932 caption by virtual-key code
    int32_t CaptureList[CaptureListCount];   // DirectInput key codes in the order capture tests them
    int32_t CapturedKey;                     // code found by the last successful CaptureKey, or 0
};

extern KeyNameTableRecord KeyNameTable;
// Indexed by MouseButtonCode (0 none, 1 left, 2 middle, 3 right), cp932.
extern const char* MouseButtonNames[4];

// Static initialisers; BuildKeyNames also clears the PressedKeyTable and CapturedKey.
void BuildMouseButtonNames();
void BuildKeyNames();
// 1 when a keyboard key is down this frame (CapturedKey then holds its code, or 0 when it is not
// one of the CaptureList), else 0.
int CaptureKey();
// The virtual-key code that goes with a DirectInput key code.
int ScanCodeToVirtualKey(int code);
// The caption of a stored key code: Names[ScanCodeToVirtualKey(code)] (a code out of the table
// gives "NULL").
const char* KeyCaption(int code);

}  // namespace Qelvar
