// Mask screens: the use switch and the module start and end; no mask screen exists yet.
// Stands on nothing.
#include "graphics/VtGraphicsMask.h"

namespace Vantrel {

namespace {

int MaskScreenUse = 0;

}  // namespace

int SetMaskScreenUse(int flag) {
    MaskScreenUse = flag;
    return 0;
}

int GetMaskScreenUseFlag() { return MaskScreenUse; }

int Mask_ModuleInitialize() {
    MaskScreenUse = 1;
    return 0;
}

int Mask_ModuleTerminate() { return 0; }

}  // namespace Vantrel
