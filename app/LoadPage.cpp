// The load sub-page: scanning "save" into a bounded list, the list with its scroll bar and
// selection, loading and deleting files, and the log panel both the load and save pages keep.
// Stands on SettingFiles, the drawing helpers, TextWrap and the graphics and font services.
#include "app/LoadPage.h"

#include <windows.h>

#include <cstring>

#include "app/TextWrap.h"
#include "font/VtFontDraw.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsScreen.h"

namespace Qelvar {

using namespace Vantrel;

LoadPageRecord LoadPage;

namespace {

constexpr int RowHeight = 30;

void LoadPage_ComputeScroll(int position)
{
    const Rect& list = LoadPage.ListRect;
    LoadPage.Scroll = ComputeScrollBar(list.X + list.Width, list.Y, list.Height, list.Height,
                                       LoadPage.FileCount * RowHeight, position, LoadPage.Scroll.Flag);
}

void LoadPage_ClampSelection()
{
    if (LoadPage.Selected >= LoadPage.FileCount) LoadPage.Selected = LoadPage.FileCount - 1;
    if (LoadPage.Selected < 0 || LoadPage.FileCount == 0) LoadPage.Selected = 0;
}

bool LoadPage_SaveFolderExists()
{
    const DWORD attributes = GetFileAttributesW(L"save");
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void LoadPage_DrawTwoLineButton(const Rect& button, const char* second, int secondX, unsigned int color)
{
    DrawRectangle(button.X, button.Y, button.X + button.Width, button.Y + button.Height, color, 0, 1);
    DrawFormattedText(button.X + 15, button.Y + 5, color, "%s", "初期設定");
    DrawFormattedText(button.X + secondX, button.Y + 25, color, "%s", second);
}

}  // namespace

const char* SettingFileResultText(SettingFileResult result)
{
    switch (result) {
    case FileLoaded: return "をロードしました。\n";
    case FileNotFound: return "のファイルが見つかりません\n";  // gone since the list was read
    case FileVersionMismatch: return "はファイルのバージョンが合わないため読み込めません。\n";
    case FileSaved: return "をセーブしました。\n";
    case FileWriteFailed: return "ファイルの書き込みに失敗しました。\n";
    case FileOpenFailed:
    case FileDamaged:
    default: return "のロードに失敗しました。\n";
    }
}

void AppendLog(LogPanel& panel, const char* name, const char* text)
{
    std::string message = name != nullptr ? name : "";
    message += text;
    panel.Log.insert(0, message);
    panel.WrappedLog = WrapText(panel.Font, panel.Log, panel.Width - 20);
}

void LoadPage_StaticInit()
{
    LoadPageRecord& page = LoadPage;
    page.Frame = {110, 10, 620, 540};
    page.FileCaption = {120, 20, 380, 30};
    page.ListRect = {120, 50, 360, 490};
    page.LogCaption = {510, 20, 210, 30};
    page.LogRect = {510, 50, 210, 370};
    page.StartupLoadButton = {510, 430, 100, 50};
    page.StartupDeleteButton = {620, 430, 100, 50};
    page.LoadButton = {510, 490, 100, 50};
    page.DeleteButton = {620, 490, 100, 50};
    page.Scroll = {};
    page.Selected = 0;
    page.ListLayer = page.ListBackground = page.LogLayer = page.LogBackground = -1;
    page.Log.Log.clear();
    page.Log.WrappedLog.clear();
    page.Log.Font = DefaultFontHandle;
    page.Log.Width = page.LogRect.Width;
    page.Redraw = 1;
    ScanSaveFolder(0);
}

void LoadPage_Setup()
{
    LoadPageRecord& page = LoadPage;
    page.ListLayer = CreateDrawableGraph(page.ListRect.Width, page.ListRect.Height, 0);
    page.ListBackground = CreateDrawableGraph(page.ListRect.Width, page.ListRect.Height, 0);
    page.LogLayer = CreateDrawableGraph(page.LogRect.Width, page.LogRect.Height, 1);
    page.LogBackground = CreateDrawableGraph(page.LogRect.Width, page.LogRect.Height, 1);
    page.Log.Font = CreateFontToHandle(PageFontFace, 16, 5, -1, -1, -1, 0, -1);
    PrepareLoadPageLayers();
}

void ScanSaveFolder(int keepPosition)
{
    LoadPageRecord& page = LoadPage;
    const int oldPosition = page.Scroll.Position;
    page.FileCount = 0;
    if (!LoadPage_SaveFolderExists()) {
        CreateDirectoryW(L"save", nullptr);
        LoadPage_ComputeScroll(0);
        return;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(L"save\\*.save", &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            if (page.FileCount >= SaveListCapacity) break;
            // Names that do not fit or have no cp932 form could not be opened by name: not listed.
            char* name = page.FileNames[page.FileCount];
            BOOL lost = FALSE;
            const int bytes = WideCharToMultiByte(932, 0, found.cFileName, -1, name, SaveNameBytes, nullptr, &lost);
            if (bytes <= 0 || lost) continue;
            ++page.FileCount;
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    LoadPage_ComputeScroll(keepPosition ? oldPosition : 0);
}

void PrepareLoadPageLayers()
{
    LoadPageRecord& page = LoadPage;
    const ScreenLayersRecord& layers = ScreenLayers;
    const Rect* rects[2] = {&page.LogRect, &page.ListRect};
    const int32_t targets[2] = {page.LogBackground, page.ListBackground};
    for (int i = 0; i < 2; ++i) {
        SelectDrawScreen(targets[i]);
        DrawGraphPart(0, 0, rects[i]->X, rects[i]->Y, rects[i]->Width, rects[i]->Height, layers.PageBackground, 0, 0, 0);
        SetBlendModeAndParam(1, layers.DimAlpha);
        DrawRectangle(0, 0, rects[i]->Width, rects[i]->Height, ColorBlack, 1, 1);
        SetBlendModeAndParam(0, 255);
    }
    DrawFileList();
}

void DrawFileList()
{
    const LoadPageRecord& page = LoadPage;
    const int position = page.Scroll.Position;
    SelectDrawScreen(page.ListLayer);
    DrawGraphAt(0, 0, page.ListBackground, 0);
    if (page.FileCount == 0) {
        DrawFormattedText(20, 5, ColorLight, "%s", "ファイルがありません");
    } else {
        for (int i = 0; i < page.FileCount; ++i)
            DrawFormattedText(20, RowHeight * i - position + 5, ColorLight, "%s", page.FileNames[i]);
    }
    DrawRectangle(1, RowHeight * page.Selected - position + 1, page.ListRect.Width,
                  RowHeight * page.Selected - position + 29, ColorCyan, 0, 1);
}

void DrawLoadPage()
{
    const LoadPageRecord& page = LoadPage;
    const ScreenLayersRecord& layers = ScreenLayers;
    DrawFileList();
    SelectDrawScreen(layers.PageLayer);
    DrawGraphAt(page.Frame.X, page.Frame.Y, layers.SubPanel, 0);
    DrawRectangle(page.Frame.X, page.Frame.Y, page.Frame.X + page.Frame.Width, page.Frame.Y + page.Frame.Height,
                  ColorCyan, 0, 1);
    const Rect& caption = page.FileCaption;
    DrawCaptionBox(caption.X, caption.Y, caption.Width, caption.Height, "ファイル選択", ColorLight);
    const Rect& list = page.ListRect;
    DrawGraphAt(list.X, list.Y, page.ListLayer, 0);
    DrawRectangle(list.X, list.Y, list.X + list.Width + 1, list.Y + list.Height, ColorLight, 0, 1);
    const ScrollBarState& bar = page.Scroll;
    DrawRectangle(bar.X, bar.Y, bar.X + bar.BarWidth, bar.Y + bar.TrackLength, ColorLight, 0, 1);
    if (bar.State == 0)
        DrawRectangle(bar.X, bar.Y + bar.ThumbOffset, bar.X + bar.ThumbWidth, bar.Y + bar.ThumbOffset + bar.ThumbLength,
                      ColorLight, 0, 1);

    SelectDrawScreen(page.LogLayer);
    DrawGraphAt(0, 0, page.LogBackground, 0);
    DrawTextLines(5, page.Log.Font, ColorLight, page.Log.WrappedLog);
    SelectDrawScreen(layers.PageLayer);
    const Rect& log = page.LogRect;
    DrawGraphAt(log.X, log.Y, page.LogLayer, 0);
    const Rect& logCaption = page.LogCaption;
    DrawCaptionBox(logCaption.X, logCaption.Y, logCaption.Width, logCaption.Height, "ログ", ColorLight);
    DrawRectangle(log.X, log.Y, log.X + log.Width, log.Y + log.Height, ColorLight, 0, 1);
    LoadPage_DrawTwoLineButton(page.StartupDeleteButton, "削除", 33, ColorPink);
    LoadPage_DrawTwoLineButton(page.StartupLoadButton, "ロード", 23, ColorLight);
    const Rect& remove = page.DeleteButton;
    DrawCaptionBox(remove.X, remove.Y, remove.Width, remove.Height, "削除", ColorPink);
    const Rect& load = page.LoadButton;
    DrawCaptionBox(load.X, load.Y, load.Width, load.Height, "ロード", ColorCyan);
}

int UpdateLoadPage()
{
    LoadPageRecord& page = LoadPage;
    MouseClickStateRecord& click = MouseClickState;
    const ScreenLayersRecord& layers = ScreenLayers;
    ScrollBarState& bar = page.Scroll;

    // 1. Dragging the thumb.
    if (bar.State == 0 && bar.FreeTravel > 0) {
        if (bar.Flag) {
            if (!click.Down) {
                bar.Flag = 0;
            } else {
                int offset = bar.ThumbOffset + (click.Y - click.PressY);
                click.PressY = click.Y;
                if (offset < 0) offset = 0;
                if (offset > bar.FreeTravel) offset = bar.FreeTravel;
                bar.ThumbOffset = offset;
                bar.Position = static_cast<int32_t>(static_cast<int64_t>(bar.LargestPosition) * offset / bar.FreeTravel);
            }
        } else if (click.Pressed) {
            const int left = layers.PageRect.X + bar.X, top = layers.PageRect.Y + bar.Y;
            if (click.PressX > left && click.PressX < left + bar.BarWidth && click.PressY > top &&
                click.PressY < top + bar.TrackLength) {
                bar.Flag = 1;
                const int thumbTop = top + bar.ThumbOffset;
                if (click.PressY <= thumbTop || click.PressY >= thumbTop + bar.ThumbLength) {
                    int offset = click.PressY - bar.ThumbLength / 2 - top;
                    if (offset < 0) offset = 0;
                    if (offset > bar.FreeTravel) offset = bar.FreeTravel;
                    bar.ThumbOffset = offset;
                    bar.Position =
                        static_cast<int32_t>(static_cast<int64_t>(bar.LargestPosition) * offset / bar.FreeTravel);
                }
            }
        }
        if (bar.Flag) page.Redraw = 1;
    }
    // 2. The wheel over the list.
    if (click.Wheel != 0 && IsPointerInPageRect(page.ListRect)) {
        LoadPage_ComputeScroll(bar.Position - click.Wheel * RowHeight);
        page.Redraw = 1;
    }
    // 3. A row.
    if (IsPressInPageRect(page.ListRect)) {
        click.PressEvent = 0;
        const int row = bar.Position - (layers.PageRect.Y + page.ListRect.Y) + click.PressY;
        if (page.FileCount > 0 && row > 0) page.Selected = row / RowHeight;
        LoadPage_ClampSelection();
        DrawFileList();
        page.Redraw = 1;
    }
    // 4. Load the selected file.
    if (IsPressInPageRect(page.LoadButton)) {
        click.PressEvent = 0;
        if (page.FileCount > 0) {
            const char* name = page.FileNames[page.Selected];
            std::string path = "save/";
            path += name;
            AppendLog(page.Log, name, SettingFileResultText(ReadSettingFile(path.c_str())));
        } else {
            AppendLog(page.Log, nullptr, "ファイルが存在しないためロードできません\n");
        }
        page.Redraw = 1;
    }
    // 5. Delete the selected file.
    if (IsPressInPageRect(page.DeleteButton)) {
        click.PressEvent = 0;
        if (page.FileCount > 0) {
            const std::string name = page.FileNames[page.Selected];
            const std::string path = "save/" + name;
            AppendLog(page.Log, name.c_str(),
                      RemoveSettingFile(path.c_str()) ? "を削除しました。\n" : "の削除に失敗しました。\n");
        } else {
            AppendLog(page.Log, nullptr, "ファイルが存在しないため削除できません。\n");
        }
        ScanSaveFolder(1);
        LoadPage_ClampSelection();
        DrawFileList();
        page.Redraw = 1;
    }
    // 6. Load the start-up settings.
    if (IsPressInPageRect(page.StartupLoadButton)) {
        click.PressEvent = 0;
        if (!SettingFileExists("option.data")) {
            ResetSettings();
            AppendLog(page.Log, "option.data", "が見つからなかったため設定を初期化しました。\n");
        } else {
            AppendLog(page.Log, "option.data", SettingFileResultText(ReadSettingFile("option.data")));
        }
        LoadPage_ClampSelection();
        page.Redraw = 1;
    }
    // 7. Delete the start-up settings.
    if (IsPressInPageRect(page.StartupDeleteButton)) {
        click.PressEvent = 0;
        if (SettingFileExists("option.data")) {
            AppendLog(page.Log, "option.data",
                      RemoveSettingFile("option.data") ? "を削除しました。\n" : "の削除に失敗しました。\n");
        } else {
            AppendLog(page.Log, nullptr, "ファイルが存在しないため削除できません。\n");
        }
        ScanSaveFolder(1);
        DrawFileList();
        LoadPage_ClampSelection();
        page.Redraw = 1;
    }
    RedrawIfMarked(page.Redraw, DrawLoadPage);
    return 0;
}

}  // namespace Qelvar
