// The image module's start and stop: the lookup tables shared by colour conversion, the graph
// filters and movie decoding (clamp, YUV, alpha multiply and divide). Also brings in the base
// images and soft images that callers of the module reach through this header.
#pragma once

#include <cstdint>

#include "image/VtBaseImage.h"
#include "image/VtSoftImage.h"

namespace Vantrel {

// clamp(i, 0, 255) for i from -512 to 767: index BaseImage_ClampTable[i].
extern uint8_t BaseImage_ClampTableStorage[1280];
constexpr uint8_t* const BaseImage_ClampTable = BaseImage_ClampTableStorage + 512;

// Video-range BT.601 terms scaled by 2^14, indexed by the 8-bit sample.
struct BaseImageYuvTables {
    int32_t Y[256];          // 19070 x (k - 16)
    int32_t VToRed[256];     // 26148 x (k - 128)
    int32_t UToGreen[256];   // -6406 x (k - 128)
    int32_t VToGreen[256];   // -13320 x (k - 128)
    int32_t UToBlue[256];    // 33062 x (k - 128)
};
extern BaseImageYuvTables BaseImage_YuvTables;

// AlphaMulTable[i][j] = i x j / 255; AlphaDivTable[i][j] = min(i x 255 / j, 255), 0 for j = 0.
extern uint8_t AlphaMulTable[256][256];
extern uint8_t AlphaDivTable[256][256];

int BaseImage_Initialize();
int BaseImage_Terminate();
int BaseImage_IsInitialized();
// Builds the tables when no start has built them yet (for users that run before the module).
void BaseImage_EnsureTables();

}  // namespace Vantrel
