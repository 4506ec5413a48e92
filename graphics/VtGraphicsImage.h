// Graph handles and their shared full images. For now the records hold only what their handle type
// needs to exist (no graph is created yet), with the callbacks the graphics module registers and the
// default reloader used after a device loss.
// Stands on the handle manager.
#pragma once

#include "foundation/VtHandle.h"

namespace Vantrel {

struct GraphOrigRecord;

struct GraphHandleRecord {
    HandleHeader Header;
    GraphOrigRecord* Orig;
    int Width;
    int Height;
};

int Graphics_Image_HandleRecord_Terminate(HandleHeader* record);
int Graphics_Image_HandleRecord_Dump(HandleHeader* record);
// Keep filter of the module end and of screen-mode changes: non-zero keeps the graph.
int Graphics_Image_HandleFilter_ModeChange(HandleHeader* record);
// The default graph reloader after a device loss.
void Graphics_Image_RestoreFromSourceInfo();

}  // namespace Vantrel
