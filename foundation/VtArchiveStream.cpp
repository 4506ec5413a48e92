// Streams over one file of an open VTA archive: packed files are decoded whole at open (or when
// their asynchronous read completes), raw files are read on demand and unscrambled on the way.
// Stands on the archive reader, the decoders, the plain file set and the memory layer.
#include <cstring>
#include "foundation/VtArchive.h"
#include "foundation/VtArchiveInternal.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtThread.h"

namespace Vantrel {

namespace {

// Decodes a file's unscrambled stored bytes into `decoded` (size bytes); -1 when they do not decode.
int Archive_Stream_Decode(ArchiveContext* c, const ArchiveFileEntry* e, const uint8_t* stored, uint64_t storedBytes, uint8_t* decoded)
{
    const uint64_t none = ArchiveNone;
    const uint64_t s = e->LzSize == none ? e->Size : e->LzSize;
    uint8_t* lz = nullptr;
    const uint8_t* lzSource = stored;
    int result = 0;
    if (e->HuffmanSize != none) {
        uint8_t* target = decoded;
        if (e->LzSize != none) {
            lz = static_cast<uint8_t*>(Memory_Allocate(uint32_t(s), "VtArchive", __LINE__));
            if (lz == nullptr) return -1;
            target = lz;
        }
        const uint64_t edge = uint64_t(c->Header.HuffmanKB) * 1024;
        if (c->Header.HuffmanKB != ArchiveHuffmanWhole && s > 2 * edge) {
            // Head and tail were coded together, the middle lies raw after the coded block.
            uint8_t* ends = edge ? static_cast<uint8_t*>(Memory_Allocate(uint32_t(2 * edge), "VtArchive", __LINE__)) : nullptr;
            if (edge && ends == nullptr) result = -1;
            else if (Archive_HuffmanDecodeChecked(stored, e->HuffmanSize, ends, 2 * edge) != int64_t(2 * edge)) result = -1;
            else if (storedBytes < e->HuffmanSize + (s - 2 * edge)) result = -1;
            else {
                memcpy(target, ends, size_t(edge));
                memcpy(target + edge, stored + e->HuffmanSize, size_t(s - 2 * edge));
                memcpy(target + s - edge, ends + edge, size_t(edge));
            }
            Memory_Free(ends);
        } else if (Archive_HuffmanDecodeChecked(stored, e->HuffmanSize, target, s) != int64_t(s)) {
            result = -1;
        }
        lzSource = target;
    }
    if (result == 0 && e->LzSize != none)
        if (Archive_LzDecompressChecked(lzSource, s, decoded, e->Size) != int64_t(e->Size)) result = -1;
    Memory_Free(lz);
    if (result < 0) Archive_LogDamaged(c);
    return result;
}

bool Archive_Stream_IsPacked(const ArchiveFileEntry* e)
{
    return e->Size != 0 && (e->LzSize != ArchiveNone || e->HuffmanSize != ArchiveNone);
}

uint64_t Archive_Stream_DataStart(const ArchiveStream* s)
{
    return s->Context->Header.DataStart + s->Entry->DataOffset;
}

void Archive_Stream_Finish(ArchiveStream* s)
{
    while (Archive_Stream_IdleCheck(s) == 0) Thread_Sleep(1);
}

} // namespace

int Archive_Stream_Open(ArchiveStream* s, ArchiveContext* c, const char* path, int asynchronous)
{
    Archive_FinishLoad(c);
    memset(s, 0, sizeof(*s));
    s->Context = c;
    s->Asynchronous = asynchronous;
    uint8_t* directory = nullptr;
    s->Entry = Archive_FindFileEntry(c, path, &directory);
    if (s->Entry == nullptr) return -1;
    if (!c->MemoryBacked) {
        s->File = File_Plain_Open(c->Path, 0, 1, 0);
        if (s->File == 0) return -1;
    }
    s->NoKey = c->NoKey;
    if (!s->NoKey) {
        char keyText[2048];
        int32_t n = Archive_BuildFileKeyText(c, directory, s->Entry, keyText);
        Archive_DeriveKey(keyText, uint32_t(n), &s->FileKey);
    }
    const ArchiveFileEntry* e = s->Entry;
    if (!Archive_Stream_IsPacked(e)) return 0;

    const uint64_t storedBytes = Archive_StoredLength(*e, c->Header.HuffmanKB);
    s->Decoded = static_cast<uint8_t*>(Memory_Allocate(uint32_t(e->Size), "VtArchive", __LINE__));
    if (s->Decoded == nullptr) goto fail;
    if (c->MemoryBacked && !c->KeptScrambled) {
        if (Archive_Stream_Decode(c, e, c->Image + Archive_Stream_DataStart(s), storedBytes, s->Decoded) < 0) goto fail;
        return 0;
    }
    if (storedBytes > 0x7FFFFFFF) goto fail;
    s->Work = static_cast<uint8_t*>(Memory_Allocate(uint32_t(storedBytes ? storedBytes : 1), "VtArchive", __LINE__));
    s->WorkBytes = storedBytes;
    if (s->Work == nullptr) goto fail;
    if (c->MemoryBacked) {
        memcpy(s->Work, c->Image + Archive_Stream_DataStart(s), size_t(storedBytes));
        if (!s->NoKey) Archive_ApplyKey(s->Work, storedBytes, e->Size, &s->FileKey);
    } else {
        if (File_Plain_Seek(s->File, int64_t(Archive_Stream_DataStart(s)), SeekOrigin_Start) < 0) goto fail;
        if (asynchronous) {
            if (File_Plain_Read(s->Work, 1, uint32_t(storedBytes), s->File) != storedBytes) goto fail;
            s->Pending = 1;
            return 0;
        }
        if (Archive_ReadScrambled(s->Work, storedBytes, s->File, s->NoKey ? nullptr : &s->FileKey, e->Size) < 0) goto fail;
    }
    if (Archive_Stream_Decode(c, e, s->Work, storedBytes, s->Decoded) < 0) goto fail;
    Memory_Free(s->Work);
    s->Work = nullptr;
    return 0;

fail:
    Memory_Free(s->Work);
    Memory_Free(s->Decoded);
    if (s->File) File_Plain_Close(s->File);
    memset(s, 0, sizeof(*s));
    return -1;
}

int Archive_Stream_IdleCheck(ArchiveStream* s)
{
    if (!s->Asynchronous || s->Pending == 0) return 1;
    if (File_Plain_IdleCheck(s->File) == 0) return 0;
    if (s->Pending == 1) {
        if (!s->NoKey) Archive_ApplyKey(s->Work, s->WorkBytes, s->Entry->Size, &s->FileKey);
        if (Archive_Stream_Decode(s->Context, s->Entry, s->Work, s->WorkBytes, s->Decoded) < 0) s->Damaged = 1;
        Memory_Free(s->Work);
        s->Work = nullptr;
    } else if (s->Pending == 2 && !s->NoKey) {
        Archive_ApplyKey(s->PendingDestination, s->PendingLength,
                         s->Entry->Size + (s->PendingFileOffset - Archive_Stream_DataStart(s)), &s->FileKey);
    }
    s->Pending = 0;
    return 1;
}

uint32_t Archive_Stream_Read(ArchiveStream* s, void* buffer, uint32_t bytes)
{
    if (s->Asynchronous && s->Pending) Archive_Stream_Finish(s);
    const ArchiveFileEntry* e = s->Entry;
    if (s->EndFlag) return 0;
    if (s->Position >= e->Size) {
        s->EndFlag = 1;
        return 0;
    }
    if (s->Damaged) {
        s->EndFlag = 1;
        return 0;
    }
    if (bytes > e->Size - s->Position) bytes = uint32_t(e->Size - s->Position);
    ArchiveContext* c = s->Context;
    if (s->Decoded) {
        memcpy(buffer, s->Decoded + s->Position, bytes);
    } else if (c->MemoryBacked) {
        memcpy(buffer, c->Image + Archive_Stream_DataStart(s) + s->Position, bytes);
        if (c->KeptScrambled && !s->NoKey) Archive_ApplyKey(buffer, bytes, e->Size + s->Position, &s->FileKey);
    } else {
        uint64_t offset = Archive_Stream_DataStart(s) + s->Position;
        if (uint64_t(File_Plain_Tell(s->File)) != offset) File_Plain_Seek(s->File, int64_t(offset), SeekOrigin_Start);
        if (s->Asynchronous) {
            uint32_t got = File_Plain_Read(buffer, 1, bytes, s->File);
            if (got == 0) {
                s->EndFlag = 1;
                return 0;
            }
            bytes = got;
            s->Pending = 2;
            s->PendingFileOffset = offset;
            s->PendingDestination = static_cast<uint8_t*>(buffer);
            s->PendingLength = bytes;
        } else {
            uint64_t before = uint64_t(File_Plain_Tell(s->File));
            Archive_ReadScrambled(buffer, bytes, s->File, s->NoKey ? nullptr : &s->FileKey, e->Size + s->Position);
            uint32_t got = uint32_t(uint64_t(File_Plain_Tell(s->File)) - before);
            if (got == 0) {
                s->EndFlag = 1;
                return 0;
            }
            bytes = got;
        }
    }
    s->EndFlag = 0;
    s->Position += bytes;
    return bytes;
}

int Archive_Stream_Seek(ArchiveStream* s, int64_t offset, int origin)
{
    Archive_Stream_Finish(s);
    int64_t size = int64_t(s->Entry->Size);
    int64_t target;
    if (origin == SeekOrigin_Current) target = int64_t(s->Position) + offset;
    else if (origin == SeekOrigin_End) target = size + offset;
    else target = offset;
    if (target < 0) target = 0;
    if (target > size) target = size;
    s->Position = uint64_t(target);
    s->EndFlag = 0;
    return 0;
}

int Archive_Stream_Close(ArchiveStream* s)
{
    if (s->Entry) Archive_Stream_Finish(s);
    Memory_Free(s->Decoded);
    Memory_Free(s->Work);
    if (s->File) File_Plain_Close(s->File);
    memset(s, 0, sizeof(*s));
    return 0;
}

} // namespace Vantrel
