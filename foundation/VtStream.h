// Streams: the six-operation contract every parser of the library reads its sources through, and
// memory streams (a cursor over a caller's block). File streams forward to the file access table
// (VtFile). Stands on the memory layer only.
#pragma once
#include <cstdint>

namespace Vantrel {

// The six stream operations, in the slot order shared by every user of the table.
struct StreamOps {
    int64_t (*Tell)(void* data);
    int (*Seek)(void* data, int64_t offset, int origin);
    uint32_t (*Read)(void* buffer, uint32_t elementSize, uint32_t count, void* data);
    int (*Eof)(void* data);
    int (*IdleCheck)(void* data);
    int (*Close)(void* data);
};

// A stream: the operations held by value followed by their data pointer; plain data, copied freely.
struct Stream {
    StreamOps ops;
    void* data;
};

// A cursor over a block of memory that somebody else owns.
struct MemStream {
    const uint8_t* data;
    uint32_t size;
    uint32_t position;
    int32_t endFlag;
};

// Seek origins shared by every stream and file operation.
enum : int { SeekOrigin_Start = 0, SeekOrigin_Current = 1, SeekOrigin_End = 2 };

const StreamOps* File_GetFileStreamOps();
const StreamOps* File_GetMemStreamOps();
// Fills the two shared tables (called by File_Initialize; harmless when repeated).
void File_StreamOps_Setup();

MemStream* File_MemStream_Open(const void* data, uint32_t size);
int File_MemStream_Close(void* stream);
int64_t File_MemStream_Tell(void* stream);
int File_MemStream_Seek(void* stream, int64_t offset, int origin);
uint32_t File_MemStream_Read(void* buffer, uint32_t elementSize, uint32_t count, void* stream);
int File_MemStream_Eof(void* stream);
int File_MemStream_IdleCheck(void* stream);

} // namespace Vantrel
