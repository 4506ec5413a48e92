// The device selection page: tiles for pads 1 to 4, the chosen pad's names and read mode.
// Stands on AppMain (layers, colours, click state), PadReading and the input front end's pad names.
#include "app/DevicePage.h"

#include <cstring>

#include "app/PadReading.h"
#include "font/VtFontDraw.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsScreen.h"
#include "system/VtInput.h"

namespace Qelvar {

using namespace Vantrel;

DevicePageRecord DevicePage = {
    {0, 10, 730, 540}, {{150, 160, 100, 100}, {260, 160, 100, 100}, {370, 160, 100, 100}, {480, 160, 100, 100}},
    -1, 1};

namespace {
constexpr int PadNameBytes = 256;
}

void DevicePage_Setup()
{
    DevicePage.Frame = {0, 10, 730, 540};
    DevicePage.PadTile[0] = {150, 160, 100, 100};
    DevicePage.PadTile[1] = {260, 160, 100, 100};
    DevicePage.PadTile[2] = {370, 160, 100, 100};
    DevicePage.PadTile[3] = {480, 160, 100, 100};
    DevicePage.Redraw = 1;
    DevicePage.PageFont = CreateFontToHandle(PageFontFace, 30, 5, -1, -1, -1, 0, -1);
}

int UpdateDevicePage()
{
    if (PadCount > 0) {
        for (int32_t k = 1; k <= 4 && PadCount > k - 1; ++k) {
            if (IsPressInPageRect(DevicePage.PadTile[k - 1])) {
                MouseClickState.PressEvent = 0;
                SelectedPad = k;
                DevicePage.Redraw = 1;
            }
        }
    }
    if (DevicePage.Redraw == 1) {
        ReadPadState();
        DrawDevicePage();
        DevicePage.Redraw = 0;
        ScreenLayers.LayersChanged = 1;
    }
    return 0;
}

void DrawDevicePage()
{
    const DevicePageRecord& page = DevicePage;
    const ScreenLayersRecord& layers = ScreenLayers;
    SelectDrawScreen(layers.PageLayer);
    DrawGraphAt(0, 0, layers.PageBackground, 0);
    DrawGraphAt(0, 10, layers.Panel, 1);
    DrawRectangle(page.Frame.X, page.Frame.Y, page.Frame.X + page.Frame.Width, page.Frame.Y + page.Frame.Height,
                  ColorCyan, 0, 1);
    const int32_t left = page.PadTile[0].X;
    DrawFormattedText(left, 110, ColorLight, "%s", "使用するゲームパッドを選択してください。");
    for (int32_t k = 1; k <= 4; ++k) {
        const Rect& tile = page.PadTile[k - 1];
        const bool selected = SelectedPad == k;
        const bool present = PadCount > k - 1;
        const unsigned int color = selected ? ColorCyan : present ? ColorLight : ColorGrey;
        DrawRectangle(tile.X, tile.Y, tile.X + tile.Width, tile.Y + tile.Height, color, 0, 1);
        DrawFormattedTextToHandle(tile.X + 42, tile.Y + 20, color, page.PageFont, "%d", k);
        DrawFormattedText(tile.X + 16, tile.Y + 60, color, "%s", selected || present ? "接続有り" : "接続無し");
    }
    if (SelectedPad > 0) {
        char device[PadNameBytes];
        char product[PadNameBytes];
        memset(device, 0, sizeof(device));
        memset(product, 0, sizeof(product));
        if (GetPadNamesBounded(SelectedPad, device, sizeof(device), product, sizeof(product)) == 0) {
            DrawFormattedText(left, 310, ColorCyan, "デバイス登録名 : %s", device);
            DrawFormattedText(left, 340, ColorCyan, "製品登録名  　 : %s", product);
            DrawFormattedText(left, 370, ColorCyan, "%s",
                              SelectedIsXInput ? "読み込み形式　 : Xinput" : "読み込み形式　 : Directinput");
        }
    } else {
        DrawFormattedText(left, 310, ColorPink, "%s", "注意：");
        DrawFormattedText(left, 330, ColorPink, "%s", "ゲームパッドを認識できませんでした。");
        DrawFormattedText(left, 350, ColorPink, "%s", "接続を確認した後、本ソフトを再起動して下さい。");
    }
}

}  // namespace Qelvar
