// Files: the file access table and its forwarders, narrow caller tables, path functions, the File
// handle type and the generic layer of the plain set (position, size and end flag of each open file,
// every request clamped to the file size). Stands on VtFileWin, the handles, the log, the memory
// layer and the code pages; the default table is the archive-aware set of VtArchiveAccess.
#include "foundation/VtFile.h"
#include <cstring>
#include "foundation/VtArchive.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtFileWin.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtString.h"

namespace Vantrel {

namespace {

FileAccessTable FileTable = {Archive_Access_Open,          Archive_Access_Close,     Archive_Access_Tell,
                             Archive_Access_Seek,          Archive_Access_Read,      Archive_Access_Eof,
                             Archive_Access_IdleCheck,     Archive_Access_IsArchived, Archive_Access_SetCurrentDir,
                             Archive_Access_GetCurrentDir, Archive_Access_GetCurrentDirBounded,
                             Archive_Access_FindFirst,     Archive_Access_FindNext,  Archive_Access_FindClose};

const FileAccessTable PlainTable = {File_Plain_Open,          File_Plain_Close,     File_Plain_Tell,
                                    File_Plain_Seek,          File_Plain_Read,      File_Plain_Eof,
                                    File_Plain_IdleCheck,     File_Plain_IsArchived, File_Plain_SetCurrentDir,
                                    File_Plain_GetCurrentDir, File_Plain_GetCurrentDirBounded,
                                    File_Plain_FindFirst,     File_Plain_FindNext,  File_Plain_FindClose};

FileAccessTableNarrow NarrowTable;
int FileInitialized = 0;

// ---- Narrow adapters: UTF-16 arguments converted to the current narrow code page ----

constexpr int NarrowWorkBytes = 1536;

void File_ToNarrow(const wchar_t* path, char* out)
{
    out[0] = 0;
    if (path) CharCode_ConvertString(path, -1, CodePage_Utf16LE, out, NarrowWorkBytes, CharCode_GetNarrowPage());
}

FileAccessHandle Narrow_Open(const wchar_t* path, int useCache, int blockRead, int asynchronous)
{
    char n[NarrowWorkBytes];
    File_ToNarrow(path, n);
    return NarrowTable.Open(n, useCache, blockRead, asynchronous);
}
int Narrow_Close(FileAccessHandle h) { return NarrowTable.Close(h); }
int64_t Narrow_Tell(FileAccessHandle h) { return NarrowTable.Tell(h); }
int Narrow_Seek(FileAccessHandle h, int64_t offset, int origin) { return NarrowTable.Seek(h, offset, origin); }
uint32_t Narrow_Read(void* buffer, uint32_t size, uint32_t count, FileAccessHandle h) { return NarrowTable.Read(buffer, size, count, h); }
int Narrow_Eof(FileAccessHandle h) { return NarrowTable.Eof(h); }
int Narrow_IdleCheck(FileAccessHandle h) { return NarrowTable.IdleCheck(h); }
int Narrow_SetCurrentDir(const wchar_t* path)
{
    char n[NarrowWorkBytes];
    File_ToNarrow(path, n);
    return NarrowTable.SetCurrentDir(n);
}
int Narrow_GetDir(wchar_t* buffer, int32_t bufferBytes, uint32_t askBytes)
{
    char n[NarrowWorkBytes];
    n[0] = 0;
    int r;
    if (NarrowTable.GetCurrentDirBounded) r = NarrowTable.GetCurrentDirBounded(n, askBytes < NarrowWorkBytes ? askBytes : NarrowWorkBytes);
    else r = NarrowTable.GetCurrentDir(n);
    n[NarrowWorkBytes - 1] = 0;
    CharCode_ConvertString(n, -1, CharCode_GetNarrowPage(), buffer, bufferBytes, CodePage_Utf16LE);
    return r;
}
int Narrow_GetCurrentDir(wchar_t* buffer) { return Narrow_GetDir(buffer, 0x7FFFFFFF, NarrowWorkBytes); }
int Narrow_GetCurrentDirBounded(wchar_t* buffer, uint32_t bytes) { return Narrow_GetDir(buffer, int32_t(bytes), bytes); }
FileFindHandle Narrow_FindFirst(const wchar_t* pattern, FileFindData* out)
{
    char n[NarrowWorkBytes];
    File_ToNarrow(pattern, n);
    FileFindDataNarrow nd;
    FileFindHandle h = NarrowTable.FindFirst(n, out ? &nd : nullptr);
    if (h != -1 && out) File_FindData_FromNarrow(&nd, out);
    return h;
}
int Narrow_FindNext(FileFindHandle find, FileFindData* out)
{
    FileFindDataNarrow nd;
    int r = NarrowTable.FindNext(find, out ? &nd : nullptr);
    if (r == 0 && out) File_FindData_FromNarrow(&nd, out);
    return r;
}
int Narrow_FindClose(FileFindHandle find) { return NarrowTable.FindClose(find); }

// Copies a run of units with a terminator into a buffer of `bytes` bytes.
template <typename Char>
void File_CopyBounded(Char* out, uint32_t bytes, const Char* src, size_t units)
{
    if (out == nullptr) return;
    size_t room = bytes / sizeof(Char);
    if (room == 0) return;
    if (units > room - 1) units = room - 1;
    memmove(out, src, units * sizeof(Char));
    out[units] = 0;
}

template <typename Char>
size_t File_Length(const Char* s)
{
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

inline bool File_IsLead(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool File_IsLead(char c)
{
    uint8_t b = uint8_t(c);
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
template <typename Char>
inline bool File_IsSeparator(Char c) { return c == Char('\\') || c == Char('/'); }

// Index of the last backslash, slash or colon, -1 when there is none; two-unit characters are one.
template <typename Char>
ptrdiff_t File_LastSeparator(const Char* p, size_t length, bool colon)
{
    ptrdiff_t last = -1;
    for (size_t i = 0; i < length; ++i) {
        if (File_IsLead(p[i]) && i + 1 < length) {
            ++i;
            continue;
        }
        if (File_IsSeparator(p[i]) || (colon && p[i] == Char(':'))) last = ptrdiff_t(i);
    }
    return last;
}

template <typename Char>
inline bool File_IsAsciiAlnum(Char c)
{
    return (c >= Char('a') && c <= Char('z')) || (c >= Char('A') && c <= Char('Z')) || (c >= Char('0') && c <= Char('9'));
}

constexpr size_t PathWorkUnits = 4096;

// Makes `path` absolute against `base` into `out` (units), as described for File_Path_ToAbsoluteW.
template <typename Char>
void File_Path_Absolute(const Char* path, const Char* base, Char* out, uint32_t outBytes)
{
    Char res[PathWorkUnits];
    size_t len = 0;
    auto put = [&](const Char* s, size_t n) {
        if (len + n > PathWorkUnits - 1) n = PathWorkUnits - 1 - len;
        memcpy(res + len, s, n * sizeof(Char));
        len += n;
        res[len] = 0;
    };
    res[0] = 0;
    size_t i = 0;
    size_t pathLength = File_Length(path);
    if (pathLength >= 2 && path[0] == path[1] && File_IsSeparator(path[0])) {
        const Char two[2] = {Char('\\'), Char('\\')};
        put(two, 2);
        i = 2;
    } else {
        size_t j = 0;
        while (j < pathLength && File_IsAsciiAlnum(path[j])) ++j;
        if (j < pathLength && path[j] == Char(':')) {
            put(path, j + 1);
            i = j + 1;
            if (i < pathLength && File_IsSeparator(path[i])) ++i;
        } else if (pathLength >= 1 && File_IsSeparator(path[0])) {
            size_t b = File_Length(base);
            put(base, b < 2 ? b : 2);
            i = 1;
        } else {
            put(base, File_Length(base));
            if (len > 0 && File_LastSeparator(res, len, false) == ptrdiff_t(len - 1)) res[--len] = 0;
        }
    }
    while (i < pathLength) {
        size_t start = i;
        while (i < pathLength && !File_IsSeparator(path[i])) {
            if (File_IsLead(path[i]) && i + 1 < pathLength) ++i;
            ++i;
        }
        size_t n = i - start;
        if (n > 1535) n = 1535;
        if (i < pathLength) ++i;  // the separator
        if (n == 0) continue;
        const Char* c = path + start;
        if (n == 1 && c[0] == Char('.')) continue;
        if (n == 2 && c[0] == Char('.') && c[1] == Char('.')) {
            ptrdiff_t s = File_LastSeparator(res, len, true);
            if (s < 0) len = 0;
            else if (res[s] == Char(':')) len = size_t(s) + 1;
            else len = size_t(s);
            res[len] = 0;
            continue;
        }
        // (lead-aware: a Shift_JIS trail byte 0x5C is not a separator)
        if (len > 0 && File_LastSeparator(res, len, false) != ptrdiff_t(len - 1)) {
            const Char sep = Char('\\');
            put(&sep, 1);
        }
        put(c, n);
        len = File_Length(res);
    }
    File_CopyBounded(out, outBytes, res, len);
}

} // namespace

// ---- Forwarders ----

FileAccessHandle File_Access_Open(const wchar_t* path, int useCache, int blockRead, int asynchronous)
{
    return FileTable.Open(path, useCache, blockRead, asynchronous);
}
int File_Access_Close(FileAccessHandle handle) { return FileTable.Close(handle); }
int64_t File_Access_Tell(FileAccessHandle handle) { return FileTable.Tell(handle); }
int File_Access_Seek(FileAccessHandle handle, int64_t offset, int origin) { return FileTable.Seek(handle, offset, origin); }
uint32_t File_Access_Read(void* buffer, uint32_t elementSize, uint32_t count, FileAccessHandle handle)
{
    return FileTable.Read(buffer, elementSize, count, handle);
}
int File_Access_Eof(FileAccessHandle handle) { return FileTable.Eof(handle); }
int File_Access_IdleCheck(FileAccessHandle handle) { return FileTable.IdleCheck(handle); }
int File_Access_IsArchived(FileAccessHandle handle) { return FileTable.IsArchived(handle); }
int File_Access_SetCurrentDir(const wchar_t* path) { return FileTable.SetCurrentDir(path); }
int File_Access_GetCurrentDir(wchar_t* buffer, uint32_t bufferBytes)
{
    if (FileTable.GetCurrentDirBounded) return FileTable.GetCurrentDirBounded(buffer, bufferBytes);
    return FileTable.GetCurrentDir(buffer);
}

FileAccessTable* File_Access_GetTable() { return &FileTable; }

int File_Access_InstallTable(const FileAccessTableNarrow* table)
{
    if (table == nullptr) return File_Access_InstallTableW(nullptr);
    NarrowTable = *table;
    FileTable.Open = Narrow_Open;
    FileTable.Close = Narrow_Close;
    FileTable.Tell = Narrow_Tell;
    FileTable.Seek = Narrow_Seek;
    FileTable.Read = Narrow_Read;
    FileTable.Eof = Narrow_Eof;
    FileTable.IdleCheck = Narrow_IdleCheck;
    FileTable.SetCurrentDir = Narrow_SetCurrentDir;
    FileTable.GetCurrentDir = Narrow_GetCurrentDir;
    FileTable.GetCurrentDirBounded = Narrow_GetCurrentDirBounded;
    FileTable.FindFirst = Narrow_FindFirst;
    FileTable.FindNext = Narrow_FindNext;
    FileTable.FindClose = Narrow_FindClose;
    return 0;
}

int File_Access_InstallTableW(const FileAccessTable* table)
{
    FileTable = table ? *table : *Archive_Access_GetTable();
    return 0;
}

int File_FindData_FromNarrow(const FileFindDataNarrow* narrow, FileFindData* out)
{
    char name[261];
    memcpy(name, narrow->Name, 260);
    name[260] = 0;
    CharCode_ConvertString(name, -1, CharCode_GetNarrowPage(), out->Name, 520, CodePage_Utf16LE);
    out->Directory = narrow->Directory;
    out->Size = narrow->Size;
    out->CreationTime = narrow->CreationTime;
    out->LastWriteTime = narrow->LastWriteTime;
    return 0;
}

// ---- Paths ----

int File_Path_SplitNameAndDir(const wchar_t* path, wchar_t* name, uint32_t nameBytes, wchar_t* dir, uint32_t dirBytes)
{
    size_t n = File_Length(path);
    ptrdiff_t s = File_LastSeparator(path, n, true);
    if (s < 0) {
        File_CopyBounded(name, nameBytes, path, n);
        File_CopyBounded(dir, dirBytes, path, 0);
    } else {
        File_CopyBounded(name, nameBytes, path + s + 1, n - size_t(s) - 1);
        File_CopyBounded(dir, dirBytes, path, size_t(s));
    }
    return 0;
}

int File_Path_SplitStemAndExt(const wchar_t* path, wchar_t* stem, uint32_t stemBytes, wchar_t* ext, uint32_t extBytes)
{
    wchar_t name[256];
    File_Path_SplitNameAndDir(path, name, sizeof(name), nullptr, 0);
    size_t n = File_Length(name);
    ptrdiff_t dot = -1;
    for (size_t i = 0; i < n; ++i)
        if (name[i] == L'.') dot = ptrdiff_t(i);
    size_t stemUnits = dot < 0 ? n : size_t(dot);
    size_t extUnits = dot < 0 ? 0 : n - size_t(dot) - 1;
    if (stemUnits > 127) stemUnits = 127;
    if (extUnits > 127) extUnits = 127;
    File_CopyBounded(stem, stemBytes, name, stemUnits);
    File_CopyBounded(ext, extBytes, dot < 0 ? name : name + dot + 1, extUnits);
    return 0;
}

namespace {
// The current directory into a buffer of 1536 units; empty when it cannot be had.
void File_ReadCurrentDir(wchar_t (&current)[1536])
{
    current[0] = 0;
    File_Access_GetCurrentDir(current, sizeof(current));
    current[1535] = 0;
}

// Both forms of ToAbsolute once the base is known: no path gives the base itself.
template <typename Char>
int File_Path_Resolve(const Char* path, Char* out, uint32_t outBytes, const Char* base)
{
    if (path == nullptr) {
        File_CopyBounded(out, outBytes, base, File_Length(base));
        return 0;
    }
    File_Path_Absolute(path, base, out, outBytes);
    return 0;
}
} // namespace

int File_Path_ToAbsoluteW(const wchar_t* path, wchar_t* out, uint32_t outBytes, const wchar_t* base)
{
    wchar_t current[1536];
    if (base == nullptr) {
        File_ReadCurrentDir(current);
        base = current;
    }
    return File_Path_Resolve(path, out, outBytes, base);
}

int File_Path_ToAbsolute(const char* path, char* out, uint32_t outBytes, const char* base)
{
    char current[1536];
    if (base == nullptr) {
        wchar_t wide[1536];
        File_ReadCurrentDir(wide);
        current[0] = 0;
        CharCode_ConvertString(wide, -1, CodePage_Utf16LE, current, sizeof(current), CharCode_GetNarrowPage());
        base = current;
    }
    return File_Path_Resolve(path, out, outBytes, base);
}

// ---- File handles ----

namespace {
void File_HandleRecord_Init(HandleHeader*) {}
} // namespace

int File_HandleRecord_Terminate(HandleHeader* header)
{
    FileHandleRecord* r = reinterpret_cast<FileHandleRecord*>(header);
    if (r->Kind == FileHandleKind_Normal) {
        if (r->File != 0) {
            FileTable.Close(r->File);
            r->File = 0;
        }
    } else if (r->Image != nullptr) {
        if (r->Ops.Close && r->StreamData) r->Ops.Close(r->StreamData);
        r->StreamData = nullptr;
        if (r->OwnsImage) Memory_Free(r->Image);
        r->Image = nullptr;
    }
    return 0;
}

int File_HandleRecord_Dump(HandleHeader* header)
{
    FileHandleRecord* r = reinterpret_cast<FileHandleRecord*>(header);
    if (r->Kind == FileHandleKind_Normal) {
        int64_t position = FileTable.Tell(r->File);
        FileTable.Seek(r->File, 0, SeekOrigin_End);
        int64_t size = FileTable.Tell(r->File);
        FileTable.Seek(r->File, position, SeekOrigin_Start);
        Log_AddFormatUTF16(L"Handle:0x%08x Type:Normal    FileSize:%lld CurrentPos:%lld", header->Handle, size, position);
    } else {
        int64_t position = r->Ops.Tell && r->StreamData ? r->Ops.Tell(r->StreamData) : 0;
        Log_AddFormatUTF16(L"Handle:0x%08x Type:FullyLoad FileSize:%lld CurrentPos:%lld", header->Handle, r->ImageSize, position);
    }
    return 0;
}

int File_Initialize()
{
    if (FileInitialized) return -1;
    Log_AddTextUTF16(L"ファイルアクセス処理の初期化...");
    File_StreamOps_Setup();
    if (Handle_Type_Setup(FileHandleType, sizeof(FileHandleRecord), FileHandleMaxCount, File_HandleRecord_Init,
                          File_HandleRecord_Terminate, File_HandleRecord_Dump, L"File") < 0) {
        Log_AddTextUTF16(L"失敗\n");
        return -1;
    }
    if (FileWin_Initialize() < 0) {
        Handle_Type_Shutdown(FileHandleType);
        Log_AddTextUTF16(L"失敗\n");
        return -1;
    }
    Log_AddTextUTF16(L"成功\n");
    FileInitialized = 1;
    return 0;
}

int File_Terminate()
{
    if (!FileInitialized) return -1;
    Handle_Type_Shutdown(FileHandleType);
    if (FileWin_Terminate() < 0) return -1;
    FileInitialized = 0;
    return 0;
}

// ---- Write-only files ----

int File_WriteOnly_Close(void* systemHandle) { return FileWin_WriteOnly_Close(systemHandle); }
int File_WriteOnly_Seek(void* systemHandle, int32_t offset, int32_t ignored, int origin)
{
    return FileWin_WriteOnly_Seek(systemHandle, offset, ignored, origin);
}
int File_WriteOnly_Write(void* systemHandle, const void* data, uint32_t bytes, uint32_t* written)
{
    return FileWin_WriteOnly_Write(systemHandle, data, bytes, written);
}

// ---- The plain set, generic layer ----

const FileAccessTable* File_Plain_GetTable() { return &PlainTable; }

FileAccessHandle File_Plain_Open(const wchar_t* path, int useCache, int blockRead, int asynchronous)
{
    FileWinAccess* r = static_cast<FileWinAccess*>(Memory_AllocateZeroed(sizeof(FileWinAccess), "VtFile", __LINE__));
    if (r == nullptr) return 0;
    r->Asynchronous = asynchronous;
    if (FileWin_ReadOnly_Open(r, path, useCache) < 0) {
        Memory_Free(r);
        return 0;
    }
    return FileAccessHandle(r);
}

int File_Plain_Close(FileAccessHandle handle)
{
    FileWinAccess* r = reinterpret_cast<FileWinAccess*>(handle);
    if (FileWin_ReadOnly_Close(r) < 0) return -1;
    Memory_Free(r);
    return 0;
}

int64_t File_Plain_Tell(FileAccessHandle handle)
{
    return int64_t(reinterpret_cast<FileWinAccess*>(handle)->Position);
}

int File_Plain_Seek(FileAccessHandle handle, int64_t offset, int origin)
{
    FileWinAccess* r = reinterpret_cast<FileWinAccess*>(handle);
    int64_t target;
    switch (origin) {
    case SeekOrigin_Start: target = offset; break;
    case SeekOrigin_Current: target = int64_t(r->Position) + offset; break;
    case SeekOrigin_End: target = int64_t(r->FileSize) + offset; break;
    default: return -1;
    }
    if (target < 0) target = 0;
    if (uint64_t(target) > r->FileSize) target = int64_t(r->FileSize);
    if (FileWin_ReadOnly_Seek(r, uint64_t(target)) < 0) return -1;
    r->Position = uint64_t(target);
    r->EndFlag = 0;
    return 0;
}

uint32_t File_Plain_Read(void* buffer, uint32_t elementSize, uint32_t count, FileAccessHandle handle)
{
    FileWinAccess* r = reinterpret_cast<FileWinAccess*>(handle);
    if (elementSize == 0) return 0;
    if (r->Position >= r->FileSize) {
        r->EndFlag = 1;
        return 0;
    }
    if (r->Position + uint64_t(elementSize) * count > r->FileSize) count = uint32_t((r->FileSize - r->Position) / elementSize);
    if (count == 0) {
        r->EndFlag = 1;
        return 0;
    }
    uint32_t bytes = FileWin_ReadOnly_Read(buffer, elementSize, count, r);
    r->Position += bytes;
    if (bytes == 0) {
        // Nothing came although the size promised more (the file shrank, or the read failed).
        r->EndFlag = 1;
        return 0;
    }
    return bytes / elementSize;
}

int File_Plain_Eof(FileAccessHandle handle)
{
    return reinterpret_cast<FileWinAccess*>(handle)->EndFlag ? -1 : 0;
}

int File_Plain_IdleCheck(FileAccessHandle handle)
{
    return FileWin_ReadOnly_IdleCheck(reinterpret_cast<FileWinAccess*>(handle));
}

int File_Plain_IsArchived(FileAccessHandle) { return 0; }
int File_Plain_SetCurrentDir(const wchar_t* path) { return FileWin_SetCurrentDir(path); }
int File_Plain_GetCurrentDir(wchar_t* buffer) { return FileWin_GetCurrentDir(buffer, 2147483647u); }
int File_Plain_GetCurrentDirBounded(wchar_t* buffer, uint32_t bufferBytes) { return FileWin_GetCurrentDir(buffer, bufferBytes); }

FileFindHandle File_Plain_FindFirst(const wchar_t* pattern, FileFindData* out)
{
    FileWinFind* holder = static_cast<FileWinFind*>(Memory_AllocateZeroed(sizeof(FileWinFind), "VtFile", __LINE__));
    if (holder == nullptr) return -1;
    if (FileWin_FindFirst(holder, pattern, out) < 0) {
        Memory_Free(holder);
        return -1;
    }
    return FileFindHandle(holder);
}

int File_Plain_FindNext(FileFindHandle find, FileFindData* out)
{
    return FileWin_FindNext(reinterpret_cast<FileWinFind*>(find), out);
}

int File_Plain_FindClose(FileFindHandle find)
{
    FileWinFind* holder = reinterpret_cast<FileWinFind*>(find);
    if (FileWin_FindClose(holder) < 0) return -1;
    Memory_Free(holder);
    return 0;
}

} // namespace Vantrel
