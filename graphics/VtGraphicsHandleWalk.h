// The walk over every live record of one handle type that the device back-ends run when they release or
// make again the device objects of all graphs, shadow maps, buffers and shaders.
// Stands on the handle manager.
#pragma once

#include "foundation/VtHandle.h"

namespace Vantrel {

// Calls `visit` with every live record of a handle type, its pending load finished first.
template <typename Record, typename Visit>
void Graphics_ForEachHandleRecord(int type, Visit visit) {
    HandleManager& manager = HandleManagerTable[type];
    if (!manager.Initialized || manager.Slots == nullptr) return;
    for (int slot = manager.LowestUsed; slot <= manager.HighestUsed && slot < manager.MaxCount; ++slot) {
        Record* record = reinterpret_cast<Record*>(manager.Slots[slot]);
        if (record == nullptr) continue;
        if (record->Header.ASyncLoadCount > 0) Handle_ASyncLoad_Wait(record->Header.Handle);
        visit(record);
    }
}

}  // namespace Vantrel
