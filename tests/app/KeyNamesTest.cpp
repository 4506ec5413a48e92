// Key names: captions by virtual-key code, the DirectInput-to-virtual-key conversion under the
// system's layout, the capture list, and the cp932 captions of the mouse buttons.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <set>
#include <string>

#include "app/InputInjection.h"
#include "app/KeyNames.h"

namespace QelvarTest {
namespace {

using namespace Qelvar;

TEST(KeyNames, CaptionsOfStoredKeyCodes)
{
    BuildKeyNames();
    const struct {
        int Code;
        int VirtualKey;
        const char* Caption;
    } cases[] = {
        {0x11, 0x57, "W"}, {0x1E, 0x41, "A"}, {0xC8, 0x26, "UP"}, {0xCB, 0x25, "LEFT"}, {0xD3, 0x2E, "Del"},
        {0x52, 0x60, "NUM 0"}, {0x4C, 0x65, "NUM 5"}, {0x9C, 0x0D, "Enter"}, {0x9D, 0x11, "Ctrl"},
        {0xC5, 0x13, "Pause"}, {0x02, 0x31, "KEY 1"}, {0x3B, 0x70, "F1"}, {0x01, 0x1B, "Esc"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScanCodeToVirtualKey(c.Code), c.VirtualKey) << std::hex << c.Code;
        EXPECT_STREQ(KeyCaption(c.Code), c.Caption) << std::hex << c.Code;
    }
    // Codes without a fixed entry follow the layout, the keypad point among them.
    EXPECT_EQ(ScanCodeToVirtualKey(0x53), static_cast<int>(MapVirtualKeyA(0x53, MAPVK_VSC_TO_VK)));
}

TEST(KeyNames, TableEntries)
{
    BuildKeyNames();
    const auto& names = KeyNameTable.Names;
    EXPECT_STREQ(names[5], "5");
    EXPECT_STREQ(names[499], "499");
    EXPECT_STREQ(names[0x5A], "Z");
    EXPECT_STREQ(names[0x87], "F24");
    EXPECT_STREQ(names[0x39], "KEY 9");
    EXPECT_STREQ(names[0x69], "NUM 9");
    EXPECT_STREQ(names[0xDB], " [ ");
    EXPECT_STREQ(names[0xDC], "\\");
    EXPECT_STREQ(names[0xE2], " _ ");
    // cp932 captions: "無変換" and "カタカナ".
    EXPECT_STREQ(names[0x1D], "\x96\xb3\x95\xcf\x8a\xb7");
    EXPECT_STREQ(names[0x11A], "\x83\x4a\x83\x5e\x83\x4a\x83\x69");
    EXPECT_STREQ(names[0x5D], "\x83\x41\x83\x76\x83\x8a\x83\x50\x81\x5b\x83\x56\x83\x87\x83\x93");
}

TEST(KeyNames, CaptureListAndMouseButtons)
{
    PressedKeyTable[0x11] = 1;
    KeyNameTable.CapturedKey = 0x11;
    BuildKeyNames();
    EXPECT_EQ(PressedKeyTable[0x11], 0);
    EXPECT_EQ(KeyNameTable.CapturedKey, 0);
    std::set<int32_t> distinct(KeyNameTable.CaptureList, KeyNameTable.CaptureList + CaptureListCount);
    EXPECT_EQ(distinct.size(), 100u);
    EXPECT_EQ(KeyNameTable.CaptureList[0], 0x0E);
    EXPECT_EQ(KeyNameTable.CaptureList[64], 0x1E);  // A first of the letters
    EXPECT_EQ(KeyNameTable.CaptureList[99], 0x0A);

    BuildMouseButtonNames();
    EXPECT_STREQ(MouseButtonNames[0], "NULL");
    EXPECT_STREQ(MouseButtonNames[1], "\x8d\xb6\xb8\xd8\xaf\xb8");  // "左ｸﾘｯｸ"
    EXPECT_STREQ(MouseButtonNames[2], "\x92\x86\xb8\xd8\xaf\xb8");  // "中ｸﾘｯｸ"
    EXPECT_STREQ(MouseButtonNames[3], "\x89\x45\xb8\xd8\xaf\xb8");  // "右ｸﾘｯｸ"
}

}  // namespace
}  // namespace QelvarTest
