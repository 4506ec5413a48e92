// The archive-aware set of the file access table (the library's default): every path is first looked
// up in archives that stand in for folders of the same name (E:\GAME\DATA.VTA for E:\GAME\DATA), then
// on disk. Keeps the table of open files and a reference-counted cache of open archives. Stands on
// the archive reader and streams, the plain set, critical sections, the memory layer and the log.
#include <cstring>
#include "foundation/VtArchive.h"
#include "foundation/VtArchiveInternal.h"
#include "foundation/VtBaseFunc.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtThread.h"

namespace Vantrel {

namespace {

constexpr int OpenFileMax = 32768;
constexpr int ArchiveCacheMax = 4096;
constexpr FileAccessHandle OpenFileTag = 0xF0000000u;

struct ArchiveOpenFile {
    int32_t InArchive;
    FileAccessHandle PlainFile;
    int32_t ArchiveIndex;
    ArchiveStream Stream;
};

struct ArchiveCacheEntry {
    int32_t ReferenceCount;
    ArchiveContext Context;
    wchar_t Path[520];
};

struct ArchiveAccessFind {
    int32_t InArchive;
    int32_t ArchiveIndex;
    intptr_t Inner;
};

struct ArchiveAccessState {
    int Initialized;
    CriticalSection Lock;
    ArchiveOpenFile* Files[OpenFileMax];
    int FileCount;
    ArchiveCacheEntry* Cache[ArchiveCacheMax];
    int CacheCount;
    wchar_t LastPath[1536];
    uint32_t LastPathBytes;   // without the extension
    int LastSlot;
};

ArchiveAccessState State;

const FileAccessTable ArchiveTable = {
    Archive_Access_Open,          Archive_Access_Close,     Archive_Access_Tell,       Archive_Access_Seek,
    Archive_Access_Read,          Archive_Access_Eof,       Archive_Access_IdleCheck,  Archive_Access_IsArchived,
    Archive_Access_SetCurrentDir, Archive_Access_GetCurrentDir, Archive_Access_GetCurrentDirBounded,
    Archive_Access_FindFirst,     Archive_Access_FindNext,  Archive_Access_FindClose};

void Archive_Lock() { CriticalSection_Enter(&State.Lock, "VtArchiveAccess", __LINE__); }
void Archive_Unlock() { CriticalSection_Leave(&State.Lock); }

void Archive_EnsureInitialized()
{
    if (!State.Initialized) Archive_Initialize();
}

// The record of an open-file handle, null for anything that is not an open slot.
ArchiveOpenFile* Archive_FileOf(FileAccessHandle handle)
{
    if ((handle & 0xF0000000u) != OpenFileTag) return nullptr;
    uint32_t slot = uint32_t(handle & 0x0FFFFFFFu);
    if (slot >= OpenFileMax) return nullptr;
    return State.Files[slot];
}

bool Archive_PathEqualNoCase(const wchar_t* a, const wchar_t* b)
{
    for (;; ++a, ++b) {
        wchar_t x = *a, y = *b;
        if (x >= L'a' && x <= L'z') x = wchar_t(x - 0x20);
        if (y >= L'a' && y <= L'z') y = wchar_t(y - 0x20);
        if (x != y) return false;
        if (x == 0) return true;
    }
}

void Archive_Stream_FinishPending(ArchiveStream* s)
{
    while (s->Asynchronous && s->Pending && Archive_Stream_IdleCheck(s) == 0) Thread_Sleep(1);
}

} // namespace

int Archive_Initialize()
{
    if (State.Initialized) return -1;
    CriticalSection_Create(&State.Lock);
    memset(State.Files, 0, sizeof(State.Files));
    memset(State.Cache, 0, sizeof(State.Cache));
    State.FileCount = 0;
    State.CacheCount = 0;
    State.LastPath[0] = 0;
    State.LastPathBytes = 0;
    State.LastSlot = -1;
    State.Initialized = 1;
    return 0;
}

int Archive_Terminate()
{
    if (!State.Initialized) return -1;
    Archive_PurgeCache(1);
    CriticalSection_Delete(&State.Lock);
    State.Initialized = 0;
    return 0;
}

void Archive_PurgeCache(int all)
{
    Archive_Lock();
    for (int i = 0; i < ArchiveCacheMax && State.CacheCount > 0; ++i) {
        ArchiveCacheEntry* e = State.Cache[i];
        if (e == nullptr || (!all && e->ReferenceCount > 0)) continue;
        Archive_Close(&e->Context);
        Memory_Free(e);
        State.Cache[i] = nullptr;
        State.CacheCount -= 1;
        if (State.LastSlot == i) {
            State.LastSlot = -1;
            State.LastPath[0] = 0;
            State.LastPathBytes = 0;
        }
    }
    Archive_Unlock();
}

int Archive_FindOrOpenArchive(const wchar_t* path, void* image, uint64_t imageSize, int copy, int keepScrambled, int hint,
                              int wholeFile, int asynchronous)
{
    Archive_EnsureInitialized();
    Archive_Lock();
    if (hint >= 0 && hint < ArchiveCacheMax && State.Cache[hint] && wcscmp(State.Cache[hint]->Path, path) == 0) {
        State.Cache[hint]->ReferenceCount += 1;
        Archive_Unlock();
        return hint;
    }
    int empty = -1;
    for (int i = 0, seen = 0; i < ArchiveCacheMax && seen < State.CacheCount; ++i) {
        ArchiveCacheEntry* e = State.Cache[i];
        if (e == nullptr) {
            empty = i;
            continue;
        }
        ++seen;
        if (Archive_PathEqualNoCase(e->Path, path)) {
            e->ReferenceCount += 1;
            Archive_Unlock();
            return i;
        }
    }
    if (State.CacheCount >= ArchiveCacheMax) {
        Archive_PurgeCache(0);
        if (State.CacheCount >= ArchiveCacheMax) {
            Archive_Unlock();
            return -1;
        }
        empty = -1;
    }
    if (empty < 0 || State.Cache[empty] != nullptr)
        for (empty = 0; empty < ArchiveCacheMax && State.Cache[empty]; ++empty) {
        }
    ArchiveContext context;
    Archive_ResetContext(&context);
    int r;
    if (image) r = Archive_OpenFromMemory(&context, image, imageSize, copy, keepScrambled, nullptr, path);
    else if (wholeFile) r = Archive_OpenFromFileIntoMemory(&context, path, nullptr, asynchronous);
    else r = Archive_OpenFromFile(&context, path, nullptr);
    if (r < 0) {
        Archive_Unlock();
        return -1;
    }
    ArchiveCacheEntry* e = static_cast<ArchiveCacheEntry*>(Memory_AllocateZeroed(sizeof(ArchiveCacheEntry), "VtArchive", __LINE__));
    if (e == nullptr) {
        Archive_Close(&context);
        Archive_Unlock();
        return -1;
    }
    e->Context = context;
    // Pointers into the directory block stay valid; the current directory is the root.
    e->Context.CurrentDir = e->Context.DirTable;
    e->ReferenceCount = 1;
    size_t n = 0;
    while (n < 519 && path[n]) ++n;
    memcpy(e->Path, path, n * sizeof(wchar_t));
    e->Path[n] = 0;
    State.Cache[empty] = e;
    State.CacheCount += 1;
    Archive_Unlock();
    return empty;
}

int Archive_ReleaseArchive(int slot)
{
    Archive_Lock();
    int r = -1;
    if (slot >= 0 && slot < ArchiveCacheMax && State.Cache[slot] && State.Cache[slot]->ReferenceCount > 0) {
        State.Cache[slot]->ReferenceCount -= 1;
        r = 0;
    }
    Archive_Unlock();
    return r;
}

ArchiveContext* Archive_GetCachedContext(int slot)
{
    if (slot < 0 || slot >= ArchiveCacheMax || State.Cache[slot] == nullptr) return nullptr;
    return &State.Cache[slot]->Context;
}

int Archive_LookupPath(const wchar_t* path, int* archiveIndex, char* inner, uint32_t innerBytes)
{
    Archive_EnsureInitialized();
    Archive_Lock();
    wchar_t full[1536];
    File_Path_ToAbsoluteW(path, full, sizeof(full), nullptr);
    for (wchar_t* p = full; *p; ++p)
        if (*p >= L'a' && *p <= L'z') *p = wchar_t(*p - 0x20);
    size_t fullLength = wcslen(full);
    int slot = -1;
    size_t innerStart = 0;
    const size_t lastUnits = State.LastPathBytes / 2;
    if (State.LastSlot >= 0 && lastUnits > 0 && lastUnits < fullLength && memcmp(full, State.LastPath, lastUnits * 2) == 0 &&
        (full[lastUnits] == L'\\' || full[lastUnits] == L'/')) {
        slot = Archive_FindOrOpenArchive(State.LastPath, nullptr, 0, 0, 0, State.LastSlot, 0, 0);
        if (slot < 0) {
            Archive_Unlock();
            return -1;
        }
        innerStart = lastUnits + 1;
    } else {
        wchar_t prefix[1536 + 8];
        size_t prefixLength = 0;
        size_t at = 0;
        if (fullLength >= 2 && full[0] == L'\\' && full[1] == L'\\') {
            prefix[0] = prefix[1] = L'\\';
            prefixLength = 2;
            at = 2;
        }
        for (;;) {
            size_t start = at;
            while (at < fullLength && full[at] != L'\\' && full[at] != L'/') ++at;
            if (at >= fullLength || at == start) {
                Archive_Unlock();
                return -1;
            }
            size_t n = at - start;
            if (prefixLength + n + 5 >= 1536) {
                Archive_Unlock();
                return -1;
            }
            memcpy(prefix + prefixLength, full + start, n * sizeof(wchar_t));
            prefixLength += n;
            wchar_t candidate[1536 + 8];
            memcpy(candidate, prefix, prefixLength * sizeof(wchar_t));
            memcpy(candidate + prefixLength, L".VTA", 5 * sizeof(wchar_t));
            slot = Archive_FindOrOpenArchive(candidate, nullptr, 0, 0, 0, -1, 0, 0);
            if (slot >= 0) {
                memcpy(State.LastPath, candidate, (prefixLength + 5) * sizeof(wchar_t));
                State.LastPathBytes = uint32_t(prefixLength * 2);
                State.LastSlot = slot;
                innerStart = at + 1;
                break;
            }
            prefix[prefixLength++] = L'\\';
            ++at;
        }
    }
    *archiveIndex = slot;
    ArchiveContext* c = &State.Cache[slot]->Context;
    if (inner && innerBytes > 0) {
        inner[0] = 0;
        if (CharCode_ConvertString(full + innerStart, -1, CodePage_Utf16LE, inner, int32_t(innerBytes), c->CodePage) <= 0)
            memset(inner, 0, innerBytes < 4 ? innerBytes : 4);
    }
    Archive_Unlock();
    return 0;
}

FileAccessHandle Archive_Access_Open(const wchar_t* path, int useCache, int blockRead, int asynchronous)
{
    Archive_EnsureInitialized();
    Archive_Lock();
    if (State.FileCount >= OpenFileMax) {
        Archive_Unlock();
        Log_AddTextUTF16(L"同時に開けるファイルの数が限界を超えました\n");
        return 0;
    }
    int slot = 0;
    while (slot < OpenFileMax && State.Files[slot]) ++slot;
    ArchiveOpenFile* f = static_cast<ArchiveOpenFile*>(Memory_AllocateZeroed(sizeof(ArchiveOpenFile), "VtArchive", __LINE__));
    if (f == nullptr) {
        Archive_Unlock();
        Log_AddTextUTF16(L"ファイルの情報を格納するメモリの確保に失敗しました\n");
        return 0;
    }
    State.Files[slot] = f;
    char inner[1536];
    int archive = -1;
    bool done = false;
    if (Archive_LookupPath(path, &archive, inner, sizeof(inner)) == 0) {
        if (Archive_Stream_Open(&f->Stream, &State.Cache[archive]->Context, inner, asynchronous) == 0) {
            f->InArchive = 1;
            f->ArchiveIndex = archive;
            done = true;
        } else {
            Archive_ReleaseArchive(archive);
        }
    }
    if (!done) {
        f->InArchive = 0;
        f->PlainFile = File_Plain_Open(path, useCache, 1, asynchronous);
        if (f->PlainFile == 0) {
            Memory_Free(f);
            State.Files[slot] = nullptr;
            Archive_Unlock();
            return 0;
        }
    }
    State.FileCount += 1;
    Archive_Unlock();
    return FileAccessHandle(slot) | OpenFileTag;
}

int Archive_Access_Close(FileAccessHandle handle)
{
    Archive_EnsureInitialized();
    Archive_Lock();
    ArchiveOpenFile* f = Archive_FileOf(handle);
    if (f == nullptr) {
        Archive_Unlock();
        return -1;
    }
    if (f->InArchive) {
        Archive_ReleaseArchive(f->ArchiveIndex);
        Archive_Stream_Close(&f->Stream);
    } else {
        File_Plain_Close(f->PlainFile);
    }
    Memory_Free(f);
    State.Files[handle & 0x0FFFFFFFu] = nullptr;
    State.FileCount -= 1;
    Archive_Unlock();
    return 0;
}

int64_t Archive_Access_Tell(FileAccessHandle handle)
{
    ArchiveOpenFile* f = Archive_FileOf(handle);
    if (f == nullptr) return -1;
    if (!f->InArchive) return File_Plain_Tell(f->PlainFile);
    Archive_Stream_FinishPending(&f->Stream);
    return int64_t(f->Stream.Position);
}

int Archive_Access_Seek(FileAccessHandle handle, int64_t offset, int origin)
{
    ArchiveOpenFile* f = Archive_FileOf(handle);
    if (f == nullptr) return -1;
    if (!f->InArchive) return File_Plain_Seek(f->PlainFile, offset, origin);
    return Archive_Stream_Seek(&f->Stream, offset, origin);
}

uint32_t Archive_Access_Read(void* buffer, uint32_t elementSize, uint32_t count, FileAccessHandle handle)
{
    ArchiveOpenFile* f = Archive_FileOf(handle);
    // A closed or unknown handle reads no element (its end test then reports -1).
    if (f == nullptr) return 0;
    if (!f->InArchive) return File_Plain_Read(buffer, elementSize, count, f->PlainFile);
    if (elementSize == 0) return 0;
    if (uint64_t(elementSize) * count > 0xFFFFFFFFu) count = 0xFFFFFFFFu / elementSize;
    return Archive_Stream_Read(&f->Stream, buffer, elementSize * count) / elementSize;
}

int Archive_Access_Eof(FileAccessHandle handle)
{
    ArchiveOpenFile* f = Archive_FileOf(handle);
    if (f == nullptr) return -1;
    if (!f->InArchive) return File_Plain_Eof(f->PlainFile);
    Archive_Stream_FinishPending(&f->Stream);
    return f->Stream.EndFlag ? -1 : 0;
}

int Archive_Access_IdleCheck(FileAccessHandle handle)
{
    ArchiveOpenFile* f = Archive_FileOf(handle);
    if (f == nullptr) return -1;
    if (f->InArchive) return Archive_Stream_IdleCheck(&f->Stream);
    return File_Plain_IdleCheck(f->PlainFile);
}

int Archive_Access_IsArchived(FileAccessHandle handle)
{
    ArchiveOpenFile* f = Archive_FileOf(handle);
    if (f == nullptr) return -1;
    return f->InArchive;
}

int Archive_Access_SetCurrentDir(const wchar_t* path)
{
    BaseFunc_SetCurrentDir(path);
    return 0;
}

int Archive_Access_GetCurrentDir(wchar_t* buffer)
{
    BaseFunc_GetCurrentDir(buffer, 0x7FFFFFFF);
    return 0;
}

int Archive_Access_GetCurrentDirBounded(wchar_t* buffer, uint32_t bufferBytes)
{
    BaseFunc_GetCurrentDir(buffer, int32_t(bufferBytes > 0x7FFFFFFF ? 0x7FFFFFFF : bufferBytes));
    return 0;
}

FileFindHandle Archive_Access_FindFirst(const wchar_t* pattern, FileFindData* out)
{
    ArchiveAccessFind* f = static_cast<ArchiveAccessFind*>(Memory_AllocateZeroed(sizeof(ArchiveAccessFind), "VtArchive", __LINE__));
    if (f == nullptr) return -1;
    char inner[1536];
    int archive = -1;
    if (Archive_LookupPath(pattern, &archive, inner, sizeof(inner)) < 0) {
        f->InArchive = 0;
        f->Inner = File_Plain_FindFirst(pattern, out);
    } else {
        f->InArchive = 1;
        f->ArchiveIndex = archive;
        Archive_Lock();
        f->Inner = intptr_t(Archive_FindFirst(&State.Cache[archive]->Context, inner, out));
        Archive_Unlock();
    }
    if (f->Inner == -1) {
        if (f->InArchive) Archive_ReleaseArchive(archive);
        Memory_Free(f);
        return -1;
    }
    return FileFindHandle(f);
}

int Archive_Access_FindNext(FileFindHandle find, FileFindData* out)
{
    ArchiveAccessFind* f = reinterpret_cast<ArchiveAccessFind*>(find);
    if (f == nullptr || find == -1) return -1;
    if (!f->InArchive) return File_Plain_FindNext(f->Inner, out);
    ArchiveFindState* s = reinterpret_cast<ArchiveFindState*>(f->Inner);
    if (Archive_FindNext(s, out) < 0) return -1;
    s->Index += 1;
    return 0;
}

int Archive_Access_FindClose(FileFindHandle find)
{
    ArchiveAccessFind* f = reinterpret_cast<ArchiveAccessFind*>(find);
    if (f == nullptr || find == -1) return -1;
    if (f->InArchive) {
        Memory_Free(reinterpret_cast<void*>(f->Inner));
        Archive_ReleaseArchive(f->ArchiveIndex);
    } else {
        File_Plain_FindClose(f->Inner);
    }
    Memory_Free(f);
    return 0;
}

const FileAccessTable* Archive_Access_GetTable() { return &ArchiveTable; }

} // namespace Vantrel
