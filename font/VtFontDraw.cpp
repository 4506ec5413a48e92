// Font creation by face name in the application's character code, deletion and parameters; the public
// text functions: drawing (plain, scaled, formatted; in the font's code or UTF-16) inside the draw
// bracket through the texture road or the memory road, and measuring.
// Stands on the font handles (VtFont), the text engine, the draw settings, memory images and the
// character codes.
#include "font/VtFontDraw.h"

#include <stdarg.h>
#include <string.h>

#include "font/VtFontCache.h"
#include "font/VtFontText.h"
#include "foundation/VtBaseFunc.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtFormat.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtString.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsMask.h"
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

// ---- Conversion to UTF-16 -----------------------------------------------------------------------

namespace {

// A text of the font's character code converted to the library's wide code: a local buffer for short
// texts, an allocated one for longer ones.
struct WideText {
    wchar_t Local[512];
    wchar_t* Text = Local;
    int Length = 0;

    ~WideText()
    {
        if (Text != Local) Memory_Free(Text);
    }

    // units: code units of the source (its length before the terminator); -1 on a failed allocation.
    int Convert(const void* text, int units, int page)
    {
        int64_t room = (int64_t)sizeof(Local);
        if (units > 504) {
            room = (int64_t)units * 2 + 32;
            room = room * (int64_t)sizeof(wchar_t) / 2;
            if (room > 0x7FFFFFFF) return -1;
            Text = (wchar_t*)Memory_Allocate((uint32_t)room, __FILE__, __LINE__);
            if (Text == nullptr) {
                Text = Local;
                return -1;
            }
        }
        const int bytes = CharCode_ConvertString(text, units, page, Text, (int32_t)room, CharCode_GetWidePage());
        Length = bytes > 0 ? bytes / (int)sizeof(wchar_t) - 1 : 0;
        if (bytes <= 0) Text[0] = 0;
        return 0;
    }
};

// The draw area as a clip rectangle of the memory road.
void DrawAreaClip(int32_t* clip)
{
    const RECT& area = DrawSettings.DrawArea;
    clip[0] = area.left, clip[1] = area.top, clip[2] = area.right, clip[3] = area.bottom;
}

}  // namespace

// The texture road: the glyphs are drawn from the font's cache graph at the integer position, with the
// cache graph made again first when the device lost it.
int Font_DrawText_Texture(int x, int y, const wchar_t* text, int length, unsigned int color, FontHandleRecord* font,
                          unsigned int edgeColor, int vertical)
{
    if (font->ResourcesLost) Font_GlyphCache_RefreshTexture(font, 0);
    FontTextRequest request = Font_TextRequest_Measure(font, text, length, vertical);
    int32_t clip[4];
    DrawAreaClip(clip);
    request.Draw = 1;
    request.X = x, request.Y = y, request.FX = (float)x, request.FY = (float)y;
    request.Color = color, request.EdgeColor = edgeColor;
    request.Clip = clip;
    Font_TextEngine(request);
    return 0;
}

// The texture road of scaled text: every glyph stretched by the scale from its scaled place.
int Font_DrawScaledText_Texture(int x, int y, double scaleX, double scaleY, const wchar_t* text, int length,
                                unsigned int color, FontHandleRecord* font, unsigned int edgeColor, int vertical)
{
    Font_GlyphCache_RefreshTexture(font, 0);
    FontTextRequest request = Font_TextRequest_Measure(font, text, length, vertical);
    int32_t clip[4];
    DrawAreaClip(clip);
    request.Draw = 1;
    request.X = x, request.Y = y, request.FX = (float)x, request.FY = (float)y;
    request.Scaled = 1;
    request.ScaleX = scaleX, request.ScaleY = scaleY;
    request.Color = color, request.EdgeColor = edgeColor;
    request.Clip = clip;
    Font_TextEngine(request);
    return 0;
}

// The memory road's work image: the one with alpha for antialiased fonts, its transparent colour
// chosen apart from the text colours, and the work area filled with it. Returns the image and the
// work rectangle.
static MEMIMG* Font_PrepareWorkImage(FontHandleRecord* font, unsigned int color, unsigned int edgeColor, int width,
                              int height, int32_t* work)
{
    const int antialiased = Font_TypeIsAntialiased(font->Type);
    MEMIMG* image = antialiased ? &GraphicsSystemState.SoftScreenWorkAlpha : &GraphicsSystemState.SoftScreenWork;
    if (!MemImg_IsValid(image)) return nullptr;
    work[0] = 0, work[1] = 0;
    work[2] = width < image->width ? width : image->width;
    work[3] = height < image->height ? height : image->height;
    if (work[2] <= 0 || work[3] <= 0) return nullptr;
    MemImgBody* body = image->body;
    if (antialiased) {
        body->transColor = 0;
    } else {
        const uint32_t mask = body->colorType == MemImgColorType_R5G6B5 ? 0xFFFF : 0xFFFFFF;
        while ((body->transColor & mask) == (color & mask) || (body->transColor & mask) == (edgeColor & mask))
            body->transColor = (body->transColor + 1) & mask;
        body->useTransColor = 1;
    }
    MemImg_FillRect(image, work, body->transColor);
    return image;
}

// The work image of the memory road with the text drawn into it (see the header).
MEMIMG* Font_DrawTextToWorkImage(const wchar_t* text, int length, unsigned int color, FontHandleRecord* font,
                                 unsigned int edgeColor, int vertical, int width, int height, int drawX,
                                 int32_t* work)
{
    MEMIMG* image = Font_PrepareWorkImage(font, color, edgeColor, width, height, work);
    if (image == nullptr) return nullptr;
    MemImg_SetDrawArea(work);
    FontTextRequest request = Font_TextRequest_Measure(font, text, length, vertical);
    request.Draw = 1;
    request.X = drawX, request.Y = 0;
    request.Color = color, request.EdgeColor = edgeColor;
    request.Destination = image;
    request.Clip = work;
    Font_TextEngine(request);
    return image;
}

// Draws a text into the work image at (drawX, 0) and composes the work area onto the draw target:
// at (x, y) as it is, or stretched by the scale into (x, y) .. (x + w * sx, y + h * sy).
static int Font_ComposeThroughWorkImage(int x, int y, const wchar_t* text, int length, unsigned int color,
                                 FontHandleRecord* font, unsigned int edgeColor, int vertical, int width, int height,
                                 int drawX, double scaleX, double scaleY)
{
    MEMIMG* target = GraphicsSystemState.MemImgDrawTarget;
    if (target == nullptr) return 0;
    int32_t savedArea[4];
    memcpy(savedArea, MemImgState.drawArea, sizeof(savedArea));
    const uint32_t savedBright = MemImgState.brightColor;
    int32_t work[4];
    MEMIMG* image = Font_DrawTextToWorkImage(text, length, color, font, edgeColor, vertical, width, height, drawX, work);
    if (image == nullptr) {
        MemImg_SetDrawArea(savedArea);
        return 0;
    }

    MEMIMG view = {};
    MemImg_Derive(&view, image, 0, 0, work[2], work[3]);
    MEMIMG stretched = {};
    const MEMIMG* source = &view;
    int composedWidth = work[2], composedHeight = work[3];
    if (scaleX != 1.0 || scaleY != 1.0) {
        composedWidth = (int)(work[2] * scaleX), composedHeight = (int)(work[3] * scaleY);
        if (composedWidth > 0 && composedHeight > 0 &&
            Graphics_MemImg_Setup(&stretched, composedWidth, composedHeight, image->body->transColor,
                                  image->body->colorType, 0, image->body->hasAlpha) >= 0) {
            // Nearest source pixel for every pixel of the stretched image.
            const int bytes = image->body->colorType == MemImgColorType_R5G6B5 && !image->body->hasAlpha ? 2 : 4;
            for (int row = 0; row < composedHeight; row++) {
                const int sourceRow = (int)(row / scaleY);
                const uint8_t* from = (const uint8_t*)view.pixels + (int64_t)sourceRow * image->body->pitch;
                uint8_t* to = (uint8_t*)stretched.pixels + (int64_t)row * stretched.body->pitch;
                for (int column = 0; column < composedWidth; column++)
                    memcpy(to + (int64_t)column * bytes, from + (int64_t)(int)(column / scaleX) * bytes, bytes);
            }
            stretched.body->transColor = image->body->transColor;
            stretched.body->useTransColor = image->body->useTransColor;
            source = &stretched;
        } else {
            composedWidth = 0;
        }
    }
    if (composedWidth > 0) {
        int32_t area[4] = {x, y, x + composedWidth, y + composedHeight}, drawArea[4];
        DrawAreaClip(drawArea);
        Math_Rect_Clip(area, drawArea);
        MemImg_SetDrawArea(area);
        MemImg_SetDrawBright(0xFFFFFF);
        if (area[2] > area[0] && area[3] > area[1]) MemImg_DrawImageEx(target, source, x, y, 1, MemImgDraw_ClearSpare);
    }
    if (source == &stretched) MemImg_Release(&stretched);
    MemImg_Release(&view);
    MemImg_SetDrawArea(savedArea);
    MemImg_SetDrawBright(savedBright);
    return 0;
}

// The text engine drawing straight onto a memory image inside the clip, glyph pixels written or
// (blend) blended.
static void Font_DrawTextOnto(MEMIMG* target, const int32_t* clip, int blend, int x, int y, const wchar_t* text, int length,
                       unsigned int color, FontHandleRecord* font, unsigned int edgeColor, int vertical)
{
    FontTextRequest request = Font_TextRequest_Measure(font, text, length, vertical);
    request.Draw = 1;
    request.Blend = blend;
    request.X = x, request.Y = y;
    request.Color = color, request.EdgeColor = edgeColor;
    request.Destination = target;
    request.Clip = clip;
    Font_TextEngine(request);
}

// Antialiased text at full strength onto a 32-bit screen whose glyphs do not overlap: every glyph
// blended straight onto the draw target, clipped where the work image would have been, which gives
// the pixels of the composed work image without filling and composing the whole work area.
// Returns 1 when drawn so, 0 when the work image has to be used.
static int Font_BlendTextDirectly(int x, int y, const wchar_t* text, int length, unsigned int color, FontHandleRecord* font,
                           unsigned int edgeColor, int width, int height)
{
    MEMIMG* target = GraphicsSystemState.MemImgDrawTarget;
    const MEMIMG* work = &GraphicsSystemState.SoftScreenWorkAlpha;
    const int mode = DrawSettings.BlendMode, param = DrawSettings.BlendParam;
    if (!(mode == 0 || (mode == 1 && param == 255)) || target == nullptr || !MemImg_IsValid(target) ||
        !MemImg_IsValid(work))
        return 0;
    if (target->body->colorType != MemImgColorType_XRGB8 || target->body->hasAlpha ||
        work->body->colorType != MemImgColorType_XRGB8 || !work->body->hasAlpha)
        return 0;
    width = width < work->width ? width : work->width;
    height = height < work->height ? height : work->height;
    if (width <= 0 || height <= 0) return 1;
    int32_t area[4] = {x, y, x + width, y + height}, drawArea[4];
    DrawAreaClip(drawArea);
    Math_Rect_Clip(area, drawArea);
    if (area[2] <= area[0] || area[3] <= area[1]) return 1;
    Font_DrawTextOnto(target, area, 1, x, y, text, length, color, font, edgeColor, 0);
    return 1;
}

int Font_DrawText_Memory(int x, int y, const wchar_t* text, int length, unsigned int color, FontHandleRecord* font,
                         unsigned int edgeColor, int vertical)
{
    const int antialiased = Font_TypeIsAntialiased(font->Type);
    const int mode = DrawSettings.BlendMode, param = DrawSettings.BlendParam;
    if (!antialiased && (mode == 0 || (mode == 1 && param == 255))) {
        MEMIMG* target = GraphicsSystemState.MemImgDrawTarget;
        if (target == nullptr) return 0;
        int32_t clip[4];
        DrawAreaClip(clip);
        Font_DrawTextOnto(target, clip, 0, x, y, text, length, color, font, edgeColor, vertical);
        return 0;
    }
    // Through the work image: the text is measured first for the work area.
    int size[2] = {0, 0}, overlap = 1;
    FontTextRequest measure = Font_TextRequest_Measure(font, text, length, vertical);
    measure.SizeOut = size;
    measure.OverlapOut = &overlap;
    if (Font_TextEngine(measure) < 0) return -1;
    const int width = size[0] + (font->Italic ? font->CellSize / 2 : 0);
    if (!overlap && Font_BlendTextDirectly(x, y, text, length, color, font, edgeColor, width, size[1])) return 0;
    return Font_ComposeThroughWorkImage(x, y, text, length, color, font, edgeColor, vertical, width, size[1], 0, 1.0,
                                        1.0);
}

int Font_DrawScaledText_Memory(int x, int y, double scaleX, double scaleY, const wchar_t* text, int length,
                               unsigned int color, FontHandleRecord* font, unsigned int edgeColor, int vertical)
{
    int size[2] = {0, 0};
    FontTextRequest measure = Font_TextRequest_Measure(font, text, length, vertical);
    measure.SizeOut = size;
    if (Font_TextEngine(measure) < 0) return -1;
    const int turned = vertical ? size[0] - font->Height : 0;
    if (vertical) x -= (int)(turned * scaleX);
    return Font_ComposeThroughWorkImage(x, y, text, length, color, font, edgeColor, vertical, size[0] + 4,
                                        size[1] + 4, turned, scaleX, scaleY);
}

// The steps both drawing functions share: checks, the draw bracket, the subtraction emulation, the road.
static int Font_DrawTextCommon(int x, int y, int scaled, double scaleX, double scaleY, const wchar_t* text, int length,
                        unsigned int color, int fontHandle, unsigned int edgeColor, int vertical)
{
    if (text == nullptr || text[0] == 0 || length == 0 || DrawSettings.DrawAreaEmpty) return 0;
    Graphics_WaitWhileInactive();
    FontHandleRecord* font = Font_GetRecord(fontHandle);
    if (font == nullptr) {
        Log_AddTextShiftJIS("フォントハンドル値が異常です\n");
        return -1;
    }
    if (Graphics_DrawSetting_DrawBegin(-1) <= 0) return 0;
    const int emulate = DrawSettings.BlendMode == 3 && !GraphicsSystemState.SubtractiveBlendSupported && font->TextureCache;
    RECT covered = {};
    if (emulate) {
        const RECT& area = DrawSettings.DrawArea;
        const int e = font->VerticalOffset / 2, H = font->Height;
        const int height = scaled ? (int)(H * scaleY) : H;
        if (!vertical)
            covered = {x, y - (scaled ? 0 : e), area.right, y + height + 3};
        else
            covered = {x + (scaled ? 0 : e), y, x + (scaled ? 0 : 2 * e) + height + 3, area.bottom};
        if ((vertical && !scaled ? x + e : x) >= area.right) return 0;
        covered.left = covered.left < area.left ? area.left : covered.left > area.right ? area.right : covered.left;
        covered.right = covered.right < area.left ? area.left : covered.right > area.right ? area.right : covered.right;
        covered.top = covered.top < area.top ? area.top : covered.top > area.bottom ? area.bottom : covered.top;
        covered.bottom = covered.bottom < area.top ? area.top : covered.bottom > area.bottom ? area.bottom : covered.bottom;
        Graphics_DrawSetting_SubBlendEmulateBegin(&covered);
    }
    int result;
    if (font->TextureCache) {
        result = scaled ? Font_DrawScaledText_Texture(x, y, scaleX, scaleY, text, length, color, font, edgeColor, vertical)
                        : Font_DrawText_Texture(x, y, text, length, color, font, edgeColor, vertical);
    } else {
        // The memory road writes the glyphs straight into the draw target, which is the mask's work
        // image while the mask screen is in use: the bracket brings the work image in line first and
        // copies back what the mask lets through afterwards.
        const int masked = MaskScreenState.MaskActive != 0;
        const RECT whole = DrawSettings.DrawArea;
        if (masked) Mask_BeforeMaskedDraw(whole);
        if (scaled)
            result = Font_DrawScaledText_Memory(x, y, scaleX, scaleY, text, length, color, font, edgeColor, vertical);
        else
            result = Font_DrawText_Memory(x, y, text, length, color, font, edgeColor, vertical);
        if (masked) Mask_AfterMaskedDraw(whole);
    }
    if (emulate) Graphics_DrawSetting_SubBlendEmulateEnd(&covered);
    return result;
}

// Formats into the 2048-byte buffer in the given code.
static int Font_FormatInto(char (&buffer)[2048], int page, const char* format, va_list arguments)
{
    const int unit = CharCode_GetUnitSize((CodePageId)page);
    return CharCode_FormatV(page, unit > 1, CharCode_GetNarrowPage(), CharCode_GetWidePage(), buffer,
                            (int)sizeof(buffer) / (unit > 0 ? unit : 1), format, arguments);
}

// ---- Drawing -------------------------------------------------------------------------------------

int DrawTextToHandleW(int x, int y, const wchar_t* text, int length, unsigned int color, int fontHandle,
                      unsigned int edgeColor, int vertical)
{
    return Font_DrawTextCommon(x, y, 0, 1.0, 1.0, text, length, color, fontHandle, edgeColor, vertical);
}

int DrawScaledTextToHandleW(int x, int y, double scaleX, double scaleY, const wchar_t* text, int length,
                            unsigned int color, int fontHandle, unsigned int edgeColor, int vertical)
{
    return Font_DrawTextCommon(x, y, 1, scaleX, scaleY, text, length, color, fontHandle, edgeColor, vertical);
}

int DrawTextToHandle(int x, int y, const char* text, unsigned int color, int fontHandle, unsigned int edgeColor,
                     int vertical)
{
    if (fontHandle == DefaultFontHandle) fontHandle = Font_GetDefaultHandle();
    const int page = Font_GetCharCodeFormat(fontHandle);
    if (page < 0) return -1;
    if (text == nullptr) return 0;
    WideText wide;
    if (wide.Convert(text, CharCode_StringLength((CodePageId)page, text), page) < 0) return -1;
    return DrawTextToHandleW(x, y, wide.Text, wide.Length, color, fontHandle, edgeColor, vertical);
}

int DrawTextDefaultFont(int x, int y, const char* text, unsigned int color, unsigned int edgeColor)
{
    return DrawTextToHandle(x, y, text, color, DefaultFontHandle, edgeColor, 0);
}

int DrawFormattedText(int x, int y, unsigned int color, const char* format, ...)
{
    const int page = Font_GetCharCodeFormat(DefaultFontHandle);
    if (page < 0 || format == nullptr) return -1;
    char buffer[2048];
    va_list arguments;
    va_start(arguments, format);
    Font_FormatInto(buffer, page, format, arguments);
    va_end(arguments);
    return DrawTextToHandle(x, y, buffer, color, DefaultFontHandle, 0, 0);
}

int DrawFormattedTextToHandle(int x, int y, unsigned int color, int fontHandle, const char* format, ...)
{
    if (fontHandle == DefaultFontHandle) fontHandle = Font_GetDefaultHandle();
    const int page = Font_GetCharCodeFormat(fontHandle);
    if (page < 0 || format == nullptr) return -1;
    char buffer[2048];
    va_list arguments;
    va_start(arguments, format);
    Font_FormatInto(buffer, page, format, arguments);
    va_end(arguments);
    return DrawTextToHandle(x, y, buffer, color, fontHandle, 0, 0);
}

// ---- Measuring -----------------------------------------------------------------------------------

int GetTextWidthToHandleW(const wchar_t* text, int length, int cap, int fontHandle, int vertical)
{
    FontHandleRecord* font = Font_GetRecord(fontHandle);
    if (font == nullptr) return -1;
    if (text == nullptr) return 0;
    if (length == 0) {
        while (text[length] != 0) length++;
        if (cap >= 0 && length > cap) length = cap;
    }
    return Font_TextEngine(Font_TextRequest_Measure(font, text, length, vertical));
}

int GetScaledTextWidthToHandleW(double scaleX, const wchar_t* text, int length, int cap, int fontHandle, int vertical)
{
    FontHandleRecord* font = Font_GetRecord(fontHandle);
    if (font == nullptr) return -1;
    if (text == nullptr) return 0;
    if (length == 0) {
        while (text[length] != 0) length++;
        if (cap >= 0 && length > cap) length = cap;
    }
    FontTextRequest request = Font_TextRequest_Measure(font, text, length, vertical);
    request.Scaled = 1;
    request.ScaleX = scaleX, request.ScaleY = 1.0;
    return Font_TextEngine(request);
}

int GetTextWidthToHandle(const char* text, int length, int fontHandle, int vertical)
{
    if (fontHandle == DefaultFontHandle) fontHandle = Font_GetDefaultHandle();
    const int page = Font_GetCharCodeFormat(fontHandle);
    if (page < 0) return -1;
    if (text == nullptr) return 0;
    const int units = CharCode_StringLength((CodePageId)page, text);
    const int used = length >= 0 && length < units ? length : units;
    WideText wide;
    if (wide.Convert(text, used, page) < 0) return -1;
    return GetTextWidthToHandleW(wide.Text, 0, length >= 0 ? wide.Length : -1, fontHandle, vertical);
}

int GetFormattedTextWidth(const char* format, ...)
{
    const int handle = Font_GetDefaultHandle();
    const int page = Font_GetCharCodeFormat(handle);
    if (page < 0 || format == nullptr) return -1;
    char buffer[2048];
    va_list arguments;
    va_start(arguments, format);
    Font_FormatInto(buffer, page, format, arguments);
    va_end(arguments);
    return GetTextWidthToHandle(buffer, CharCode_StringLength((CodePageId)page, buffer), handle, 0);
}

int GetFormattedTextWidthToHandle(int fontHandle, const char* format, ...)
{
    if (fontHandle == DefaultFontHandle) fontHandle = Font_GetDefaultHandle();
    const int page = Font_GetCharCodeFormat(fontHandle);
    if (page < 0 || format == nullptr) return -1;
    char buffer[2048];
    va_list arguments;
    va_start(arguments, format);
    Font_FormatInto(buffer, page, format, arguments);
    va_end(arguments);
    return GetTextWidthToHandle(buffer, CharCode_StringLength((CodePageId)page, buffer), fontHandle, 0);
}

}  // namespace Vantrel
