// The image module's start and stop and the lookup tables it builds at start: clamp, YUV terms,
// alpha multiply and divide. Stands on nothing but the tables themselves.
#include "image/VtBaseImageStart.h"
#include "image/VtImageLoad.h"

#include <emmintrin.h>

namespace Vantrel {

uint8_t BaseImage_ClampTableStorage[1280];
BaseImageYuvTables BaseImage_YuvTables;
uint8_t AlphaMulTable[256][256];
uint8_t AlphaDivTable[256][256];

static int BaseImageModuleInitialized = 0;
static int BaseImageTablesBuilt = 0;

static void BaseImage_BuildClampTable()
{
    // Four entries at a time: the 32-bit lanes are packed down with saturation to 0..255.
    for (int i = -512; i < 768; i += 4) {
        const __m128i values = _mm_setr_epi32(i, i + 1, i + 2, i + 3);
        const __m128i words = _mm_packs_epi32(values, values);
        const __m128i bytes = _mm_packus_epi16(words, words);
        const int packed = _mm_cvtsi128_si32(bytes);
        __builtin_memcpy(&BaseImage_ClampTable[i], &packed, 4);
    }
}

static void BaseImage_BuildTables()
{
    BaseImage_BuildClampTable();
    for (int k = 0; k < 256; k++) {
        BaseImage_YuvTables.Y[k] = 19070 * (k - 16);
        BaseImage_YuvTables.VToRed[k] = 26148 * (k - 128);
        BaseImage_YuvTables.UToGreen[k] = -6406 * (k - 128);
        BaseImage_YuvTables.VToGreen[k] = -13320 * (k - 128);
        BaseImage_YuvTables.UToBlue[k] = 33062 * (k - 128);
    }
    for (int i = 0; i < 256; i++) {
        for (int j = 0; j < 256; j++) {
            AlphaMulTable[i][j] = (uint8_t)(i * j / 255);
            const int divided = j == 0 ? 0 : i * 255 / j;
            AlphaDivTable[i][j] = (uint8_t)(divided > 255 ? 255 : divided);
        }
    }
    BaseImageTablesBuilt = 1;
}

void BaseImage_EnsureTables()
{
    if (!BaseImageTablesBuilt) BaseImage_BuildTables();
}

int BaseImage_Initialize()
{
    if (BaseImageModuleInitialized) return -1;
    BaseImage_Platform_Initialize();
    BaseImage_BuildTables();
    BaseImageModuleInitialized = 1;
    return 0;
}

int BaseImage_Terminate()
{
    if (!BaseImageModuleInitialized) return -1;
    BaseImage_Platform_Terminate();
    BaseImageModuleInitialized = 0;
    return 0;
}

int BaseImage_IsInitialized() { return BaseImageModuleInitialized; }

}  // namespace Vantrel
