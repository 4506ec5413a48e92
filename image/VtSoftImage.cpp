// Soft images: registers and unregisters the "SoftImage" handle type whose records each own one
// base image. Stands on the handle manager and the base images.
#include "image/VtSoftImage.h"

namespace Vantrel {

static int SoftImageInitialized = 0;

static void SoftImage_HandleRecord_Initialize(HandleHeader*) {}

int SoftImage_HandleRecord_Terminate(HandleHeader* record)
{
    BaseImage_Release(&((SoftImageRecord*)record)->Image);
    return 0;
}

int SoftImage_Initialize()
{
    if (SoftImageInitialized) return -1;
    if (Handle_Type_Setup(HandleType_SoftImage, (int)sizeof(SoftImageRecord), SoftImage_MaxCount,
                          SoftImage_HandleRecord_Initialize, SoftImage_HandleRecord_Terminate, nullptr,
                          L"SoftImage") != 0)
        return -1;
    SoftImageInitialized = 1;
    return 0;
}

int SoftImage_DeleteAll() { return Handle_DeleteAll(HandleType_SoftImage, nullptr); }

int SoftImage_Terminate()
{
    if (!SoftImageInitialized) return -1;
    SoftImageInitialized = 0;
    return Handle_Type_Shutdown(HandleType_SoftImage);
}

}  // namespace Vantrel
