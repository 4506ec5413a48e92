// Graph handles: the callbacks of the Graph handle type and the default reloader. No graph owns
// device or memory images yet, so ending a graph releases nothing and nothing is reloaded.
// Stands on the handle manager.
#include "graphics/VtGraphicsImage.h"

namespace Vantrel {

int Graphics_Image_HandleRecord_Terminate(HandleHeader* record) { return 0; }

int Graphics_Image_HandleRecord_Dump(HandleHeader* record) { return 0; }

int Graphics_Image_HandleFilter_ModeChange(HandleHeader* record) { return 0; }

void Graphics_Image_RestoreFromSourceInfo() {}

}  // namespace Vantrel
