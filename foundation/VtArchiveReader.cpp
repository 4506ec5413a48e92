// The VTA archive reader: opens archives held in files or memory, checks and unpacks their directory
// block, finds files and directories by path (ASCII case ignored) and lists directories by wildcard.
// Every size and offset taken from an archive is checked against the archive before use. Stands on
// the decoders, the plain file set, the memory layer, the log and the code pages.
#include <cstring>
#include <initializer_list>
#include "foundation/VtArchive.h"
#include "foundation/VtArchiveInternal.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtFileWin.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtThread.h"

namespace Vantrel {

// ---- Characters of the archive's code page ----

uint32_t Archive_UnitSize(int32_t codePage)
{
    switch (codePage) {
    case 1200:
    case 1201: return 2;
    case 32766:
    case 32767: return 4;
    default: return 1;
    }
}

uint32_t Archive_UnitValue(int32_t codePage, const uint8_t* p)
{
    switch (codePage) {
    case 1200: return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    case 1201: return uint32_t(p[1]) | uint32_t(p[0]) << 8;
    case 32766: return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    case 32767: return uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
    default: return p[0];
    }
}

// Bytes of the character at p (at most `room`); 0 at a terminator unit.
uint32_t Archive_CharBytes(int32_t codePage, const uint8_t* p, uint64_t room)
{
    uint32_t u = Archive_UnitSize(codePage);
    if (room < u) return 0;
    if (Archive_UnitValue(codePage, p) == 0) return 0;
    if (u != 1) return u;
    uint8_t b = p[0];
    uint32_t n = 1;
    switch (codePage) {
    case 932: n = ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) ? 2 : 1; break;
    case 936:
    case 949:
    case 950: n = b >= 0x81 && b <= 0xFE ? 2 : 1; break;
    case 65001: n = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : b < 0xFC ? 5 : 6; break;
    default: break;
    }
    // A cut-off multi-byte character (or a terminator inside it) ends the text.
    if (n > room) return 0;
    for (uint32_t i = 1; i < n; ++i)
        if (p[i] == 0) return 1;
    return n;
}

// Byte length of a terminated text in the archive's code page, at most `limit`.
uint64_t Archive_TextBytes(int32_t codePage, const uint8_t* p, uint64_t limit)
{
    uint32_t u = Archive_UnitSize(codePage);
    uint64_t n = 0;
    while (n + u <= limit && Archive_UnitValue(codePage, p + n) != 0) n += u;
    return n;
}

// Rewrites a-z as A-Z in place (one-unit characters only).
static void Archive_UpperChar(int32_t codePage, uint8_t* p, uint32_t bytes)
{
    uint32_t u = Archive_UnitSize(codePage);
    if (bytes != u) return;
    uint32_t v = Archive_UnitValue(codePage, p);
    if (v < 'a' || v > 'z') return;
    v -= 0x20;
    if (codePage == 1201) p[1] = uint8_t(v);
    else if (codePage == 32767) p[3] = uint8_t(v);
    else p[0] = uint8_t(v);
}

static bool Archive_IsSeparatorChar(int32_t codePage, const uint8_t* p, uint32_t bytes)
{
    if (bytes != Archive_UnitSize(codePage)) return false;
    uint32_t v = Archive_UnitValue(codePage, p);
    return v == '\\' || v == '/';
}

void Archive_LogDamaged(const ArchiveContext* context)
{
    if (context && context->Path[0])
        Log_AddFormatUTF16(L"アーカイブファイルのデータが壊れています : %s", context->Path);
    else
        Log_AddTextUTF16(L"アーカイブファイルのデータが壊れています\n");
}

// ---- Directory block access ----

ArchiveFileEntry* Archive_EntryAt(ArchiveContext* c, uint64_t fileTableOffset)
{
    return reinterpret_cast<ArchiveFileEntry*>(c->FileTable + fileTableOffset);
}

ArchiveDirEntry* Archive_DirAt(ArchiveContext* c, uint64_t dirTableOffset)
{
    return reinterpret_cast<ArchiveDirEntry*>(c->DirTable + dirTableOffset);
}

const uint8_t* Archive_NameAt(ArchiveContext* c, uint64_t nameOffset)
{
    return c->NameTable + nameOffset;
}

static uint16_t Archive_NameUnits(const uint8_t* name) { return uint16_t(name[0] | name[1] << 8); }
static uint16_t Archive_NameParity(const uint8_t* name) { return uint16_t(name[2] | name[3] << 8); }
const uint8_t* Archive_NameUpper(const uint8_t* name) { return name + 4; }
const uint8_t* Archive_NameOriginal(const uint8_t* name) { return name + 4 + 4 * Archive_NameUnits(name); }

// ---- Walking the directory tree ----
// Directories still to visit are kept on the heap, in a stack that lives with the context: an
// archive's width and depth never cost thread stack. The check at open grows it to what a walk from
// the root needs, so the walks at close (which scramble a caller's block back) take no memory.

static bool Archive_WalkPush(ArchiveContext* c, uint64_t* depth, uint64_t dirOffset)
{
    if (*depth == c->WalkCapacity) {
        const uint64_t capacity = c->WalkCapacity < 64 ? 64 : c->WalkCapacity * 2;
        const uint64_t bytes = capacity * sizeof(uint64_t);
        if (bytes > 0x7FFFFFFF) return false;
        void* grown = Memory_Reallocate(c->WalkStack, uint32_t(bytes), "VtArchive", __LINE__);
        if (grown == nullptr) return false;
        c->WalkStack = static_cast<uint64_t*>(grown);
        c->WalkCapacity = capacity;
    }
    c->WalkStack[(*depth)++] = dirOffset;
    return true;
}

static void Archive_WalkRelease(ArchiveContext* c)
{
    Memory_Free(c->WalkStack);
    c->WalkStack = nullptr;
    c->WalkCapacity = 0;
}

namespace {

bool Archive_RangeFits(uint64_t offset, uint64_t length, uint64_t total)
{
    return offset <= total && length <= total - offset;
}

// A name record lies in the block, has at least one unit per copy and ends each copy with a zero unit.
bool Archive_CheckName(ArchiveContext* c, uint64_t nameOffset)
{
    uint64_t size = c->Header.DirectorySize;
    if (!Archive_RangeFits(nameOffset, 4, size)) return false;
    const uint8_t* n = c->NameTable + nameOffset;
    uint64_t units = Archive_NameUnits(n);
    if (units == 0 || !Archive_RangeFits(nameOffset + 4, units * 8, size)) return false;
    uint32_t u = Archive_UnitSize(c->CodePage);
    for (int copy = 0; copy < 2; ++copy) {
        const uint8_t* last = n + 4 + units * 4 * (copy + 1) - u;
        for (uint32_t i = 0; i < u; ++i)
            if (last[i] != 0) return false;
    }
    return true;
}

bool Archive_CheckFile(ArchiveContext* c, const ArchiveFileEntry& e)
{
    if (e.Size == 0) return true;
    uint64_t stored;
    const uint64_t none = ArchiveNone;
    if (e.LzSize != none && (e.LzSize < 9 || e.LzSize > 0x7FFFFFFF)) return false;
    if (e.LzSize != none || e.HuffmanSize != none) {
        // Packed files are decoded whole in memory.
        if (e.Size > 0x7FFFFFFF) return false;
    }
    if (e.HuffmanSize == none) {
        stored = e.LzSize == none ? e.Size : e.LzSize;
    } else {
        uint64_t s = e.LzSize == none ? e.Size : e.LzSize;
        uint64_t edge = uint64_t(c->Header.HuffmanKB) * 1024;
        if (e.HuffmanSize > 0x7FFFFFFF) return false;
        if (c->Header.HuffmanKB != ArchiveHuffmanWhole && s > 2 * edge) stored = e.HuffmanSize + (s - 2 * edge);
        else stored = e.HuffmanSize;
    }
    if (c->Header.DataStart > c->ArchiveSize) return false;
    return Archive_RangeFits(e.DataOffset, stored, c->ArchiveSize - c->Header.DataStart);
}

// Walks the whole tree once: every directory, entry, name and data range must lie inside the
// archive, and every directory must name the directory it is listed in as its parent (no cycles).
int Archive_CheckDirectory(ArchiveContext* c)
{
    uint64_t size = c->Header.DirectorySize;
    if (c->Header.FileTableOffset > size || c->Header.DirTableOffset > size) return -1;
    uint64_t fileBytes = size - c->Header.FileTableOffset;
    uint64_t dirBytes = size - c->Header.DirTableOffset;
    if (dirBytes < sizeof(ArchiveDirEntry)) return -1;
    ArchiveDirEntry root;
    memcpy(&root, c->DirTable, sizeof(root));
    if (root.Parent != ArchiveNone) return -1;
    uint64_t budget = fileBytes / sizeof(ArchiveFileEntry) + 1;
    uint64_t depth = 0;
    if (!Archive_WalkPush(c, &depth, 0)) return -1;
    while (depth > 0) {
        uint64_t dirOffset = c->WalkStack[--depth];
        if (budget-- == 0) return -1;
        ArchiveDirEntry d;
        memcpy(&d, c->DirTable + dirOffset, sizeof(d));
        if (d.Count > fileBytes / sizeof(ArchiveFileEntry)) return -1;
        if (!Archive_RangeFits(d.FirstEntry, d.Count * sizeof(ArchiveFileEntry), fileBytes)) return -1;
        if (dirOffset != 0) {
            if (!Archive_RangeFits(d.OwnEntry, sizeof(ArchiveFileEntry), fileBytes)) return -1;
            ArchiveFileEntry own;
            memcpy(&own, c->FileTable + d.OwnEntry, sizeof(own));
            if (!Archive_CheckName(c, own.NameOffset)) return -1;
        }
        for (uint64_t i = 0; i < d.Count; ++i) {
            ArchiveFileEntry e;
            memcpy(&e, c->FileTable + d.FirstEntry + i * sizeof(ArchiveFileEntry), sizeof(e));
            if (!Archive_CheckName(c, e.NameOffset)) return -1;
            if (e.Attributes & ArchiveAttribute_Directory) {
                if (!Archive_RangeFits(e.DataOffset, sizeof(ArchiveDirEntry), dirBytes)) return -1;
                ArchiveDirEntry sub;
                memcpy(&sub, c->DirTable + e.DataOffset, sizeof(sub));
                if (sub.Parent != dirOffset || e.DataOffset == 0) return -1;
                if (!Archive_WalkPush(c, &depth, e.DataOffset)) return -1;
            } else if (!Archive_CheckFile(c, e)) {
                return -1;
            }
        }
    }
    return 0;
}

void Archive_KeySetup(ArchiveContext* c, const char* keyText)
{
    const char* t = keyText ? keyText : ArchiveDefaultKeyText;
    size_t n = strlen(t);
    if (n > ArchiveKeyTextMax) n = ArchiveKeyTextMax;
    memcpy(c->KeyText, t, n);
    c->KeyText[n] = 0;
    c->KeyTextLength = int32_t(n);
    Archive_DeriveKey(c->KeyText, uint32_t(n), &c->Key);
}

int32_t Archive_HeaderCodePage(uint32_t cp)
{
    switch (cp) {
    case 932: case 936: case 949: case 950: case 1200: case 1201: case 1252:
    case 32764: case 32766: case 32767: case 65001: return int32_t(cp);
    default: return 932;
    }
}

bool Archive_HeaderValid(const ArchiveHeader& h)
{
    return h.Magic[0] == 'V' && h.Magic[1] == 'T' && h.Version == ArchiveVersion;
}

// Reads the stored directory block (from the file when `image` is null), unscrambles and unpacks it,
// points the tables into it and checks it. -1 with a log line for a damaged block.
int Archive_LoadDirectory(ArchiveContext* c, const uint8_t* image)
{
    const ArchiveHeader& h = c->Header;
    uint64_t storedBytes;
    if (h.Flags & ArchiveFlag_DirectoryUnpacked) {
        storedBytes = h.DirectorySize;
    } else {
        if (h.DirectoryOffset > c->ArchiveSize) return -1;
        storedBytes = c->ArchiveSize - h.DirectoryOffset;
    }
    if (!Archive_RangeFits(h.DirectoryOffset, storedBytes, c->ArchiveSize) || storedBytes > 0x7FFFFFFF ||
        h.DirectorySize < sizeof(ArchiveDirEntry))
        return -1;
    uint8_t* stored = static_cast<uint8_t*>(Memory_Allocate(uint32_t(storedBytes ? storedBytes : 1), "VtArchive", __LINE__));
    if (stored == nullptr) return -1;
    if (image) {
        memcpy(stored, image + h.DirectoryOffset, size_t(storedBytes));
    } else if (File_Plain_Seek(c->File, int64_t(h.DirectoryOffset), SeekOrigin_Start) < 0 ||
               Archive_ReadScrambled(stored, storedBytes, c->File, nullptr, 0) < 0) {
        Memory_Free(stored);
        return -1;
    }
    if (!c->NoKey) Archive_ApplyKey(stored, storedBytes, 0, &c->Key);
    if (h.Flags & ArchiveFlag_DirectoryUnpacked) {
        c->DirectoryBlock = stored;
    } else {
        int64_t lzBytes = Archive_HuffmanDecodeChecked(stored, storedBytes, nullptr, 0);
        uint8_t* lz = nullptr;
        if (lzBytes > 0 && lzBytes <= 0x7FFFFFFF) lz = static_cast<uint8_t*>(Memory_Allocate(uint32_t(lzBytes), "VtArchive", __LINE__));
        bool ok = lz && Archive_HuffmanDecodeChecked(stored, storedBytes, lz, uint64_t(lzBytes)) == lzBytes &&
                  Archive_LzDecompressChecked(lz, uint64_t(lzBytes), nullptr, 0) == int64_t(h.DirectorySize);
        if (ok) {
            c->DirectoryBlock = static_cast<uint8_t*>(Memory_Allocate(h.DirectorySize, "VtArchive", __LINE__));
            ok = c->DirectoryBlock &&
                 Archive_LzDecompressChecked(lz, uint64_t(lzBytes), c->DirectoryBlock, h.DirectorySize) == int64_t(h.DirectorySize);
        }
        Memory_Free(lz);
        Memory_Free(stored);
        if (!ok) {
            Memory_Free(c->DirectoryBlock);
            c->DirectoryBlock = nullptr;
            return -1;
        }
    }
    c->NameTable = c->DirectoryBlock;
    c->FileTable = c->DirectoryBlock + (h.FileTableOffset <= h.DirectorySize ? h.FileTableOffset : 0);
    c->DirTable = c->DirectoryBlock + (h.DirTableOffset <= h.DirectorySize ? h.DirTableOffset : 0);
    c->CurrentDir = c->DirTable;
    if (Archive_CheckDirectory(c) < 0) {
        Memory_Free(c->DirectoryBlock);
        c->DirectoryBlock = nullptr;
        Archive_WalkRelease(c);
        return -1;
    }
    return 0;
}

} // namespace

void Archive_FinishLoad(ArchiveContext* c)
{
    while (Archive_CheckLoaded(c) == 0) Thread_Sleep(0);
}

int Archive_ResetContext(ArchiveContext* context)
{
    memset(context, 0, sizeof(*context));
    return 0;
}

int Archive_ReadScrambled(void* destination, uint64_t bytes, FileAccessHandle file, const ArchiveKey* key, uint64_t keyPosition)
{
    if (keyPosition == ArchiveNone) keyPosition = uint64_t(File_Plain_Tell(file));
    uint8_t* d = static_cast<uint8_t*>(destination);
    uint64_t done = 0;
    while (done < bytes) {
        uint32_t chunk = bytes - done > 0x40000000 ? 0x40000000 : uint32_t(bytes - done);
        uint32_t got = File_Plain_Read(d + done, 1, chunk, file);
        while (File_Plain_IdleCheck(file) == 0) Thread_Sleep(1);
        if (got == 0) break;
        done += got;
    }
    if (key) Archive_ApplyKey(destination, done, keyPosition, key);
    return done == bytes ? 0 : -1;
}

int Archive_OpenFromFile(ArchiveContext* c, const wchar_t* path, const char* keyText)
{
    if (c->File || c->Image) return -1;
    memset(&c->Header, 0, sizeof(c->Header));
    c->File = File_Plain_Open(path, 0, 1, 0);
    if (c->File == 0) return -1;
    size_t n = 0;
    while (n < 1023 && path[n]) ++n;
    memcpy(c->Path, path, n * sizeof(wchar_t));
    c->Path[n] = 0;
    Archive_KeySetup(c, keyText);
    File_Plain_Seek(c->File, 0, SeekOrigin_End);
    c->ArchiveSize = uint64_t(File_Plain_Tell(c->File));
    File_Plain_Seek(c->File, 0, SeekOrigin_Start);
    bool ok = Archive_ReadScrambled(&c->Header, sizeof(c->Header), c->File, nullptr, 0) == 0 && Archive_HeaderValid(c->Header);
    if (ok) {
        c->NoKey = (c->Header.Flags & ArchiveFlag_NoKey) ? 1 : 0;
        c->CodePage = Archive_HeaderCodePage(c->Header.CodePage);
        if (Archive_LoadDirectory(c, nullptr) < 0) {
            Archive_LogDamaged(c);
            ok = false;
        }
    }
    if (!ok) {
        File_Plain_Close(c->File);
        Archive_ResetContext(c);
        return -1;
    }
    c->MemoryBacked = 0;
    return 0;
}

int Archive_OpenFromFileIntoMemory(ArchiveContext* c, const wchar_t* path, const char* keyText, int asynchronous)
{
    if (c->File || c->Image) return -1;
    Archive_KeySetup(c, keyText);
    FileAccessHandle f = File_Plain_Open(path, 0, 1, 0);
    if (f == 0) {
        Archive_ResetContext(c);
        return -1;
    }
    size_t n = 0;
    while (n < 1023 && path[n]) ++n;
    memcpy(c->Path, path, n * sizeof(wchar_t));
    c->Path[n] = 0;
    File_Plain_Seek(f, 0, SeekOrigin_End);
    uint64_t size = uint64_t(File_Plain_Tell(f));
    File_Plain_Seek(f, 0, SeekOrigin_Start);
    bool ok = size >= sizeof(ArchiveHeader) && size <= 0x7FFFFFFF;
    if (ok) c->Image = static_cast<uint8_t*>(Memory_Allocate(uint32_t(size), "VtArchive", __LINE__));
    ok = ok && c->Image && File_Plain_Read(c->Image, 1, uint32_t(size), f) == size;
    while (ok && File_Plain_IdleCheck(f) == 0) Thread_Sleep(1);
    // The header is needed at once; asynchronous reads have completed after the idle wait above.
    if (ok) {
        memcpy(&c->Header, c->Image, sizeof(c->Header));
        ok = Archive_HeaderValid(c->Header);
    }
    if (ok) {
        c->ImageSize = int64_t(size);
        c->ArchiveSize = size;
        c->NoKey = (c->Header.Flags & ArchiveFlag_NoKey) ? 1 : 0;
        c->CodePage = Archive_HeaderCodePage(c->Header.CodePage);
        if (Archive_LoadDirectory(c, c->Image) < 0) {
            Archive_LogDamaged(c);
            ok = false;
        }
    }
    if (!ok) {
        File_Plain_Close(f);
        Memory_Free(c->Image);
        Archive_ResetContext(c);
        return -1;
    }
    c->LoadFile = f;
    c->Loading = 1;
    c->MemoryBacked = 1;
    c->FromCallerMemory = 0;
    c->Copied = 0;
    c->KeptScrambled = 0;
    if (!asynchronous) Archive_FinishLoad(c);
    return 0;
}

int Archive_OpenFromMemory(ArchiveContext* c, void* image, uint64_t imageSize, int copy, int keepScrambled,
                           const char* keyText, const wchar_t* directoryPath)
{
    if (copy) keepScrambled = 0;
    if (c->File || c->Image) return -1;
    if (image == nullptr || imageSize < sizeof(ArchiveHeader)) return -1;
    if (copy && imageSize > 0x7FFFFFFF) return -1;
    Archive_KeySetup(c, keyText);
    memset(c->Path, 0, sizeof(c->Path));
    if (directoryPath) {
        size_t n = 0;
        while (n < 1023 && directoryPath[n]) ++n;
        memcpy(c->Path, directoryPath, n * sizeof(wchar_t));
    }
    c->ImageSize = int64_t(imageSize);
    c->ArchiveSize = imageSize;
    if (copy) {
        c->Image = static_cast<uint8_t*>(Memory_Allocate(uint32_t(imageSize), "VtArchive", __LINE__));
        if (c->Image == nullptr) {
            Archive_ResetContext(c);
            return -1;
        }
        memcpy(c->Image, image, size_t(imageSize));
        c->CallerBlock = image;
    } else {
        c->Image = static_cast<uint8_t*>(image);
    }
    memcpy(&c->Header, c->Image, sizeof(c->Header));
    bool ok = Archive_HeaderValid(c->Header);
    if (ok) {
        c->Header.CodePage = 0;
        c->CodePage = 932;
        c->NoKey = (c->Header.Flags & ArchiveFlag_NoKey) ? 1 : 0;
        if (Archive_LoadDirectory(c, c->Image) < 0) {
            Archive_LogDamaged(c);
            ok = false;
        }
    }
    if (!ok) {
        if (copy) Memory_Free(c->Image);
        Archive_ResetContext(c);
        return -1;
    }
    c->MemoryBacked = 1;
    c->FromCallerMemory = 1;
    c->Copied = copy;
    c->KeptScrambled = keepScrambled;
    if (!c->NoKey && !keepScrambled) Archive_UnscrambleImage(c, c->DirTable);
    return 0;
}

int Archive_CheckLoaded(ArchiveContext* c)
{
    if (!c->Loading) return 1;
    if (File_Plain_IdleCheck(c->LoadFile) == 0) return 0;
    File_Plain_Close(c->LoadFile);
    c->LoadFile = 0;
    if (!c->NoKey) Archive_UnscrambleImage(c, c->DirTable);
    c->Loading = 0;
    return 1;
}

int Archive_Close(ArchiveContext* c)
{
    if (c->File == 0 && c->Image == nullptr) return 0;
    Archive_FinishLoad(c);
    if (c->MemoryBacked) {
        if (!c->FromCallerMemory) {
            Memory_Free(c->Image);
        } else if (c->Copied) {
            Memory_Free(c->Image);
        } else if (!c->NoKey && !c->KeptScrambled) {
            Archive_UnscrambleImage(c, c->DirTable);
        }
    } else {
        File_Plain_Close(c->File);
    }
    Memory_Free(c->DirectoryBlock);
    Archive_WalkRelease(c);
    memset(c, 0, sizeof(*c));
    return 0;
}

int Archive_CloseAndReset(ArchiveContext* c)
{
    Archive_Close(c);
    return Archive_ResetContext(c);
}

void* Archive_GetMemoryImage(ArchiveContext* c)
{
    Archive_FinishLoad(c);
    return c->MemoryBacked ? c->Image : nullptr;
}

int32_t Archive_BuildFileKeyText(ArchiveContext* c, const uint8_t* directory, const ArchiveFileEntry* entry, char* buffer)
{
    const uint32_t u = Archive_UnitSize(c->CodePage);
    const uint64_t limit = 2040 - u;  // room for a terminator within 2040 bytes
    uint64_t pos = uint64_t(c->KeyTextLength);
    memcpy(buffer, c->KeyText, size_t(pos));
    auto append = [&](uint64_t nameOffset) {
        const uint8_t* upper = Archive_NameUpper(Archive_NameAt(c, nameOffset));
        uint64_t n = Archive_TextBytes(c->CodePage, upper, uint64_t(Archive_NameUnits(Archive_NameAt(c, nameOffset))) * 4);
        if (pos + n > limit) n = limit > pos ? (limit - pos) / u * u : 0;
        memcpy(buffer + pos, upper, size_t(n));
        pos += n;
    };
    append(entry->NameOffset);
    // The chain up to the root was checked at open; the bound only guards against a directory
    // pointer from elsewhere. Once the text is full no further name can count.
    const ArchiveDirEntry* d = reinterpret_cast<const ArchiveDirEntry*>(directory);
    const uint64_t tableOffset = uint64_t(c->DirTable - c->DirectoryBlock);
    const uint64_t directories = tableOffset < c->Header.DirectorySize ? (c->Header.DirectorySize - tableOffset) / sizeof(ArchiveDirEntry) : 0;
    for (uint64_t level = 0; d->Parent != ArchiveNone && level < directories && limit - pos >= u; ++level) {
        append(Archive_EntryAt(c, d->OwnEntry)->NameOffset);
        d = Archive_DirAt(c, d->Parent);
    }
    memset(buffer + pos, 0, u);
    return int32_t(pos);
}

// One file's stored bytes.
static void Archive_UnscrambleFile(ArchiveContext* c, const uint8_t* directory, const ArchiveFileEntry* e)
{
    char keyText[2048];
    int32_t n = Archive_BuildFileKeyText(c, directory, e, keyText);
    ArchiveKey key;
    Archive_DeriveKey(keyText, uint32_t(n), &key);
    Archive_ApplyKey(c->Image + c->Header.DataStart + e->DataOffset, Archive_StoredLength(*e, c->Header.HuffmanKB), e->Size, &key);
}

// Walks the tree below `directory` (the order of the files does not matter: each has its own key).
int Archive_UnscrambleImage(ArchiveContext* c, const uint8_t* directory)
{
    if (!c->MemoryBacked || c->NoKey) return -1;
    uint64_t depth = 0;
    if (!Archive_WalkPush(c, &depth, uint64_t(directory - c->DirTable))) return -1;
    while (depth > 0) {
        const uint8_t* dir = c->DirTable + c->WalkStack[--depth];
        const ArchiveDirEntry* d = reinterpret_cast<const ArchiveDirEntry*>(dir);
        for (uint64_t i = 0; i < d->Count; ++i) {
            const ArchiveFileEntry* e = Archive_EntryAt(c, d->FirstEntry + i * sizeof(ArchiveFileEntry));
            if (e->Attributes & ArchiveAttribute_Directory) {
                if (!Archive_WalkPush(c, &depth, e->DataOffset)) return -1;
            } else if (e->Size != 0) {
                Archive_UnscrambleFile(c, dir, e);
            }
        }
    }
    return 0;
}

// ---- Names and lookups ----

int Archive_MakeNameRecord(ArchiveContext* c, ArchiveNameKey* out, const char* component, uint32_t* bytesRead)
{
    const uint8_t* p = reinterpret_cast<const uint8_t*>(component);
    uint32_t read = 0, written = 0;
    uint32_t parity = 0;
    for (;;) {
        uint32_t n = Archive_CharBytes(c->CodePage, p + read, 1u << 20);
        if (n == 0 || Archive_IsSeparatorChar(c->CodePage, p + read, n)) break;
        if (written + n <= 1024) {
            memcpy(out->Name + written, p + read, n);
            Archive_UpperChar(c->CodePage, out->Name + written, n);
            for (uint32_t i = 0; i < n; ++i) parity += out->Name[written + i];
            written += n;
        }
        read += n;
    }
    uint32_t padded = (written / 4 + 1) * 4;
    memset(out->Name + written, 0, padded - written);
    out->Parity = uint16_t(parity);
    out->Units = uint16_t(padded / 4);
    if (bytesRead) *bytesRead = read;
    return 0;
}

static bool Archive_NameMatches(ArchiveContext* c, const ArchiveFileEntry* e, const ArchiveNameKey* key)
{
    const uint8_t* n = Archive_NameAt(c, e->NameOffset);
    return Archive_NameUnits(n) == key->Units && Archive_NameParity(n) == key->Parity &&
           memcmp(Archive_NameUpper(n), key->Name, size_t(key->Units) * 4) == 0;
}

int Archive_EnterSubdir(ArchiveContext* c, const ArchiveNameKey* key)
{
    const ArchiveDirEntry* d = reinterpret_cast<const ArchiveDirEntry*>(c->CurrentDir);
    for (uint64_t i = 0; i < d->Count; ++i) {
        const ArchiveFileEntry* e = Archive_EntryAt(c, d->FirstEntry + i * sizeof(ArchiveFileEntry));
        if ((e->Attributes & ArchiveAttribute_Directory) && Archive_NameMatches(c, e, key)) {
            c->CurrentDir = c->DirTable + e->DataOffset;
            return 0;
        }
    }
    return -1;
}

int Archive_ChangeDir(ArchiveContext* c, const char* path, int restore, ArchiveNameKey* failedKey)
{
    uint8_t* saved = c->CurrentDir;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(path);
    const uint32_t u = Archive_UnitSize(c->CodePage);
    uint64_t length = Archive_TextBytes(c->CodePage, p, 1u << 20);
    auto unitIs = [&](uint64_t at, char ch) { return at + u <= length && Archive_UnitValue(c->CodePage, p + at) == uint32_t(uint8_t(ch)); };
    if (length == u && unitIs(0, '.')) return 0;
    if (length == u && (unitIs(0, '\\') || unitIs(0, '/'))) {
        c->CurrentDir = c->DirTable;
        return 0;
    }
    if (length == 2 * u && unitIs(0, '.') && unitIs(u, '.')) {
        const ArchiveDirEntry* d = reinterpret_cast<const ArchiveDirEntry*>(c->CurrentDir);
        if (d->Parent == ArchiveNone) return -1;
        c->CurrentDir = c->DirTable + d->Parent;
        return 0;
    }
    uint64_t at = 0;
    if (unitIs(0, '\\') || unitIs(0, '/')) {
        c->CurrentDir = c->DirTable;
        at = u;
    }
    ArchiveNameKey key;
    while (at < length) {
        uint32_t read = 0;
        Archive_MakeNameRecord(c, &key, path + at, &read);
        if (Archive_EnterSubdir(c, &key) < 0) {
            if (failedKey) *failedKey = key;
            if (restore) c->CurrentDir = saved;
            return -1;
        }
        at += read;
        if (at < length) at += u;  // the separator
    }
    return 0;
}

ArchiveFileEntry* Archive_FindFileEntry(ArchiveContext* c, const char* path, uint8_t** directory)
{
    Archive_FinishLoad(c);
    uint8_t* saved = c->CurrentDir;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(path);
    const uint32_t u = Archive_UnitSize(c->CodePage);
    uint64_t length = Archive_TextBytes(c->CodePage, p, 1u << 20);
    uint64_t at = 0;
    ArchiveNameKey key;
    ArchiveFileEntry* found = nullptr;
    if (length >= u && (Archive_UnitValue(c->CodePage, p) == '\\' || Archive_UnitValue(c->CodePage, p) == '/')) {
        c->CurrentDir = c->DirTable;
        at = u;
    }
    for (;;) {
        uint32_t read = 0;
        Archive_MakeNameRecord(c, &key, path + at, &read);
        at += read;
        if (at < length) {
            // A directory component.
            if (Archive_EnterSubdir(c, &key) < 0) break;
            at += u;
            continue;
        }
        if (read == 0) break;
        const ArchiveDirEntry* d = reinterpret_cast<const ArchiveDirEntry*>(c->CurrentDir);
        for (uint64_t i = 0; i < d->Count; ++i) {
            ArchiveFileEntry* e = Archive_EntryAt(c, d->FirstEntry + i * sizeof(ArchiveFileEntry));
            if (!(e->Attributes & ArchiveAttribute_Directory) && Archive_NameMatches(c, e, &key)) {
                found = e;
                if (directory) *directory = c->CurrentDir;
                break;
            }
        }
        break;
    }
    c->CurrentDir = saved;
    return found;
}

int Archive_LocateFile(ArchiveContext* c, int codePage, const void* name, uint64_t* dataOffset, uint64_t* size)
{
    Archive_FinishLoad(c);
    char converted[4096];
    const char* n = static_cast<const char*>(name);
    if (codePage != c->CodePage) {
        if (CharCode_ConvertString(name, -1, codePage, converted, sizeof(converted), c->CodePage) <= 0) return -1;
        n = converted;
    }
    ArchiveFileEntry* e = Archive_FindFileEntry(c, n, nullptr);
    if (e == nullptr) return -1;
    if (dataOffset) *dataOffset = c->Header.DataStart + e->DataOffset;
    if (size) *size = e->Size;
    return 0;
}

// ---- Directory search ----

int Archive_SplitPattern(ArchiveContext* c, const char* pattern, char* name, uint32_t nameBytes, char* dir, uint32_t dirBytes)
{
    const uint8_t* p = reinterpret_cast<const uint8_t*>(pattern);
    const uint32_t u = Archive_UnitSize(c->CodePage);
    uint64_t at = 0;
    int64_t last = -1;
    for (;;) {
        uint32_t n = Archive_CharBytes(c->CodePage, p + at, 1u << 20);
        if (n == 0) break;
        uint32_t v = n == u ? Archive_UnitValue(c->CodePage, p + at) : 0;
        if (v == '\\' || v == '/' || v == ':') last = int64_t(at);
        at += n;
    }
    auto copy = [&](char* out, uint32_t outBytes, const uint8_t* from, uint64_t bytes) {
        if (!out || outBytes < u) return;
        if (bytes > outBytes - u) bytes = (outBytes - u) / u * u;
        memcpy(out, from, size_t(bytes));
        memset(out + bytes, 0, u);
    };
    if (last < 0) {
        copy(name, nameBytes, p, at);
        copy(dir, dirBytes, p, 0);
    } else {
        copy(name, nameBytes, p + last + u, at - uint64_t(last) - u);
        copy(dir, dirBytes, p, uint64_t(last));
    }
    return 0;
}

// Matches with backtracking: a star takes as few characters as it can, and more when the rest fails.
int Archive_MatchWildcard(ArchiveContext* c, const char* name, const char* pattern)
{
    const uint8_t* n = reinterpret_cast<const uint8_t*>(name);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(pattern);
    const int32_t cp = c->CodePage;
    const uint32_t u = Archive_UnitSize(cp);
    auto isStar = [&](const uint8_t* at, uint32_t bytes) { return bytes == u && Archive_UnitValue(cp, at) == '*'; };
    auto isAny = [&](const uint8_t* at, uint32_t bytes) { return bytes == u && Archive_UnitValue(cp, at) == '?'; };
    const uint8_t* starP = nullptr;
    const uint8_t* starN = nullptr;
    for (int guard = 0; guard < 1 << 22; ++guard) {
        uint32_t nb = Archive_CharBytes(cp, n, 1u << 20);
        uint32_t pb = Archive_CharBytes(cp, p, 1u << 20);
        if (pb != 0 && isStar(p, pb)) {
            while (pb != 0 && isStar(p, pb)) {
                p += pb;
                pb = Archive_CharBytes(cp, p, 1u << 20);
            }
            if (pb == 0) return 0;
            starP = p;
            starN = n;
            continue;
        }
        if (nb == 0 && pb == 0) return 0;
        if (nb != 0 && pb != 0 && (isAny(p, pb) || (nb == pb && memcmp(n, p, nb) == 0))) {
            n += nb;
            p += pb;
            continue;
        }
        // Mismatch: let the last star take one more character of the name.
        if (starP == nullptr) return -1;
        uint32_t sb = Archive_CharBytes(cp, starN, 1u << 20);
        if (sb == 0) return -1;
        starN += sb;
        n = starN;
        p = starP;
    }
    return -1;
}

static void Archive_ReportEntry(ArchiveContext* c, const ArchiveFileEntry* e, FileFindData* out)
{
    memset(out, 0, sizeof(*out));
    CharCode_ConvertString(Archive_NameOriginal(Archive_NameAt(c, e->NameOffset)), -1, c->CodePage, out->Name, 520, CodePage_Utf16LE);
    out->Directory = (e->Attributes & ArchiveAttribute_Directory) ? 1 : 0;
    out->Size = e->Size;
    File_FileTimeToLocalDate(e->CreationTime, &out->CreationTime);
    File_FileTimeToLocalDate(e->LastWriteTime, &out->LastWriteTime);
}

int Archive_FindNext(ArchiveFindState* s, FileFindData* out)
{
    ArchiveContext* c = s->Context;
    Archive_FinishLoad(c);
    const ArchiveDirEntry* d = reinterpret_cast<const ArchiveDirEntry*>(s->Directory);
    const uint64_t total = d->Count + (d->Parent == ArchiveNone ? 1 : 2);
    const uint32_t u = Archive_UnitSize(c->CodePage);
    const char* pattern = reinterpret_cast<const char*>(s->Pattern);
    for (uint64_t i = s->Index; i < total; ++i) {
        if (i < d->Count) {
            const ArchiveFileEntry* e = Archive_EntryAt(c, d->FirstEntry + i * sizeof(ArchiveFileEntry));
            const char* upper = reinterpret_cast<const char*>(Archive_NameUpper(Archive_NameAt(c, e->NameOffset)));
            if (Archive_MatchWildcard(c, upper, pattern) != 0) continue;
            s->Index = i;
            if (out) Archive_ReportEntry(c, e, out);
            return 0;
        }
        // "." and "..", written in the archive's code page.
        uint8_t dots[16] = {};
        int count = i == d->Count ? 1 : 2;
        for (int k = 0; k < count; ++k) {
            uint8_t* at = dots + k * u;
            if (c->CodePage == 1201) at[1] = '.';
            else if (c->CodePage == 32767) at[3] = '.';
            else at[0] = '.';
        }
        if (Archive_MatchWildcard(c, reinterpret_cast<const char*>(dots), pattern) != 0) continue;
        s->Index = i;
        if (out) {
            memset(out, 0, sizeof(*out));
            out->Name[0] = L'.';
            if (count == 2) out->Name[1] = L'.';
            out->Directory = 1;
        }
        return 0;
    }
    return -1;
}

ArchiveFindState* Archive_FindFirst(ArchiveContext* c, const char* pattern, FileFindData* out)
{
    Archive_FinishLoad(c);
    char name[1536];
    char dir[1536];
    Archive_SplitPattern(c, pattern, name, sizeof(name), dir, sizeof(dir));
    // Upper-case both parts.
    for (char* part : {name, dir}) {
        uint8_t* p = reinterpret_cast<uint8_t*>(part);
        uint64_t at = 0;
        while (uint32_t n = Archive_CharBytes(c->CodePage, p + at, sizeof(name) - at)) {
            Archive_UpperChar(c->CodePage, p + at, n);
            at += n;
        }
    }
    uint8_t* directory = c->CurrentDir;
    if (Archive_UnitValue(c->CodePage, reinterpret_cast<uint8_t*>(dir)) != 0) {
        uint8_t* saved = c->CurrentDir;
        if (Archive_ChangeDir(c, dir, 1, nullptr) < 0) return reinterpret_cast<ArchiveFindState*>(intptr_t(-1));
        directory = c->CurrentDir;
        c->CurrentDir = saved;
    }
    ArchiveFindState* s = static_cast<ArchiveFindState*>(Memory_AllocateZeroed(sizeof(ArchiveFindState), "VtArchive", __LINE__));
    if (s == nullptr) return reinterpret_cast<ArchiveFindState*>(intptr_t(-1));
    s->Context = c;
    memcpy(s->Pattern, name, sizeof(s->Pattern));
    s->Directory = directory;
    s->Index = 0;
    if (Archive_FindNext(s, out) < 0) {
        Memory_Free(s);
        return reinterpret_cast<ArchiveFindState*>(intptr_t(-1));
    }
    s->Index += 1;
    return s;
}

} // namespace Vantrel
