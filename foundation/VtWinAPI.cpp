// VtWinAPI: fills and releases the system function table with LoadLibraryA and GetProcAddress.
// Stands on kernel32's own imports only.
#include "foundation/VtWinAPI.h"

#include <stddef.h>

// The record keeps separate entries for these names (see the header).
#include "foundation/VtWinAPILongPtr.h"

namespace Vantrel {

WinAPITableRecord WinAPITable;

namespace {

// One function entry: its name for GetProcAddress, its place in the record, and whether it is asked
// for after the other functions of its library.
struct WinAPI_EntryDesc {
  const char *Name;
  size_t Offset;
  bool Late;
};

struct WinAPI_LibraryDesc {
  const char *FileName;
  size_t HandleOffset;
  const WinAPI_EntryDesc *Entries;
  int Count;
};

#define VT_WINAPI_DESC(name) {#name, offsetof(WinAPITableRecord, name), false},
#define VT_WINAPI_DESC_TYPED(name, type) {#name, offsetof(WinAPITableRecord, name), false},
#define VT_WINAPI_DESC_LATE(name) {#name, offsetof(WinAPITableRecord, name), true},
#define VT_WINAPI_DESC_ARRAY(list, handle, file)                                                                       \
  const WinAPI_EntryDesc WinAPI_Entries_##handle[] = {list(VT_WINAPI_DESC, VT_WINAPI_DESC_TYPED, VT_WINAPI_DESC_LATE)};
VT_WINAPI_LIBRARIES(VT_WINAPI_DESC_ARRAY)

#define VT_WINAPI_LIBRARY_DESC(list, handle, file)                                                                     \
  {file, offsetof(WinAPITableRecord, handle), WinAPI_Entries_##handle,                                                 \
   (int)(sizeof(WinAPI_Entries_##handle) / sizeof(WinAPI_EntryDesc))},
// Record order.
const WinAPI_LibraryDesc WinAPI_Libraries[WinAPI_LibraryCount] = {VT_WINAPI_LIBRARIES(VT_WINAPI_LIBRARY_DESC)};

#undef VT_WINAPI_LIBRARY_DESC
#undef VT_WINAPI_DESC_ARRAY
#undef VT_WINAPI_DESC_LATE
#undef VT_WINAPI_DESC_TYPED
#undef VT_WINAPI_DESC

// Record positions (0-based) in load order: ws2_32, Imm32, winmm, kernel32, ole32, oleaut32, comctl32,
// the second Ole32, User32, gdi32, advapi32, shell32, ntdll, Mfplat, Mfreadwrite, Propsys, usp10,
// shcore, dwmapi.
const int WinAPI_LoadOrder[WinAPI_LibraryCount] = {0, 1, 2, 3, 4, 5, 6, 17, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18};
// Release order: dwmapi, winmm, kernel32, ole32, oleaut32, comctl32, the second Ole32, User32, gdi32,
// advapi32, shell32, ntdll, Mfplat, Mfreadwrite, Propsys, usp10, shcore, ws2_32, Imm32.
const int WinAPI_UnloadOrder[WinAPI_LibraryCount] = {18, 2, 3, 4, 5, 6, 17, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0, 1};
// Libraries every supported system has: their load result is not tested.
const bool WinAPI_LoadUntested[WinAPI_LibraryCount] = {true,  true,  true,  true,  true,  true,  false,
                                                       true,  false, false, false, false, false, false,
                                                       false, false, false, false, false};

unsigned char *WinAPI_RecordBytes(void) { return reinterpret_cast<unsigned char *>(&WinAPITable); }

HMODULE &WinAPI_Handle(const WinAPI_LibraryDesc &library) {
  return *reinterpret_cast<HMODULE *>(WinAPI_RecordBytes() + library.HandleOffset);
}

FARPROC &WinAPI_Entry(const WinAPI_EntryDesc &entry) {
  return *reinterpret_cast<FARPROC *>(WinAPI_RecordBytes() + entry.Offset);
}

void WinAPI_LoadLibrary(int index) {
  const WinAPI_LibraryDesc &library = WinAPI_Libraries[index];
  HMODULE &module = WinAPI_Handle(library);
  if (module != nullptr) return;
  module = LoadLibraryA(library.FileName);
  if (module == nullptr) {
    // A missing library keeps its entries as they are (null on a first load); one that every system
    // has would be asked anyway, which gives null entries all the same.
    if (!WinAPI_LoadUntested[index]) return;
  }
  for (int pass = 0; pass < 2; pass++) {
    for (int i = 0; i < library.Count; i++) {
      const WinAPI_EntryDesc &entry = library.Entries[i];
      if (entry.Late != (pass == 1)) continue;
      WinAPI_Entry(entry) = module != nullptr ? GetProcAddress(module, entry.Name) : nullptr;
    }
  }
}

void WinAPI_ReleaseLibrary(int index) {
  const WinAPI_LibraryDesc &library = WinAPI_Libraries[index];
  HMODULE &module = WinAPI_Handle(library);
  if (module == nullptr) return;
  FreeLibrary(module);
  module = nullptr;
  for (int i = 0; i < library.Count; i++) WinAPI_Entry(library.Entries[i]) = nullptr;
}

} // namespace

int32_t WinAPI_LoadAll(void) {
  if (WinAPITable.Loaded == 1) return 0;
  for (int i = 0; i < WinAPI_LibraryCount; i++) WinAPI_LoadLibrary(WinAPI_LoadOrder[i]);

  // On systems whose wide functions are stubs the probe buffer stays untouched.
  WCHAR probe[1024];
  probe[0] = 0xFFFF;
  if (WinAPITable.GetCurrentDirectoryW != nullptr) WinAPITable.GetCurrentDirectoryW(1024, probe);
  WinAPITable.WideUsable = probe[0] != 0xFFFF ? 1 : 0;

  WinAPITable.Loaded = 1;
  return 0;
}

int32_t WinAPI_UnloadAll(void) {
  if (WinAPITable.Loaded == 0) return 0;
  for (int i = 0; i < WinAPI_LibraryCount; i++) WinAPI_ReleaseLibrary(WinAPI_UnloadOrder[i]);
  WinAPITable.Loaded = 0;
  return 0;
}

} // namespace Vantrel

namespace Vantrel {
static_assert(sizeof(WinAPITableRecord) == 2 * sizeof(int32_t) + (WinAPI_LibraryCount + WinAPI_FunctionCount) * sizeof(void *),
              "the record holds 19 module handles and 363 entries");
}
