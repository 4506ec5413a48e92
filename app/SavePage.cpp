// The save sub-page: the name field, the save and start-up buttons and the log panel.
// Stands on SettingFiles, the library's key-input fields, LoadPage's log, TextWrap and the drawing helpers.
#include "app/SavePage.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "app/TextWrap.h"
#include "font/VtFontDraw.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsScreen.h"
#include "image/VtBaseImageStart.h"
#include "system/VtKeyInput.h"

namespace Qelvar {

using namespace Vantrel;

const char* const DefaultSaveName = "新規セーブデータ.save";
SavePageRecord SavePage;

namespace {

bool SavePage_IsRefusedName(const char* name)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
        if (IsLeadByte(*p) && p[1] != 0) {
            ++p;  // the trail byte of a two-byte character may be 0x5C or 0x7C; it is no separator
            continue;
        }
        if (*p < 0x20 || std::strchr("/\\:*?\"<>|", *p) != nullptr) return true;
        if (*p == '.' && p[1] == '.') return true;
    }
    return false;
}

void SavePage_DrawNameBox()
{
    const SavePageRecord& page = SavePage;
    if (page.InputActive == 0)
        DrawFormattedText(page.NameBox.X + 20, page.NameBox.Y + 7, ColorLight, "%s", page.Name);
    else
        DrawKeyInputText(page.NameBox.X + 20, page.NameBox.Y + 7, page.NameInput, 1);
}

bool SavePage_ReleaseInNameBox()
{
    const MouseClickStateRecord& click = MouseClickState;
    return click.ReleaseEvent &&
           IsInsideRect(SavePage.NameBox, click.ReleaseX, click.ReleaseY, ScreenLayers.PageRect.X, ScreenLayers.PageRect.Y);
}

}  // namespace

void MakeSaveName(char* name)
{
    const char* extension = std::strstr(name, ".save");
    if (name[0] == '\0' || extension == name || SavePage_IsRefusedName(name)) {
        std::strcpy(name, DefaultSaveName);
        return;
    }
    // Only names ending in ".save" are found by the load page.
    const size_t length = std::strlen(name);
    if (length >= 5 && std::strcmp(name + length - 5, ".save") == 0) return;
    size_t keep = length;
    if (keep > SaveNameBytes - 6) keep = SaveNameBytes - 6;
    if (keep > 0 && keep < length) {
        // Never split a two-byte character.
        size_t at = 0;
        while (at < keep) at += IsLeadByte(static_cast<unsigned char>(name[at])) ? 2 : 1;
        if (at > keep) keep = at - 2;
    }
    std::strcpy(name + keep, ".save");
}

void SavePage_StaticInit()
{
    SavePageRecord& page = SavePage;
    page.NameInput = -1;
    page.InputActive = 0;
    std::strcpy(page.Name, DefaultSaveName);
    page.LogBackground = page.LogLayer = -1;
    page.Log.Log.clear();
    page.Log.WrappedLog.clear();
    page.Log.Font = DefaultFontHandle;
    page.Frame = {110, 10, 620, 540};
    page.NameBox = {160, 400, 520, 30};
    page.SaveButton = {160, 440, 255, 50};
    page.StartupButton = {425, 440, 255, 50};
    page.LogCaption = {160, 60, 520, 30};
    page.LogRect = {160, 90, 520, 300};
    page.Log.Width = page.LogRect.Width;
    page.Redraw = 1;
}

void PrepareSaveLogBackground()
{
    const SavePageRecord& page = SavePage;
    const ScreenLayersRecord& layers = ScreenLayers;
    SelectDrawScreen(page.LogBackground);
    DrawGraphPart(0, 0, page.LogRect.X, page.LogRect.Y, page.LogRect.Width, page.LogRect.Height, layers.PageBackground,
                  0, 0, 0);
    SetBlendModeAndParam(1, layers.DimAlpha);
    DrawRectangle(0, 0, page.LogRect.Width, page.LogRect.Height, ColorBlack, 1, 1);
    SetBlendModeAndParam(0, 255);
}

void InitSavePage()
{
    SavePageRecord& page = SavePage;
    page.LogBackground = CreateDrawableGraph(page.LogRect.Width, page.LogRect.Height, 1);
    PrepareSaveLogBackground();
    page.LogLayer = CreateDrawableGraph(page.LogRect.Width, page.LogRect.Height, 1);
    page.Log.Font = CreateFontToHandle(PageFontFace, 16, 5, -1, -1, -1, 0, -1);
    page.NameInput = CreateKeyInput(96, 1, 0, 0, 0, 0);
    std::strcpy(page.Name, DefaultSaveName);
    for (int kind = 0; kind <= 22; ++kind) {
        unsigned int color = ColorLight;
        if (kind == 1 || kind == 5 || kind == 8 || kind == 20) color = ColorBlack;
        if (kind == 13 || kind == 18) color = MakeColorCode(0, 0, 100);
        SetKeyInputColor(kind, color);
    }
}

void FinishNameInput()
{
    SavePageRecord& page = SavePage;
    // The field holds at most 96 bytes and its terminator; Name has room for that and ".save".
    if (CopyKeyInputText(page.Name, page.NameInput) != 0) page.Name[0] = '\0';
    page.Name[SaveNameBytes - 1] = '\0';
    MakeSaveName(page.Name);
    ActivateKeyInput(-1);
    page.InputActive = 0;
}

void DrawSavePage()
{
    const SavePageRecord& page = SavePage;
    const ScreenLayersRecord& layers = ScreenLayers;
    SelectDrawScreen(layers.PageLayer);
    DrawGraphAt(page.Frame.X, page.Frame.Y, layers.SubPanel, 0);
    DrawRectangle(page.Frame.X, page.Frame.Y, page.Frame.X + page.Frame.Width, page.Frame.Y + page.Frame.Height,
                  ColorCyan, 0, 1);
    DrawRectangle(page.NameBox.X, page.NameBox.Y, page.NameBox.X + page.NameBox.Width,
                  page.NameBox.Y + page.NameBox.Height, ColorCyan, 0, 1);
    DrawCaptionBox(page.SaveButton.X, page.SaveButton.Y, page.SaveButton.Width, page.SaveButton.Height, "保存",
                   ColorCyan);
    DrawCaptionBox(page.StartupButton.X, page.StartupButton.Y, page.StartupButton.Width, page.StartupButton.Height,
                   "起動時の設定にする", ColorPink);
    SavePage_DrawNameBox();
    SelectDrawScreen(page.LogLayer);
    DrawGraphAt(0, 0, page.LogBackground, 0);
    DrawTextLines(10, page.Log.Font, ColorLight, page.Log.WrappedLog);
    SelectDrawScreen(layers.PageLayer);
    DrawGraphAt(page.LogRect.X, page.LogRect.Y, page.LogLayer, 0);
    DrawCaptionBox(page.LogCaption.X, page.LogCaption.Y, page.LogCaption.Width, page.LogCaption.Height, "ログ",
                   ColorLight);
    DrawRectangle(page.LogRect.X, page.LogRect.Y, page.LogRect.X + page.LogRect.Width,
                  page.LogRect.Y + page.LogRect.Height, ColorLight, 0, 1);
}

int UpdateSavePage()
{
    SavePageRecord& page = SavePage;
    MouseClickStateRecord& click = MouseClickState;
    // 1. A click in the name field starts typing.
    if (page.InputActive == 0 && SavePage_ReleaseInNameBox()) {
        if (page.NameInput != -1 && ActivateKeyInput(page.NameInput) == 0) page.InputActive = 1;
    }
    // 2. Typing: a click elsewhere, Enter or Esc ends it; Esc keeps the typed text too.
    if (page.InputActive == 1) {
        if (GetKeyInputStatus(page.NameInput) == 0 && click.ReleaseEvent && !SavePage_ReleaseInNameBox())
            FinishNameInput();
        page.Redraw = 1;
        const int status = GetKeyInputStatus(page.NameInput);
        if (page.InputActive == 1 && (status == 2 || status == 1)) {
            FinishNameInput();
            page.Redraw = 1;
        }
    }
    // 3. Save under the name.
    if (IsPressInPageRect(page.SaveButton)) {
        click.PressEvent = 0;
        if (page.InputActive == 1 && GetKeyInputStatus(page.NameInput) == 0) FinishNameInput();
        MakeSaveName(page.Name);
        if (!(GetFileAttributesW(L"save") != INVALID_FILE_ATTRIBUTES &&
              (GetFileAttributesW(L"save") & FILE_ATTRIBUTE_DIRECTORY)))
            CreateDirectoryW(L"save", nullptr);
        const std::string path = std::string("save/") + page.Name;
        const SettingFileResult result = WriteSettingFile(path.c_str());
        AppendLog(page.Log, page.Name, SettingFileResultText(result));
        page.Redraw = 1;
    }
    // 4. Save as the start-up settings.
    if (IsPressInPageRect(page.StartupButton)) {
        click.PressEvent = 0;
        const SettingFileResult result = WriteSettingFile("option.data");
        AppendLog(page.Log, "option.data", SettingFileResultText(result));
        page.Redraw = 1;
    }
    RedrawIfMarked(page.Redraw, DrawSavePage);
    return 0;
}

}  // namespace Qelvar
