// The Live2D module: without Live2DCubismCore.dll the library starts as ever and nothing of the module
// stays behind; with our own stand-in core (built beside this program in live2d_core_full and
// live2d_core_partial) every entry point is found, its versions read, and loading and unloading leave
// no memory and no module behind; a partial core is refused with its message. The framework's
// string (hash, storage, copies) and the JSON values' shared statics.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "../fakes/live2d_core/FakeCoreFolder.h"
#include "DrawTargetFixture.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "graphics/VtLive2DCubism4.h"
#include "graphics/VtLive2DFramework.h"
#include "graphics/VtGraphicsDraw.h"
#include "image/VtBaseImage.h"
#include "tools/VtaEncode.h"

using namespace Vantrel;
using namespace WindowTest;
using DrawTargetTesting::NoDeviceTest;

namespace {

bool CoreLoadedInProcess() { return GetModuleHandleW(L"Live2DCubismCore.dll") != nullptr; }

class Live2DTest : public NoDeviceTest {};

}  // namespace

TEST_F(Live2DTest, WithoutTheCoreTheLibraryStartsAndTheModuleLeavesNothing) {
    // The library start ran the module: no core, so it failed silently and undid itself.
    EXPECT_EQ(Live2DModuleState.Started, 0);
    EXPECT_EQ(Live2DModuleState.Core, nullptr);
    EXPECT_FALSE(HandleManagerTable[HandleType_Live2DModel].Initialized);
    EXPECT_EQ(Live2DModuleState.IdManager, nullptr);
    EXPECT_EQ(Live2DJson.Error, nullptr);
    EXPECT_EQ(ReadLog().find("Live2D"), std::string::npos);

    const int32_t blocks = Memory_GetBlockCount();
    EXPECT_EQ(Live2D_ModuleInitialize(), -1);
    EXPECT_EQ(Live2D_Platform_LoadCore(), -1);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
    EXPECT_FALSE(HandleManagerTable[HandleType_Live2DModel].Initialized);
    EXPECT_EQ(ReadLog().find("Live2D"), std::string::npos);
    // The library runs on: a draw still works.
    EXPECT_EQ(DrawFilledRectangle(0, 0, 8, 8, MakeColorCode(1, 2, 3)), 0);
}

TEST_F(Live2DTest, TheStandInCoreHasEveryEntryPointItsVersionsAndUnloadsCleanly) {
    FakeCoreFolder folder("full");
    const int32_t blocks = Memory_GetBlockCount();
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(Live2D_Platform_LoadCore(), 0);
        ASSERT_TRUE(CoreLoadedInProcess());
        EXPECT_EQ(Live2D_Platform_LoadCore(), 0) << "a loaded core is kept";
        for (int i = 0; i < Live2D_CoreEntryCount; ++i)
            EXPECT_NE(Live2DModuleState.CoreEntries[i], nullptr) << Live2D_CoreEntryName(i);
        EXPECT_STREQ(Live2D_CoreEntryName(0), "csmGetVersion");
        EXPECT_STREQ(Live2D_CoreEntryName(42), "csmResetDrawableDynamicFlags");
        typedef uint32_t (*VersionFunction)();
        EXPECT_EQ(reinterpret_cast<VersionFunction>(Live2DModuleState.CoreEntries[0])(), 0x05000100u);
        EXPECT_EQ(reinterpret_cast<VersionFunction>(Live2DModuleState.CoreEntries[1])(), 5u);
        EXPECT_EQ(Live2D_Platform_Terminate(), 0);
        EXPECT_FALSE(CoreLoadedInProcess());
        for (void* entry : Live2DModuleState.CoreEntries) EXPECT_EQ(entry, nullptr);
    }
    EXPECT_NE(LogFind(ReadLog(), u8"Live2DCubismCore.dll の読み込みに成功しました"), std::string::npos);

    // The whole start with the core but no device: no shader pack, so it fails and undoes itself.
    EXPECT_EQ(Live2D_ModuleInitialize(), -1);
    EXPECT_EQ(Live2DModuleState.Started, 0);
    EXPECT_FALSE(CoreLoadedInProcess());
    EXPECT_FALSE(HandleManagerTable[HandleType_Live2DModel].Initialized);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
}

TEST_F(Live2DTest, APartialCoreIsRefusedWithTheMissingEntryAndUnloaded) {
    {
        FakeCoreFolder folder("partial");
        EXPECT_EQ(Live2D_Platform_LoadCore(), -1);
        // The key counts were found under their stdcall name; the check stopped at the multiply colours.
        EXPECT_NE(Live2DModuleState.CoreEntries[18], nullptr);
        EXPECT_NE(LogFind(ReadLog(), u8"Error : Live2D API csmGetDrawableMultiplyColors\t\t\tを取得できませんでした"),
                  std::string::npos);
        Live2D_Platform_Terminate();
        EXPECT_FALSE(CoreLoadedInProcess());
    }
    // A later start loads a whole core again.
    FakeCoreFolder folder("full");
    EXPECT_EQ(Live2D_Platform_LoadCore(), 0);
    Live2D_Platform_Terminate();
}

TEST_F(Live2DTest, ShaderPacksAreDecodedIntoTheirOwnBlockAndBadTextIsRefused) {
    int32_t decoded = 0;
    const int32_t blocks = Memory_GetBlockCount();
    static const char Garbage[] = "AAAAAA";       // a size of 0
    EXPECT_EQ(Live2D_ShaderPack_Open(&decoded, Garbage), -1);
    static const char Huge[] = "/////w==";        // a size far beyond the text
    EXPECT_EQ(Live2D_ShaderPack_Open(&decoded, Huge), -1);
    EXPECT_EQ(Live2D_ShaderPack_Open(&decoded, ""), -1);
    EXPECT_EQ(decoded, 1);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
}

TEST_F(Live2DTest, APackIsExpandedAndOpenedWithoutTouchingItsText) {
    VtaPack::FileSpec file;
    file.Path = "Live2D/Mask.pso";
    file.Data = VtaPack::Bytes(300, 0x5A);
    const VtaPack::Bytes archive = VtaPack::BuildArchive({file}, VtaPack::Options());
    const VtaPack::Bytes packed = VtaPack::LzPack(archive.data(), archive.size());
    const std::string text = VtaPack::Base64Encode(packed.data(), packed.size());
    const std::string pristine = text;
    const int32_t blocks = Memory_GetBlockCount();

    int32_t decoded = 0;
    ASSERT_EQ(Live2D_ShaderPack_Open(&decoded, text.c_str()), 0);
    EXPECT_EQ(decoded, 1);
    EXPECT_EQ(text, pristine);
    uint64_t offset = 0, size = 0;
    EXPECT_EQ(Archive_LocateFile(&Live2DModuleState.ShaderPack, 932, "live2d/mask.pso", &offset, &size), 0);
    EXPECT_EQ(size, 300u);
    // A truncated text is refused and leaves nothing behind.
    EXPECT_EQ(Live2D_ModuleTerminate(), 0);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
    const std::string cut = text.substr(0, text.size() / 2);
    EXPECT_EQ(Live2D_ShaderPack_Open(&decoded, cut.c_str()), -1);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
}

TEST(Live2DFrameworkTest, StringsHashStoreAndCopyTheirOwnText) {
    const int32_t blocks = Memory_GetBlockCount();
    {
        D_csmString abc("abc");
        EXPECT_EQ(abc.GetHash(), 98274);
        EXPECT_EQ(D_csmString().GetHash(), 0);
        EXPECT_TRUE(abc.Equals("abc"));
        EXPECT_FALSE(abc.Equals("abd"));

        const std::string longText(100, 'x');
        D_csmString a(longText.c_str());
        D_csmString b("short");
        b = a;                                    // each keeps a block of its own
        EXPECT_NE(a.GetRawString(), b.GetRawString());
        EXPECT_TRUE(b.Equals(a));
        a = "other";
        EXPECT_STREQ(b.GetRawString(), longText.c_str());
        D_csmString c(b);
        c = c;
        EXPECT_TRUE(c.Equals(longText.c_str()));
        const uint16_t* wide = c.GetWideString();
        EXPECT_EQ(wide[0], u'x');
        EXPECT_EQ(wide[99], u'x');
        EXPECT_EQ(wide[100], 0);
        D_csmString japanese(reinterpret_cast<const char*>(u8"日本"));
        EXPECT_EQ(japanese.GetWideString()[0], u'日');
    }
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
}

TEST(Live2DFrameworkTest, JsonStaticsAnswerAsTheirKinds) {
    const int32_t blocks = Memory_GetBlockCount();
    ASSERT_EQ(Live2D_Json_CreateStatics(), 0);
    EXPECT_STREQ(Live2DJson.True->GetRawString(), "true");
    EXPECT_STREQ(Live2DJson.False->GetRawString(), "false");
    EXPECT_TRUE(Live2DJson.True->ToBoolean(false));
    EXPECT_TRUE(Live2DJson.Error->IsError());
    EXPECT_TRUE(Live2DJson.Error->IsString());
    EXPECT_TRUE(Live2DJson.Error->IsStatic());
    EXPECT_TRUE(Live2DJson.Null->IsNull());
    EXPECT_EQ(Live2DJson.Null->ToInt(7), 7);
    D_JsonValue& element = (*Live2DJson.Null)["key"];
    EXPECT_EQ(&element, Live2DJson.Error);
    EXPECT_STREQ(element.GetRawString(), "D_JsonError:type mismatch");
    EXPECT_EQ(Live2DJson.Null->GetKeys().GetSize(), 0);
    Live2D_Json_ReleaseStatics();
    EXPECT_EQ(Live2DJson.True, nullptr);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);

    Live2DIdManager* ids = Live2D_IdManager_Create();
    ASSERT_NE(ids, nullptr);
    ids->Ids[0] = Live2D_New<D_csmString>("ParamAngleX");
    ids->Count = 1;
    Live2D_IdManager_Delete(ids);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
}
