// The load sub-page of the settings tab: the list of setting files in "save" with its scroll bar,
// loading and deleting the selected file or "option.data", and the log panel that reports each
// action (shared in form with the save page). Stands on SettingFiles, the drawing helpers and TextWrap.
#pragma once
#include <cstdint>
#include <string>

#include "app/AppMain.h"
#include "app/SettingFiles.h"
#include "app/DrawHelpers.h"

namespace Qelvar {

constexpr int SaveListCapacity = 128;
constexpr int SaveNameBytes = 256;  // a save name is at most 96 bytes typed plus ".save"

// A log panel: every message, newest first, and the same wrapped to the panel width.
struct LogPanel {
    std::string Log;
    std::string WrappedLog;
    int32_t Font;
    int32_t Width;
};

struct LoadPageRecord {
    Rect Frame, FileCaption, ListRect, LogCaption, LogRect;
    Rect StartupLoadButton, StartupDeleteButton, LoadButton, DeleteButton;
    ScrollBarState Scroll;
    int32_t FileCount;
    char FileNames[SaveListCapacity][SaveNameBytes];
    int32_t ListLayer, ListBackground, LogLayer, LogBackground;
    int32_t Selected;
    LogPanel Log;
    int32_t Redraw;
};
extern LoadPageRecord LoadPage;

// The message is name + text (text alone when name is null); it goes on top of the panel's log.
void AppendLog(LogPanel& panel, const char* name, const char* text);
// The text after the file name for the outcome of a read or a write.
const char* SettingFileResultText(SettingFileResult result);

// Static initialiser: the layout and the first scan of "save".
void LoadPage_StaticInit();
// After the library started: the graphs, the font and their backgrounds.
void LoadPage_Setup();
// keepPosition 0: the list shows its top; 1: the old position, kept within the new range.
void ScanSaveFolder(int keepPosition = 0);
void PrepareLoadPageLayers();
void DrawFileList();
void DrawLoadPage();
int UpdateLoadPage();

}  // namespace Qelvar
