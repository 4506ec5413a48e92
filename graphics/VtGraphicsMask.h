// Mask screens: the use switch the draw-target changes save and restore, and the module start and
// end run by the graphics module. No mask screen is made yet.
// Stands on nothing.
#pragma once

namespace Vantrel {

int SetMaskScreenUse(int flag);
int GetMaskScreenUseFlag();
int Mask_ModuleInitialize();
int Mask_ModuleTerminate();

}  // namespace Vantrel
