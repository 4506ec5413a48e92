// The Windows half of plain file access: read-only files read directly or through a per-file access
// thread with read-ahead, directory search, the current directory, temporary and write-only files.
// Stands on the system function table and its text wrappers, the memory layer and the log.
#pragma once
#include <cstdint>
#include "foundation/VtFile.h"

namespace Vantrel {

constexpr uint32_t FileWinCacheBytes = 131072;

// One open plain file; its address is the plain set's file-access handle.
struct FileWinAccess {
    int32_t EndFlag;
    uint64_t Position;
    uint64_t FileSize;
    int32_t Asynchronous;
    void* SystemHandle;          // direct mode only
    int32_t Threaded;
    int32_t UseCache;
    uint32_t ThreadId;
    void* ThreadHandle;
    void* ThreadFile;            // the file as opened by the access thread
    void* CommandEvent;
    void* DoneEvent;
    volatile int32_t Command;    // 0 open, 1 close the file, 2 read, 3 seek, 4 end the thread
    volatile int32_t ThreadEnded;
    volatile int32_t OpenFailed;
    wchar_t Path[1536];
    uint8_t* ReadDestination;
    uint64_t ReadOffset;
    uint32_t ReadRemaining;
    uint32_t ReadDelivered;      // bytes the last read command really delivered
    uint64_t SeekTarget;
    uint8_t* Cache;
    uint64_t CacheStart;
    uint64_t Cached;
};

struct FileWinFind {
    void* SystemFind;
};

enum : int32_t { FileWinCommand_Open = 0, FileWinCommand_CloseFile = 1, FileWinCommand_Read = 2,
                 FileWinCommand_Seek = 3, FileWinCommand_End = 4 };

int FileWin_ReadOnly_Open(FileWinAccess* record, const wchar_t* path, int useCache);
int FileWin_ReadOnly_Close(FileWinAccess* record);
uint32_t FileWin_ReadOnly_Read(void* buffer, uint32_t elementSize, uint32_t count, FileWinAccess* record);
int FileWin_ReadOnly_Seek(FileWinAccess* record, uint64_t offset);
int FileWin_ReadOnly_IdleCheck(FileWinAccess* record);
int FileWin_SetFilePointer64(void* systemHandle, uint64_t offset);
int FileWin_FindFirst(FileWinFind* holder, const wchar_t* pattern, FileFindData* out);
int FileWin_FindNext(FileWinFind* holder, FileFindData* out);
int FileWin_FindClose(FileWinFind* holder);
int FileWin_SetCurrentDir(const wchar_t* path);
int FileWin_GetCurrentDir(wchar_t* buffer, uint32_t bufferBytes);
int FileWin_Initialize();
int FileWin_Terminate();

void* File_CreateTempFile(wchar_t* pathOut, uint32_t pathOutBytes, const wchar_t* extension);
int FileWin_WriteOnly_Close(void* systemHandle);
int FileWin_WriteOnly_Seek(void* systemHandle, int32_t offset, int32_t ignored, int origin);
int FileWin_WriteOnly_Write(void* systemHandle, const void* data, uint32_t bytes, uint32_t* written);

} // namespace Vantrel
