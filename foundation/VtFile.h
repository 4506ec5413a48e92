// Files: the replaceable file access table every file read of the library goes through, its
// forwarders, File handles, path functions and the plain (file-system only) set's generic layer.
// Stands on the memory layer, the log, handles, character codes and the Windows back end (VtFileWin).
#pragma once
#include <cstdint>
#include "foundation/VtHandle.h"
#include "foundation/VtStream.h"
#include "system/VtTime.h"

namespace Vantrel {

// The non-zero value slot 0 of the table returns for an open file; 0 means the open failed.
typedef uintptr_t FileAccessHandle;
// A directory search; -1 means failure.
typedef intptr_t FileFindHandle;

// One directory-search result.
struct FileFindData {
    wchar_t Name[260];
    int32_t Directory;
    uint64_t Size;
    DateTimeRecord CreationTime;
    DateTimeRecord LastWriteTime;
};

// The same with a name in the current narrow code page (produced by callers' narrow tables).
struct FileFindDataNarrow {
    char Name[260];
    int32_t Directory;
    uint64_t Size;
    DateTimeRecord CreationTime;
    DateTimeRecord LastWriteTime;
};

// The fourteen file operations; paths and names are UTF-16.
struct FileAccessTable {
    FileAccessHandle (*Open)(const wchar_t* path, int useCache, int blockRead, int asynchronous);
    int (*Close)(FileAccessHandle handle);
    int64_t (*Tell)(FileAccessHandle handle);
    int (*Seek)(FileAccessHandle handle, int64_t offset, int origin);
    uint32_t (*Read)(void* buffer, uint32_t elementSize, uint32_t count, FileAccessHandle handle);
    int (*Eof)(FileAccessHandle handle);
    int (*IdleCheck)(FileAccessHandle handle);
    int (*IsArchived)(FileAccessHandle handle);
    int (*SetCurrentDir)(const wchar_t* path);
    int (*GetCurrentDir)(wchar_t* buffer);
    int (*GetCurrentDirBounded)(wchar_t* buffer, uint32_t bufferBytes);
    FileFindHandle (*FindFirst)(const wchar_t* pattern, FileFindData* out);
    int (*FindNext)(FileFindHandle find, FileFindData* out);
    int (*FindClose)(FileFindHandle find);
};

// A caller's table with paths in the current narrow code page (no is-archived slot).
struct FileAccessTableNarrow {
    FileAccessHandle (*Open)(const char* path, int useCache, int blockRead, int asynchronous);
    int (*Close)(FileAccessHandle handle);
    int64_t (*Tell)(FileAccessHandle handle);
    int (*Seek)(FileAccessHandle handle, int64_t offset, int origin);
    uint32_t (*Read)(void* buffer, uint32_t elementSize, uint32_t count, FileAccessHandle handle);
    int (*Eof)(FileAccessHandle handle);
    int (*IdleCheck)(FileAccessHandle handle);
    int (*SetCurrentDir)(const char* path);
    int (*GetCurrentDir)(char* buffer);
    int (*GetCurrentDirBounded)(char* buffer, uint32_t bufferBytes);
    FileFindHandle (*FindFirst)(const char* pattern, FileFindDataNarrow* out);
    int (*FindNext)(FileFindHandle find, FileFindDataNarrow* out);
    int (*FindClose)(FileFindHandle find);
};

// File handle kinds.
enum : int32_t { FileHandleKind_Normal = 0, FileHandleKind_FullyLoad = 1 };
constexpr int FileHandleType = 17;
constexpr int FileHandleMaxCount = 32768;

// The record of a File handle.
struct FileHandleRecord {
    HandleHeader Header;
    int32_t Kind;                // FileHandleKind_Normal or FileHandleKind_FullyLoad
    StreamOps Ops;
    void* StreamData;
    FileAccessHandle File;       // the open file of a Normal handle, else 0
    int32_t OwnsImage;
    void* Image;                 // the in-memory image of a FullyLoad handle
    int64_t ImageSize;
};
int File_HandleRecord_Terminate(HandleHeader* record);
int File_HandleRecord_Dump(HandleHeader* record);

// Forwarders: each looks its slot up at call time.
FileAccessHandle File_Access_Open(const wchar_t* path, int useCache, int blockRead, int asynchronous);
int File_Access_Close(FileAccessHandle handle);
int64_t File_Access_Tell(FileAccessHandle handle);
int File_Access_Seek(FileAccessHandle handle, int64_t offset, int origin);
uint32_t File_Access_Read(void* buffer, uint32_t elementSize, uint32_t count, FileAccessHandle handle);
int File_Access_Eof(FileAccessHandle handle);
int File_Access_IdleCheck(FileAccessHandle handle);
int File_Access_IsArchived(FileAccessHandle handle);
int File_Access_SetCurrentDir(const wchar_t* path);
int File_Access_GetCurrentDir(wchar_t* buffer, uint32_t bufferBytes);

FileAccessTable* File_Access_GetTable();
int File_Access_InstallTable(const FileAccessTableNarrow* table);
int File_Access_InstallTableW(const FileAccessTable* table);
int File_FindData_FromNarrow(const FileFindDataNarrow* narrow, FileFindData* out);

// Paths (UTF-16; sizes in bytes; always 0).
int File_Path_SplitNameAndDir(const wchar_t* path, wchar_t* name, uint32_t nameBytes, wchar_t* dir, uint32_t dirBytes);
int File_Path_SplitStemAndExt(const wchar_t* path, wchar_t* stem, uint32_t stemBytes, wchar_t* ext, uint32_t extBytes);
int File_Path_ToAbsoluteW(const wchar_t* path, wchar_t* out, uint32_t outBytes, const wchar_t* base);
int File_Path_ToAbsolute(const char* path, char* out, uint32_t outBytes, const char* base);

int File_Initialize();
int File_Terminate();

// Write-only system files (sound capture).
int File_WriteOnly_Close(void* systemHandle);
int File_WriteOnly_Seek(void* systemHandle, int32_t offset, int32_t ignored, int origin);
int File_WriteOnly_Write(void* systemHandle, const void* data, uint32_t bytes, uint32_t* written);

// The plain set (file system only), generic layer.
FileAccessHandle File_Plain_Open(const wchar_t* path, int useCache, int blockRead, int asynchronous);
int File_Plain_Close(FileAccessHandle handle);
int64_t File_Plain_Tell(FileAccessHandle handle);
int File_Plain_Seek(FileAccessHandle handle, int64_t offset, int origin);
uint32_t File_Plain_Read(void* buffer, uint32_t elementSize, uint32_t count, FileAccessHandle handle);
int File_Plain_Eof(FileAccessHandle handle);
int File_Plain_IdleCheck(FileAccessHandle handle);
int File_Plain_IsArchived(FileAccessHandle handle);
int File_Plain_SetCurrentDir(const wchar_t* path);
int File_Plain_GetCurrentDir(wchar_t* buffer);
int File_Plain_GetCurrentDirBounded(wchar_t* buffer, uint32_t bufferBytes);
FileFindHandle File_Plain_FindFirst(const wchar_t* pattern, FileFindData* out);
int File_Plain_FindNext(FileFindHandle find, FileFindData* out);
int File_Plain_FindClose(FileFindHandle find);
// The plain set as a table.
const FileAccessTable* File_Plain_GetTable();

} // namespace Vantrel
