// Font creation by face name in the application's character code, deletion and parameters; the
// formatted text drawing and measuring the tool's pages use (no text engine yet: they report failure
// and write nothing).
// Stands on the font handles (VtFont) and the character codes.
#include "font/VtFontDraw.h"

#include "foundation/VtCharCode.h"
#include "foundation/VtMemory.h"
#include "system/VtSystem.h"

namespace Vantrel {

int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType, int charSet, int edgeSize,
                       int italic, int reuseHandle)
{
    FontCreateParam param;
    Font_CreateParam_Init(&param);
    const int asynchronous = IsAsyncLoadEnabled();
    if (faceName == nullptr)
        return CreateFontToHandleWithParam(&param, nullptr, size, thickness, fontType, charSet, edgeSize, italic,
                                           reuseHandle, asynchronous);
    const CodePageId narrow = CharCode_GetNarrowPage(), wide = CharCode_GetWidePage();
    int units = 0;
    while (faceName[units] != 0) units++;
    wchar_t local[512];
    wchar_t* name = local;
    const int64_t room = (int64_t)(units + 16) * 2;
    if (units + 16 > 512) {
        name = (wchar_t*)Memory_Allocate((uint32_t)(room * sizeof(wchar_t)), __FILE__, __LINE__);
        if (name == nullptr) return -1;
    }
    CharCode_ConvertString(faceName, -1, narrow, name, (int32_t)((name == local ? 512 : room) * sizeof(wchar_t)), wide);
    const int handle = CreateFontToHandleWithParam(&param, name, size, thickness, fontType, charSet, edgeSize, italic,
                                                   reuseHandle, asynchronous);
    if (name != local) Memory_Free(name);
    return handle;
}

int DeleteFontToHandle(int fontHandle)
{
    if (Font_GetRecord(fontHandle) == nullptr) return -1;
    return Handle_Delete(fontHandle == DefaultFontHandle ? Font_GetDefaultHandle() : fontHandle, 0, 0);
}

int GetFontParamsToHandle(char* faceName, int* size, int* thickness, int fontHandle, int* fontType, int* charSet,
                          int* edgeSize, int* italic)
{
    wchar_t name[Font_FaceNameLength];
    if (GetFontParamsToHandleW(name, size, thickness, fontHandle, fontType, charSet, edgeSize, italic) < 0) return -1;
    if (faceName != nullptr)
        CharCode_ConvertString(name, -1, CharCode_GetWidePage(), faceName, Font_FaceNameLength,
                               Font_GetCharCodeFormat(fontHandle));
    return 0;
}

int DrawTextDefaultFont(int x, int y, const char* text, unsigned int color, unsigned int edgeColor) { return -1; }

int DrawFormattedText(int x, int y, unsigned int color, const char* format, ...) { return -1; }

int DrawFormattedTextToHandle(int x, int y, unsigned int color, int fontHandle, const char* format, ...) { return -1; }

int GetFormattedTextWidth(const char* format, ...) { return -1; }

int GetFormattedTextWidthToHandle(int fontHandle, const char* format, ...) { return -1; }

}  // namespace Vantrel
