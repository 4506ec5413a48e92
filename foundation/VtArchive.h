// VTA archives, read only: the decoders (LZ, Huffman, Base64, CRC-32, key scrambling), the reader of
// archives in files or memory, streams over one file of an archive, and the archive-aware set of the
// file access table (archives standing in for folders). Stands on VtFile, the memory layer and the log.
#pragma once
#include <cstdint>
#include "foundation/VtArchiveDecode.h"
#include "foundation/VtArchiveFormat.h"
#include "foundation/VtFile.h"

namespace Vantrel {

// ---- Reader ---------------------------------------------------------------------------------------

struct ArchiveContext {
    ArchiveHeader Header;
    int32_t CodePage;
    FileAccessHandle File;           // plain-set handle of a file-backed archive
    uint8_t* Image;                  // the whole archive of a memory-backed one
    uint8_t* DirectoryBlock;         // owned, unpacked and unscrambled
    uint8_t* FileTable;
    uint8_t* DirTable;
    uint8_t* NameTable;
    uint8_t* CurrentDir;             // an ArchiveDirEntry; the root between calls
    wchar_t Path[1024];
    uint8_t NoKey;
    ArchiveKey Key;
    char KeyText[64];
    int32_t KeyTextLength;
    int32_t MemoryBacked;
    int32_t FromCallerMemory;
    int64_t ImageSize;
    int32_t Copied;
    int32_t KeptScrambled;
    void* CallerBlock;
    int32_t Loading;
    FileAccessHandle LoadFile;
    uint64_t ArchiveSize;            // bytes of the archive (file or image), for range checks
    uint64_t* WalkStack;             // owned: directories still to visit in a walk of the tree
    uint64_t WalkCapacity;           // entries the walk stack holds (grown by the check at open)
};

// The search form of one path component.
struct ArchiveNameKey {
    uint8_t Name[1024 + 8];
    uint16_t Parity;
    uint16_t Units;                  // length in 4-byte units
};

struct ArchiveFindState {
    ArchiveContext* Context;
    uint8_t Pattern[1536];
    uint8_t* Directory;
    uint64_t Index;
};

int Archive_ResetContext(ArchiveContext* context);
int Archive_OpenFromFile(ArchiveContext* context, const wchar_t* path, const char* keyText);
int Archive_OpenFromFileIntoMemory(ArchiveContext* context, const wchar_t* path, const char* keyText, int asynchronous);
int Archive_OpenFromMemory(ArchiveContext* context, void* image, uint64_t imageSize, int copy, int keepScrambled,
                           const char* keyText, const wchar_t* directoryPath);
int Archive_CheckLoaded(ArchiveContext* context);
int Archive_Close(ArchiveContext* context);
int Archive_CloseAndReset(ArchiveContext* context);
void* Archive_GetMemoryImage(ArchiveContext* context);
int Archive_LocateFile(ArchiveContext* context, int codePage, const void* name, uint64_t* dataOffset, uint64_t* size);
int Archive_ChangeDir(ArchiveContext* context, const char* path, int restore, ArchiveNameKey* failedKey);
int Archive_EnterSubdir(ArchiveContext* context, const ArchiveNameKey* key);
ArchiveFileEntry* Archive_FindFileEntry(ArchiveContext* context, const char* path, uint8_t** directory);
int Archive_MakeNameRecord(ArchiveContext* context, ArchiveNameKey* out, const char* component, uint32_t* bytesRead);
ArchiveFindState* Archive_FindFirst(ArchiveContext* context, const char* pattern, FileFindData* out);
int Archive_FindNext(ArchiveFindState* state, FileFindData* out);
int Archive_SplitPattern(ArchiveContext* context, const char* pattern, char* name, uint32_t nameBytes, char* dir, uint32_t dirBytes);
int Archive_MatchWildcard(ArchiveContext* context, const char* name, const char* pattern);
int32_t Archive_BuildFileKeyText(ArchiveContext* context, const uint8_t* directory, const ArchiveFileEntry* entry, char* buffer);
int Archive_UnscrambleImage(ArchiveContext* context, const uint8_t* directory);
int Archive_ReadScrambled(void* destination, uint64_t bytes, FileAccessHandle file, const ArchiveKey* key, uint64_t keyPosition);

// ---- Streams over one file of an archive --------------------------------------------------------------

struct ArchiveStream {
    ArchiveContext* Context;
    ArchiveFileEntry* Entry;
    uint8_t* Decoded;
    uint8_t* Work;
    FileAccessHandle File;
    uint8_t NoKey;
    ArchiveKey FileKey;
    uint64_t Position;
    int32_t EndFlag;
    int32_t Asynchronous;
    int32_t Pending;                 // 0 none, 1 stored bytes of a packed file, 2 a raw read
    uint64_t PendingFileOffset;
    uint8_t* PendingDestination;
    uint64_t PendingLength;
    uint64_t WorkBytes;
    int32_t Damaged;                 // the stored bytes did not decode: reads give nothing
};

int Archive_Stream_Open(ArchiveStream* stream, ArchiveContext* context, const char* path, int asynchronous);
uint32_t Archive_Stream_Read(ArchiveStream* stream, void* buffer, uint32_t bytes);
int Archive_Stream_Seek(ArchiveStream* stream, int64_t offset, int origin);
int Archive_Stream_IdleCheck(ArchiveStream* stream);
int Archive_Stream_Close(ArchiveStream* stream);

// ---- Archive-aware file access --------------------------------------------------------------------------

int Archive_Initialize();
int Archive_Terminate();
int Archive_LookupPath(const wchar_t* path, int* archiveIndex, char* inner, uint32_t innerBytes);
int Archive_FindOrOpenArchive(const wchar_t* path, void* image, uint64_t imageSize, int copy, int keepScrambled,
                              int hint, int wholeFile, int asynchronous);
int Archive_ReleaseArchive(int slot);
void Archive_PurgeCache(int all);
// The cached context of a slot (null when empty).
ArchiveContext* Archive_GetCachedContext(int slot);

FileAccessHandle Archive_Access_Open(const wchar_t* path, int useCache, int blockRead, int asynchronous);
int Archive_Access_Close(FileAccessHandle handle);
int64_t Archive_Access_Tell(FileAccessHandle handle);
int Archive_Access_Seek(FileAccessHandle handle, int64_t offset, int origin);
uint32_t Archive_Access_Read(void* buffer, uint32_t elementSize, uint32_t count, FileAccessHandle handle);
int Archive_Access_Eof(FileAccessHandle handle);
int Archive_Access_IdleCheck(FileAccessHandle handle);
int Archive_Access_IsArchived(FileAccessHandle handle);
int Archive_Access_SetCurrentDir(const wchar_t* path);
int Archive_Access_GetCurrentDir(wchar_t* buffer);
int Archive_Access_GetCurrentDirBounded(wchar_t* buffer, uint32_t bufferBytes);
FileFindHandle Archive_Access_FindFirst(const wchar_t* pattern, FileFindData* out);
int Archive_Access_FindNext(FileFindHandle find, FileFindData* out);
int Archive_Access_FindClose(FileFindHandle find);
// The archive-aware set as a table.
const FileAccessTable* Archive_Access_GetTable();

} // namespace Vantrel
