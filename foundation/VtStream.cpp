// Streams: the two shared operation tables (files through the file access table, memory blocks) and
// memory streams. Stands on the memory layer and the file access forwarders of VtFile.
#include "foundation/VtStream.h"
#include <cstring>
#include "foundation/VtFile.h"
#include "foundation/VtMemory.h"

namespace Vantrel {

namespace {

StreamOps FileStreamOps;
StreamOps MemStreamOps;

int64_t File_Stream_Tell(void* data) { return File_Access_Tell(FileAccessHandle(data)); }
int File_Stream_Seek(void* data, int64_t offset, int origin) { return File_Access_Seek(FileAccessHandle(data), offset, origin); }
uint32_t File_Stream_Read(void* buffer, uint32_t elementSize, uint32_t count, void* data)
{
    return File_Access_Read(buffer, elementSize, count, FileAccessHandle(data));
}
int File_Stream_Eof(void* data) { return File_Access_Eof(FileAccessHandle(data)); }
int File_Stream_IdleCheck(void* data) { return File_Access_IdleCheck(FileAccessHandle(data)); }
int File_Stream_Close(void* data) { return File_Access_Close(FileAccessHandle(data)); }

} // namespace

void File_StreamOps_Setup()
{
    FileStreamOps = {File_Stream_Tell, File_Stream_Seek, File_Stream_Read, File_Stream_Eof, File_Stream_IdleCheck,
                     File_Stream_Close};
    MemStreamOps = {File_MemStream_Tell, File_MemStream_Seek, File_MemStream_Read, File_MemStream_Eof,
                    File_MemStream_IdleCheck, File_MemStream_Close};
}

const StreamOps* File_GetFileStreamOps()
{
    if (FileStreamOps.Read == nullptr) File_StreamOps_Setup();
    return &FileStreamOps;
}

const StreamOps* File_GetMemStreamOps()
{
    if (MemStreamOps.Read == nullptr) File_StreamOps_Setup();
    return &MemStreamOps;
}

MemStream* File_MemStream_Open(const void* data, uint32_t size)
{
    MemStream* s = static_cast<MemStream*>(Memory_Allocate(sizeof(MemStream), "VtStream", __LINE__));
    if (s == nullptr) return nullptr;
    s->data = static_cast<const uint8_t*>(data);
    s->size = size;
    s->position = 0;
    s->endFlag = 0;
    return s;
}

int File_MemStream_Close(void* stream)
{
    Memory_Free(stream);
    return 0;
}

int64_t File_MemStream_Tell(void* stream)
{
    return int64_t(static_cast<MemStream*>(stream)->position);
}

int File_MemStream_Seek(void* stream, int64_t offset, int origin)
{
    MemStream* s = static_cast<MemStream*>(stream);
    int64_t target;
    switch (origin) {
    case SeekOrigin_Start: target = offset; break;
    case SeekOrigin_Current: target = int64_t(s->position) + offset; break;
    case SeekOrigin_End: target = int64_t(s->size) + offset; break;
    default: target = 0; break;
    }
    if (target < 0) target = 0;
    if (target > int64_t(s->size)) target = s->size;
    s->position = uint32_t(target);
    s->endFlag = 0;
    return 0;
}

// Returns whole elements only. Fewer bytes left than one element: they are copied, the position moves
// to the end, the end flag is set and 0 elements are reported.
uint32_t File_MemStream_Read(void* buffer, uint32_t elementSize, uint32_t count, void* stream)
{
    MemStream* s = static_cast<MemStream*>(stream);
    if (s->position >= s->size) {
        s->endFlag = 1;
        return 0;
    }
    if (elementSize == 0 || count == 0) return 0;
    uint32_t remaining = s->size - s->position;
    if (uint64_t(elementSize) * count > remaining) count = remaining / elementSize;
    if (count != 0) {
        uint32_t bytes = elementSize * count;
        memcpy(buffer, s->data + s->position, bytes);
        s->position += bytes;
        s->endFlag = 0;
        return count;
    }
    memcpy(buffer, s->data + s->position, remaining);
    s->position = s->size;
    s->endFlag = 1;
    return 0;
}

int File_MemStream_Eof(void* stream)
{
    return static_cast<MemStream*>(stream)->endFlag ? 1 : 0;
}

int File_MemStream_IdleCheck(void*)
{
    return 1;
}

} // namespace Vantrel
