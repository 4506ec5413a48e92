// The save sub-page of the settings tab: the name field (a key-input field of the library), saving
// the settings under that name in "save" or as the start-up settings, and a log panel.
// Stands on SettingFiles, the key-input fields, the load page's log panel and the drawing helpers.
#pragma once
#include <cstdint>

#include "app/LoadPage.h"

namespace Qelvar {

extern const char* const DefaultSaveName;  // "新規セーブデータ.save"

struct SavePageRecord {
    int32_t NameInput;
    int32_t InputActive;
    char Name[SaveNameBytes];
    int32_t LogBackground, LogLayer;
    LogPanel Log;
    Rect Frame, NameBox, SaveButton, StartupButton, LogCaption, LogRect;
    int32_t Redraw;
};
extern SavePageRecord SavePage;

// Static part: the layout and the default name.
void SavePage_StaticInit();
// After the library started: graphs, font, the name field and its colours.
void InitSavePage();
void PrepareSaveLogBackground();
// Takes the typed text as Name and ends the input.
void FinishNameInput();
// The name made safe to save under "save": empty, starting with ".save", or holding a path
// separator, ":", "..", a character Windows refuses in names or a control byte gives the default
// name; any other name gains ".save" unless it ends in it. Fits in SaveNameBytes.
void MakeSaveName(char* name);
void DrawSavePage();
int UpdateSavePage();

}  // namespace Qelvar
