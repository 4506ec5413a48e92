// The tab column and the three simple pages: home (about text, background switch), run (the switch
// that turns conversion on and off, and the per-frame converter calls) and exit (the exit button
// and the exit-confirmation switch). Stands on AppMain's layers and click state, the converters,
// the setting files and the drawing helpers.
#pragma once
#include <cstdint>

#include "app/AppMain.h"

namespace Qelvar {

enum TabIndex : int32_t { TabHome = 0, TabDevice = 1, TabSettings = 2, TabRun = 3, TabExit = 4, TabCount = 5 };

extern int32_t CurrentTab;
extern Rect TabRect[TabCount];
extern int32_t TabBarRedraw;
extern const char* const TabCaptions[TabCount];

struct HomePageRecord {
    Rect Frame;
    int32_t TextTop;
    Rect BackgroundButton;
    int32_t Hover;
    int32_t Redraw;
};
struct RunPageRecord {
    Rect Frame;
    Rect RunButton;
    int32_t PageFont;
    uint8_t ConversionOn;
    int32_t Redraw;
};
struct ExitPageRecord {
    Rect Frame;
    Rect ExitButton;
    Rect ConfirmBox;
    int32_t PageFont;
    int32_t SmallFont;
    int32_t Redraw;
};
extern HomePageRecord HomePage;
extern RunPageRecord RunPage;
extern ExitPageRecord ExitPage;

// The fonts of the run and exit pages (after the library started).
void Tabs_CreateFonts();
// Back to the state at start (tab 0, conversion off, every page to be drawn).
void Tabs_Reset();

// 0, or -1 to end the program.
int UpdateTabs();
void DrawTabBar();
int UpdateHomePage();
void DrawHomePage();
int UpdateRunPage();
void DrawRunPage();
int UpdateExitPage();
void DrawExitPage();

}  // namespace Qelvar
