// The image module's start and stop with its lookup tables, and the soft-image handle type.
#include <gtest/gtest.h>

#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "image/VtBaseImageStart.h"

using namespace Vantrel;

TEST(ImageModuleTest, StartStopAndTables)
{
    ASSERT_EQ(0, BaseImage_Initialize());
    EXPECT_EQ(-1, BaseImage_Initialize());
    EXPECT_EQ(1, BaseImage_IsInitialized());

    EXPECT_EQ(0, BaseImage_ClampTable[-512]);
    EXPECT_EQ(0, BaseImage_ClampTable[-1]);
    EXPECT_EQ(0, BaseImage_ClampTable[0]);
    EXPECT_EQ(100, BaseImage_ClampTable[100]);
    EXPECT_EQ(255, BaseImage_ClampTable[255]);
    EXPECT_EQ(255, BaseImage_ClampTable[256]);
    EXPECT_EQ(255, BaseImage_ClampTable[767]);
    for (int i = -512; i < 768; i++) ASSERT_EQ(i < 0 ? 0 : i > 255 ? 255 : i, BaseImage_ClampTable[i]) << i;

    EXPECT_EQ(255, AlphaMulTable[255][255]);
    EXPECT_EQ(128, AlphaMulTable[128][255]);
    EXPECT_EQ(0, AlphaMulTable[1][254]);
    EXPECT_EQ(128, AlphaDivTable[128][255]);
    EXPECT_EQ(255, AlphaDivTable[200][100]);
    EXPECT_EQ(0, AlphaDivTable[5][0]);
    EXPECT_EQ(50 * 255 / 100, AlphaDivTable[50][100]);

    EXPECT_EQ(0, BaseImage_YuvTables.Y[16]);
    EXPECT_EQ(219 * 19070, BaseImage_YuvTables.Y[235]);
    EXPECT_EQ(0, BaseImage_YuvTables.UToBlue[128]);
    EXPECT_EQ(-128 * 26148, BaseImage_YuvTables.VToRed[0]);
    EXPECT_EQ(127 * -13320, BaseImage_YuvTables.VToGreen[255]);
    // The video-range rule through the tables: Y 235 with neutral chroma is 219 x 1.164, just
    // short of 255; Y 16 is black.
    EXPECT_EQ(254, BaseImage_ClampTable[(BaseImage_YuvTables.Y[235] + BaseImage_YuvTables.VToRed[128]) >> 14]);
    EXPECT_EQ(0, BaseImage_ClampTable[(BaseImage_YuvTables.Y[16] + BaseImage_YuvTables.UToBlue[128]) >> 14]);

    EXPECT_EQ(0, BaseImage_Terminate());
    EXPECT_EQ(-1, BaseImage_Terminate());
    EXPECT_EQ(255, AlphaMulTable[255][255]);   // the tables stay
}

TEST(ImageModuleTest, SoftImageHandles)
{
    EXPECT_EQ(-1, SoftImage_Terminate());
    const int32_t start = Memory_GetBlockCount();
    ASSERT_EQ(0, SoftImage_Initialize());
    EXPECT_EQ(-1, SoftImage_Initialize());
    EXPECT_EQ(8192, HandleManagerTable[HandleType_SoftImage].MaxCount);

    const int32_t blocks = Memory_GetBlockCount();
    HandleValue handles[3];
    for (HandleValue& h : handles) {
        h = Handle_New(HandleType_SoftImage, 0, -1);
        ASSERT_NE(-1, h);
        SoftImageRecord* record = (SoftImageRecord*)Handle_GetRecord(h);
        ASSERT_NE(nullptr, record);
        ASSERT_EQ(0, BaseImage_CreateARGB8(16, 16, &record->Image));
    }
    EXPECT_EQ(blocks + 6, Memory_GetBlockCount());   // three records, three pixel buffers
    // Deleting one handle releases its image; deleting all releases the rest.
    EXPECT_EQ(0, Handle_DeleteNow(handles[0]));
    EXPECT_EQ(blocks + 4, Memory_GetBlockCount());
    SoftImage_DeleteAll();
    EXPECT_EQ(blocks, Memory_GetBlockCount());
    EXPECT_EQ(nullptr, Handle_GetRecord(handles[1]));

    // Stopping deletes what is left.
    const HandleValue last = Handle_New(HandleType_SoftImage, 0, -1);
    ASSERT_EQ(0, BaseImage_CreateXRGB8(4, 4, &((SoftImageRecord*)Handle_GetRecord(last))->Image));
    EXPECT_EQ(0, SoftImage_Terminate());
    EXPECT_EQ(-1, SoftImage_Terminate());
    EXPECT_EQ(start, Memory_GetBlockCount());
}
