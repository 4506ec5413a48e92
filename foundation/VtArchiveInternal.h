// Helpers shared by the archive reader, archive streams and archive-aware file access (not part of
// the library's interface). Stands on VtArchive.
#pragma once
#include <cstdint>
#include "foundation/VtArchive.h"

namespace Vantrel {

uint32_t Archive_UnitSize(int32_t codePage);
uint32_t Archive_UnitValue(int32_t codePage, const uint8_t* p);
uint32_t Archive_CharBytes(int32_t codePage, const uint8_t* p, uint64_t room);
uint64_t Archive_TextBytes(int32_t codePage, const uint8_t* p, uint64_t limit);
void Archive_LogDamaged(const ArchiveContext* context);
ArchiveFileEntry* Archive_EntryAt(ArchiveContext* context, uint64_t fileTableOffset);
ArchiveDirEntry* Archive_DirAt(ArchiveContext* context, uint64_t dirTableOffset);
const uint8_t* Archive_NameAt(ArchiveContext* context, uint64_t nameOffset);
const uint8_t* Archive_NameUpper(const uint8_t* name);
const uint8_t* Archive_NameOriginal(const uint8_t* name);
// Waits (yielding) until a whole-file load of the context has finished.
void Archive_FinishLoad(ArchiveContext* context);

} // namespace Vantrel
