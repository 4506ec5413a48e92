// Fonts: the least of the font module the foundation's on-screen log needs: creation parameters,
// font creation, the delete flag, and drawing and measuring UTF-16 runs.
// Stands on nothing yet: without a graphics device no font can be made.
#pragma once

namespace Vantrel {

// The global font-creation settings copied at creation time.
struct FontCreateParam {
    int CacheCharCount;
    int UseTextureCache;
    int UseTextureCacheDrawArea;
    int CharSetDefault;
    int FontTypeDefault;
};

void Font_CreateParam_Init(FontCreateParam* param);
int CreateFontToHandleWithParam(const FontCreateParam* param, const wchar_t* faceName, int size, int thickness,
                                int fontType, int charSet, int edgeSize, int italic, int reuseHandle,
                                int asynchronous);
int SetFontDeleteFlagToHandle(int fontHandle, int* flag);
int DrawTextToHandleW(int x, int y, const wchar_t* text, int length, unsigned int color, int fontHandle,
                      unsigned int edgeColor, int vertical);
int GetTextWidthToHandleW(const wchar_t* text, int length, int cap, int fontHandle, int vertical);

// Font manager start and end with the graphics module, and re-creation of every font handle after
// the device was re-created; nothing to do while no font exists.
int Font_Manager_Initialize();
int Font_Manager_Terminate();
int Font_RecreateAllHandles();

// ---- Default font and creation size (used by the key-input fields and IME drawing) ----
// Without a graphics device the default font cannot be made: the handle is -1 and asking a bad handle
// for its size gives -1.
int Font_GetDefaultHandle();
int GetFontCreateSizeToHandle(int fontHandle);

}  // namespace Vantrel
