// Soft images: base images owned by integer handles of type "SoftImage", so that user code can
// keep software images by handle. Stands on the handle manager and the base images.
#pragma once

#include "foundation/VtHandle.h"
#include "image/VtBaseImage.h"

namespace Vantrel {

struct SoftImageRecord {
    HandleHeader Header;
    BaseImage Image;
};

constexpr int SoftImage_MaxCount = 8192;

int SoftImage_Initialize();
int SoftImage_Terminate();
int SoftImage_DeleteAll();
int SoftImage_HandleRecord_Terminate(HandleHeader* record);

}  // namespace Vantrel
