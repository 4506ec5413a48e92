// The Windows half of plain file access: files read directly or through a per-file access thread
// (commands posted through two events, read-ahead while idle), directory search, the current
// directory, temporary files and write-only files. Stands on the system function table and its
// text wrappers, the memory layer, the log and the code pages.
#include "foundation/VtFileWin.h"
#include <windows.h>
#include <cstring>
#include "foundation/VtCharCode.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "foundation/VtWinAPIText.h"

namespace Vantrel {

namespace {

HANDLE FileWin_OpenRead(const wchar_t* path)
{
    return WinAPI_CreateFile(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void FileWin_CloseEvents(FileWinAccess* r)
{
    if (r->CommandEvent) WinAPITable.CloseHandle(r->CommandEvent);
    if (r->DoneEvent) WinAPITable.CloseHandle(r->DoneEvent);
    r->CommandEvent = r->DoneEvent = nullptr;
}

void FileWin_WaitThreadEnd(FileWinAccess* r, DWORD sleepMs)
{
    DWORD code = STILL_ACTIVE;
    while (WinAPITable.GetExitCodeThread(r->ThreadHandle, &code) && code == STILL_ACTIVE) WinAPITable.Sleep(sleepMs);
}

// Caller side of the hand-over: wait until the thread is done, store the request, wake the thread.
void FileWin_PostCommand(FileWinAccess* r, int32_t command)
{
    WinAPITable.WaitForSingleObject(r->DoneEvent, INFINITE);
    r->Command = command;
    WinAPITable.ResetEvent(r->DoneEvent);
    WinAPITable.SetEvent(r->CommandEvent);
}

void FileWin_FindData_Convert(const WIN32_FIND_DATAW& d, FileFindData* out)
{
    size_t n = 0;
    while (n < 259 && d.cFileName[n]) ++n;
    memcpy(out->Name, d.cFileName, n * sizeof(wchar_t));
    out->Name[n] = 0;
    out->Directory = (d.dwFileAttributes & 0x10) ? 1 : 0;
    out->Size = uint64_t(d.nFileSizeHigh) << 32 | d.nFileSizeLow;
    File_FileTimeToLocalDate(uint64_t(d.ftCreationTime.dwHighDateTime) << 32 | d.ftCreationTime.dwLowDateTime, &out->CreationTime);
    File_FileTimeToLocalDate(uint64_t(d.ftLastWriteTime.dwHighDateTime) << 32 | d.ftLastWriteTime.dwLowDateTime, &out->LastWriteTime);
}

DWORD WINAPI FileWin_AccessThread_Main(LPVOID parameter)
{
    FileWinAccess* r = static_cast<FileWinAccess*>(parameter);
    for (;;) {
        if (r->Cache) {
            DWORD w = WinAPITable.WaitForSingleObject(r->CommandEvent, 100);
            if (w == WAIT_TIMEOUT) {
                if (r->ThreadFile && r->Cached < FileWinCacheBytes) {
                    DWORD got = 0;
                    if (FileWin_SetFilePointer64(r->ThreadFile, r->CacheStart + r->Cached) == 0 &&
                        WinAPITable.ReadFile(r->ThreadFile, r->Cache + r->Cached, DWORD(FileWinCacheBytes - r->Cached), &got, nullptr))
                        r->Cached += got;
                }
                continue;
            }
        } else {
            WinAPITable.WaitForSingleObject(r->CommandEvent, INFINITE);
        }
        if (WinAPITable.WaitForSingleObject(r->CommandEvent, 0) != WAIT_OBJECT_0) continue;
        WinAPITable.ResetEvent(r->CommandEvent);
        WinAPITable.ResetEvent(r->DoneEvent);
        switch (r->Command) {
        case FileWinCommand_Open: {
            HANDLE h = FileWin_OpenRead(r->Path);
            if (h == INVALID_HANDLE_VALUE) {
                r->OpenFailed = 1;
                WinAPITable.SetEvent(r->DoneEvent);
                r->ThreadEnded = 1;
                WinAPITable.ExitThread(0);
                return 0;
            }
            r->ThreadFile = h;
            r->CacheStart = 0;
            r->Cached = 0;
            break;
        }
        case FileWinCommand_CloseFile:
            if (r->ThreadFile) WinAPITable.CloseHandle(r->ThreadFile);
            r->ThreadFile = nullptr;
            break;
        case FileWinCommand_Read: {
            uint32_t delivered = 0;
            if (r->Cache && r->CacheStart == r->ReadOffset && r->Cached > 0) {
                uint32_t n = r->ReadRemaining < r->Cached ? r->ReadRemaining : uint32_t(r->Cached);
                memcpy(r->ReadDestination, r->Cache, n);
                r->ReadDestination += n;
                r->ReadOffset += n;
                r->ReadRemaining -= n;
                r->CacheStart += n;
                r->Cached -= n;
                memmove(r->Cache, r->Cache + n, size_t(r->Cached));
                delivered += n;
            }
            if (r->ReadRemaining > 0) {
                DWORD got = 0;
                if (r->ThreadFile && FileWin_SetFilePointer64(r->ThreadFile, r->ReadOffset) == 0 &&
                    WinAPITable.ReadFile(r->ThreadFile, r->ReadDestination, r->ReadRemaining, &got, nullptr))
                    delivered += got;
                else
                    got = 0;
                if (r->Cache) {
                    r->CacheStart = r->ReadOffset + got;
                    r->Cached = 0;
                }
            }
            r->ReadDelivered = delivered;
            break;
        }
        case FileWinCommand_Seek:
            if (r->ThreadFile) FileWin_SetFilePointer64(r->ThreadFile, r->SeekTarget);
            if (r->Cache) {
                r->CacheStart = r->SeekTarget;
                r->Cached = 0;
            }
            break;
        case FileWinCommand_End:
        default:
            if (r->ThreadFile) WinAPITable.CloseHandle(r->ThreadFile);
            r->ThreadFile = nullptr;
            WinAPITable.SetEvent(r->DoneEvent);
            r->ThreadEnded = 1;
            WinAPITable.ExitThread(0);
            return 0;
        }
        WinAPITable.SetEvent(r->DoneEvent);
    }
}

} // namespace

int FileWin_Initialize() { return 0; }
int FileWin_Terminate() { return 0; }

int FileWin_SetFilePointer64(void* systemHandle, uint64_t offset)
{
    WinAPI_EnsureLoaded();
    LONG high = LONG(offset >> 32);
    DWORD r = WinAPITable.SetFilePointer(systemHandle, LONG(uint32_t(offset)), &high, FILE_BEGIN);
    if (r == INVALID_SET_FILE_POINTER && WinAPITable.GetLastError() != NO_ERROR) return -1;
    return 0;
}

int FileWin_ReadOnly_Open(FileWinAccess* r, const wchar_t* path, int useCache)
{
    WinAPI_EnsureLoaded();
    r->UseCache = useCache;
    r->Cache = nullptr;
    r->Threaded = (useCache || r->Asynchronous) ? 1 : 0;
    HANDLE h = FileWin_OpenRead(path);
    if (h == INVALID_HANDLE_VALUE) return -1;
    DWORD high = 0;
    DWORD low = WinAPITable.GetFileSize(h, &high);
    r->FileSize = uint64_t(high) << 32 | low;
    if (!r->Threaded) {
        r->SystemHandle = h;
        return 0;
    }
    WinAPITable.CloseHandle(h);
    r->SystemHandle = nullptr;
    if (useCache) {
        r->Cache = static_cast<uint8_t*>(Memory_Allocate(FileWinCacheBytes, "VtFileWin", __LINE__));
        if (r->Cache == nullptr) {
            Log_AddTextUTF16(L"ファイル読み込みキャッシュ用メモリの確保に失敗しました\n");
            return -1;
        }
    }
    r->CommandEvent = WinAPITable.CreateEventA(nullptr, TRUE, FALSE, nullptr);
    r->DoneEvent = WinAPITable.CreateEventA(nullptr, TRUE, TRUE, nullptr);
    DWORD id = 0;
    r->ThreadHandle = (r->CommandEvent && r->DoneEvent)
                          ? WinAPITable.CreateThread(nullptr, 0, FileWin_AccessThread_Main, r, 0, &id)
                          : nullptr;
    if (r->ThreadHandle == nullptr) {
        Memory_Free(r->Cache);
        r->Cache = nullptr;
        FileWin_CloseEvents(r);
        Log_AddTextUTF16(L"ファイルアクセス専用スレッドの作成に失敗しました\n");
        return -1;
    }
    r->ThreadId = id;
    WinAPITable.SetThreadPriority(r->ThreadHandle, THREAD_PRIORITY_LOWEST);
    r->Command = FileWinCommand_Open;
    size_t n = 0;
    while (n < 1535 && path[n]) ++n;
    memcpy(r->Path, path, n * sizeof(wchar_t));
    r->Path[n] = 0;
    WinAPITable.ResetEvent(r->DoneEvent);
    WinAPITable.SetEvent(r->CommandEvent);
    WinAPITable.WaitForSingleObject(r->DoneEvent, INFINITE);
    if (r->OpenFailed) {
        Memory_Free(r->Cache);
        r->Cache = nullptr;
        FileWin_CloseEvents(r);
        FileWin_WaitThreadEnd(r, 0);
        WinAPITable.CloseHandle(r->ThreadHandle);
        r->ThreadHandle = nullptr;
        Log_AddTextUTF16(L"ファイルのオープンに失敗しました\n");
        return -1;
    }
    return 0;
}

int FileWin_ReadOnly_Close(FileWinAccess* r)
{
    WinAPI_EnsureLoaded();
    if (!r->Threaded) return WinAPITable.CloseHandle(r->SystemHandle) ? 0 : -1;
    FileWin_PostCommand(r, FileWinCommand_End);
    WinAPITable.WaitForSingleObject(r->DoneEvent, INFINITE);
    FileWin_WaitThreadEnd(r, 1);
    Memory_Free(r->Cache);
    r->Cache = nullptr;
    WinAPITable.CloseHandle(r->ThreadHandle);
    r->ThreadHandle = nullptr;
    FileWin_CloseEvents(r);
    return 0;
}

// Returns the bytes read. A synchronous threaded read reports what the thread really delivered; an
// asynchronous one reports the request (the data is complete once the idle check reports 1).
uint32_t FileWin_ReadOnly_Read(void* buffer, uint32_t elementSize, uint32_t count, FileWinAccess* r)
{
    WinAPI_EnsureLoaded();
    uint32_t bytes = elementSize * count;
    if (!r->Threaded) {
        DWORD got = 0;
        if (!WinAPITable.ReadFile(r->SystemHandle, buffer, bytes, &got, nullptr)) return 0;
        return got;
    }
    WinAPITable.WaitForSingleObject(r->DoneEvent, INFINITE);
    r->ReadDestination = static_cast<uint8_t*>(buffer);
    r->ReadOffset = r->Position;
    r->ReadRemaining = bytes;
    r->ReadDelivered = 0;
    FileWin_PostCommand(r, FileWinCommand_Read);
    if (r->Asynchronous) return bytes;
    WinAPITable.WaitForSingleObject(r->DoneEvent, INFINITE);
    return r->ReadDelivered;
}

int FileWin_ReadOnly_Seek(FileWinAccess* r, uint64_t offset)
{
    WinAPI_EnsureLoaded();
    if (!r->Threaded) return FileWin_SetFilePointer64(r->SystemHandle, offset);
    WinAPITable.WaitForSingleObject(r->DoneEvent, INFINITE);
    r->SeekTarget = offset;
    FileWin_PostCommand(r, FileWinCommand_Seek);
    return 0;
}

int FileWin_ReadOnly_IdleCheck(FileWinAccess* r)
{
    if (!r->Threaded) return 1;
    WinAPI_EnsureLoaded();
    return WinAPITable.WaitForSingleObject(r->DoneEvent, 0) == WAIT_OBJECT_0 ? 1 : 0;
}

int FileWin_FindFirst(FileWinFind* holder, const wchar_t* pattern, FileFindData* out)
{
    WinAPI_EnsureLoaded();
    WIN32_FIND_DATAW d;
    HANDLE h = WinAPI_FindFirstFile(pattern, &d);
    if (h == INVALID_HANDLE_VALUE) return -1;
    holder->SystemFind = h;
    if (out) FileWin_FindData_Convert(d, out);
    return 0;
}

int FileWin_FindNext(FileWinFind* holder, FileFindData* out)
{
    WinAPI_EnsureLoaded();
    WIN32_FIND_DATAW d;
    if (!WinAPI_FindNextFile(holder->SystemFind, &d)) return -1;
    if (out) FileWin_FindData_Convert(d, out);
    return 0;
}

int FileWin_FindClose(FileWinFind* holder)
{
    WinAPI_EnsureLoaded();
    return WinAPITable.FindClose(holder->SystemFind) ? 0 : -1;
}

int FileWin_SetCurrentDir(const wchar_t* path)
{
    WinAPI_EnsureLoaded();
    return WinAPI_SetCurrentDirectory(path);
}

int FileWin_GetCurrentDir(wchar_t* buffer, uint32_t bufferBytes)
{
    WinAPI_EnsureLoaded();
    return int(WinAPI_GetCurrentDirectory(bufferBytes / 2, buffer));
}

// A new, empty file in the temporary folder, open for writing. With an extension the file the
// system made to reserve the name is removed, so nothing is left behind but the returned file.
void* File_CreateTempFile(wchar_t* pathOut, uint32_t pathOutBytes, const wchar_t* extension)
{
    WinAPI_EnsureLoaded();
    if (WinAPITable.WideUsable) {
        wchar_t folder[1536];
        DWORD n = WinAPITable.GetTempPathW(1536, folder);
        if (n == 0 || n >= 1535) return nullptr;
        if (folder[n - 1] != L'\\') {
            folder[n] = L'\\';
            folder[n + 1] = 0;
        }
        wchar_t made[1536];
        if (WinAPITable.GetTempFileNameW(folder, L"tmp", 0, made) == 0) return nullptr;
        wchar_t path[1536];
        File_Path_ToAbsoluteW(made, path, sizeof(path), nullptr);
        if (extension) {
            size_t l = 0;
            while (path[l]) ++l;
            size_t e = 0;
            while (extension[e] && l + e + 2 < 1536) {
                if (e == 0) path[l++] = L'.';
                path[l + e] = extension[e];
                ++e;
            }
            path[l + e] = 0;
            WinAPITable.DeleteFileW(made);
        }
        WinAPITable.DeleteFileW(path);
        HANDLE h = WinAPITable.CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        if (pathOut && pathOutBytes >= 2) {
            size_t l = 0;
            while (path[l] && l + 1 < pathOutBytes / 2) {
                pathOut[l] = path[l];
                ++l;
            }
            pathOut[l] = 0;
        }
        return h;
    }
    // Narrow system calls, paths in the current narrow code page.
    CodePageId narrow = CharCode_GetNarrowPage();
    char folder[1536];
    DWORD n = WinAPITable.GetTempPathA(1536, folder);
    if (n == 0 || n >= 1535) return nullptr;
    if (folder[n - 1] != '\\') {
        folder[n] = '\\';
        folder[n + 1] = 0;
    }
    char made[1536];
    if (WinAPITable.GetTempFileNameA(folder, "tmp", 0, made) == 0) return nullptr;
    char path[1536];
    File_Path_ToAbsolute(made, path, sizeof(path), nullptr);
    if (extension) {
        char ext[64];
        CharCode_ConvertString(extension, -1, CodePage_Utf16LE, ext, sizeof(ext), narrow);
        size_t l = strlen(path);
        if (l + strlen(ext) + 2 < sizeof(path)) {
            path[l] = '.';
            strcpy(path + l + 1, ext);
        }
        WinAPITable.DeleteFileA(made);
    }
    WinAPITable.DeleteFileA(path);
    HANDLE h = WinAPITable.CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    if (pathOut && pathOutBytes >= 2) CharCode_ConvertString(path, -1, narrow, pathOut, int32_t(pathOutBytes), CodePage_Utf16LE);
    return h;
}

int FileWin_WriteOnly_Close(void* systemHandle)
{
    WinAPI_EnsureLoaded();
    return WinAPITable.CloseHandle(systemHandle);
}

int FileWin_WriteOnly_Seek(void* systemHandle, int32_t offset, int32_t, int origin)
{
    WinAPI_EnsureLoaded();
    DWORD method = origin == 1 ? FILE_CURRENT : origin == 2 ? FILE_END : FILE_BEGIN;
    WinAPITable.SetFilePointer(systemHandle, offset, nullptr, method);
    return 0;
}

int FileWin_WriteOnly_Write(void* systemHandle, const void* data, uint32_t bytes, uint32_t* written)
{
    WinAPI_EnsureLoaded();
    DWORD w = 0;
    WinAPITable.WriteFile(systemHandle, data, bytes, &w, nullptr);
    if (written) *written = w;
    return 0;
}

} // namespace Vantrel
