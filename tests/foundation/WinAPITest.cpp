// Tests of the system function table: loading under Wine, release, reload and the fakes tests rely on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/VtWinAPI.h"

#undef GetWindowLongPtrA
#undef GetWindowLongPtrW
#undef SetWindowLongPtrA
#undef SetWindowLongPtrW
#undef SetClassLongPtrA
#undef SetClassLongPtrW

using namespace Vantrel;

namespace {

struct EntryView {
  std::string Library;
  std::string Name;
  void *Pointer;
};

// Every function entry of the record with its library's file name.
std::vector<EntryView> AllEntries() {
  std::vector<EntryView> entries;
  const char *library = "";
#define VIEW_ENTRY(name) entries.push_back({library, #name, reinterpret_cast<void *>(WinAPITable.name)});
#define VIEW_ENTRY_TYPED(name, type) VIEW_ENTRY(name)
#define VIEW_LIBRARY(list, handle, file)                                                                               \
  library = file;                                                                                                      \
  list(VIEW_ENTRY, VIEW_ENTRY_TYPED, VIEW_ENTRY)
  VT_WINAPI_LIBRARIES(VIEW_LIBRARY)
#undef VIEW_LIBRARY
#undef VIEW_ENTRY_TYPED
#undef VIEW_ENTRY
  return entries;
}

// 32-bit User32 has no ...LongPtr exports (the headers map those names to the ...Long functions).
bool MissingOnThisTarget(const std::string &name) {
  if (sizeof(void *) != 4) return false;
  for (const char *missing : {"GetWindowLongPtrA", "GetWindowLongPtrW", "SetWindowLongPtrA", "SetWindowLongPtrW",
                              "SetClassLongPtrA", "SetClassLongPtrW"})
    if (name == missing) return true;
  return false;
}

std::vector<HMODULE> AllHandles() {
  std::vector<HMODULE> handles;
#define VIEW_HANDLE(list, handle, file) handles.push_back(WinAPITable.handle);
  VT_WINAPI_LIBRARIES(VIEW_HANDLE)
#undef VIEW_HANDLE
  return handles;
}

int FakeDpiCalls;
PROCESS_DPI_AWARENESS FakeDpiValue;
HRESULT WINAPI FakeSetProcessDpiAwareness(PROCESS_DPI_AWARENESS value) {
  FakeDpiCalls++;
  FakeDpiValue = value;
  return S_OK;
}

DWORD WINAPI StubGetCurrentDirectoryW(DWORD, LPWSTR) { return 0; }

// Leaves the table loaded as the rest of the program expects.
void Reload() {
  WinAPI_UnloadAll();
  WinAPI_LoadAll();
}

} // namespace

TEST(WinAPITable, LoadsEveryLibraryAndEntryUnderWine) {
  WinAPI_EnsureLoaded();
  EXPECT_EQ(1, WinAPITable.Loaded);
  EXPECT_EQ(1, WinAPITable.WideUsable);
  const std::vector<HMODULE> handles = AllHandles();
  ASSERT_EQ((size_t)WinAPI_LibraryCount, handles.size());
  for (size_t i = 0; i < handles.size(); i++) EXPECT_NE(nullptr, handles[i]) << "library " << i;
  const std::vector<EntryView> entries = AllEntries();
  ASSERT_EQ((size_t)WinAPI_FunctionCount, entries.size());
  for (const EntryView &entry : entries)
    EXPECT_EQ(MissingOnThisTarget(entry.Name), entry.Pointer == nullptr) << entry.Library << " " << entry.Name;
  // The two COM library rows hold separate references on the same module.
  EXPECT_EQ(WinAPITable.Ole32DLL, WinAPITable.Ole32SecondDLL);
  // Entries are the system's own functions.
  EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "MultiByteToWideChar")),
            reinterpret_cast<void *>(WinAPITable.MultiByteToWideChar));
  EXPECT_EQ(3, WinAPITable.lstrlenA("abc"));
}

TEST(WinAPITable, UnloadClearsEverythingButWideUsableAndReloadRestoresIt) {
  WinAPI_EnsureLoaded();
  WinAPITable.WideUsable = 7; // marks that unloading keeps the flag
  EXPECT_EQ(0, WinAPI_UnloadAll());
  EXPECT_EQ(0, WinAPITable.Loaded);
  EXPECT_EQ(7, WinAPITable.WideUsable);
  for (HMODULE handle : AllHandles()) EXPECT_EQ(nullptr, handle);
  for (const EntryView &entry : AllEntries()) EXPECT_EQ(nullptr, entry.Pointer) << entry.Name;
  EXPECT_EQ(0, WinAPI_UnloadAll()); // a second release does nothing

  EXPECT_EQ(0, WinAPI_LoadAll());
  EXPECT_EQ(1, WinAPITable.Loaded);
  EXPECT_EQ(1, WinAPITable.WideUsable);
  for (HMODULE handle : AllHandles()) EXPECT_NE(nullptr, handle);
  for (const EntryView &entry : AllEntries())
    EXPECT_EQ(MissingOnThisTarget(entry.Name), entry.Pointer == nullptr) << entry.Name;
}

TEST(WinAPITable, LoadWhileLoadedKeepsFakes) {
  WinAPI_EnsureLoaded();
  const auto saved = WinAPITable.SetProcessDpiAwareness;
  WinAPITable.SetProcessDpiAwareness = FakeSetProcessDpiAwareness;
  EXPECT_EQ(0, WinAPI_LoadAll());
  EXPECT_EQ(&FakeSetProcessDpiAwareness, WinAPITable.SetProcessDpiAwareness);
  WinAPITable.SetProcessDpiAwareness = saved;
}

TEST(WinAPITable, FirstEnsureLoadedMakesTheProcessDpiAwareOnce) {
  WinAPI_UnloadAll();
  // A partly filled record: shcore already present (with our own reference, released by the table).
  WinAPITable.ShcoreDLL = LoadLibraryA("shcore.dll");
  ASSERT_NE(nullptr, WinAPITable.ShcoreDLL);
  WinAPITable.SetProcessDpiAwareness = FakeSetProcessDpiAwareness;
  FakeDpiCalls = 0;
  WinAPI_EnsureLoaded();
  WinAPI_EnsureLoaded();
  EXPECT_EQ(1, FakeDpiCalls);
  EXPECT_EQ(PROCESS_SYSTEM_DPI_AWARE, FakeDpiValue);
  // The library that was already present is skipped: its other entries stay as they were.
  EXPECT_EQ(nullptr, WinAPITable.GetDpiForMonitor);
  EXPECT_NE(nullptr, WinAPITable.DwmGetWindowAttribute);
  Reload();
  EXPECT_NE(nullptr, WinAPITable.GetDpiForMonitor);
}

TEST(WinAPITable, EnsureLoadedSkipsTheDpiCallWithoutShcore) {
  WinAPI_UnloadAll();
  // Stands for a system without shcore.dll: a module handle that is present, entries left null.
  WinAPITable.ShcoreDLL = LoadLibraryA("shcore.dll");
  WinAPI_EnsureLoaded();
  EXPECT_EQ(1, WinAPITable.Loaded);
  EXPECT_EQ(nullptr, WinAPITable.SetProcessDpiAwareness);
  Reload();
}

TEST(WinAPITable, StubWideFunctionsClearWideUsable) {
  WinAPI_UnloadAll();
  WinAPITable.Kernel32DLL = LoadLibraryA("kernel32.dll");
  WinAPITable.GetCurrentDirectoryW = StubGetCurrentDirectoryW;
  WinAPI_LoadAll();
  EXPECT_EQ(0, WinAPITable.WideUsable);
  Reload();
  EXPECT_EQ(1, WinAPITable.WideUsable);
}
