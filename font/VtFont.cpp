// Fonts in the least form the foundation needs: with no graphics device no font exists, so
// creation fails and drawing and measuring report failure.
// Stands on nothing.
#include "font/VtFont.h"

namespace Vantrel {

static FontCreateParam Font_CurrentParam = {0, 1, 0, -1, -1};

void Font_CreateParam_Init(FontCreateParam* param) { *param = Font_CurrentParam; }

int CreateFontToHandleWithParam(const FontCreateParam* param, const wchar_t* faceName, int size, int thickness,
                                int fontType, int charSet, int edgeSize, int italic, int reuseHandle,
                                int asynchronous)
{
    return -1;
}

int SetFontDeleteFlagToHandle(int fontHandle, int* flag) { return -1; }

int DrawTextToHandleW(int x, int y, const wchar_t* text, int length, unsigned int color, int fontHandle,
                      unsigned int edgeColor, int vertical)
{
    return -1;
}

int GetTextWidthToHandleW(const wchar_t* text, int length, int cap, int fontHandle, int vertical) { return -1; }

int Font_Manager_Initialize() { return 0; }

int Font_Manager_Terminate() { return 0; }

int Font_RecreateAllHandles() { return 0; }

// ---- Default font and creation size (used by the key-input fields and IME drawing) ----

int Font_GetDefaultHandle() { return -1; }

int GetFontCreateSizeToHandle(int fontHandle) { return -1; }

}  // namespace Vantrel
