// Font handles and the font manager: creation from a face name (at once or as a loader job), the
// per-handle getters and setters, the default font and its settings, the level tables of glyph
// storage, and every font handle's life across start-up, device loss, mode changes and shut-down.
// Stands on the handle manager, loader threads, character codes, base images, the graphics core's
// state, VtFontWin and VtFontCache.
#include "font/VtFont.h"

#include <string.h>
#include <wchar.h>

#include "font/VtFontCache.h"
#include "font/VtFontData.h"
#include "font/VtFontWin.h"
#include "foundation/VtASyncLoad.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"

namespace Vantrel {

FontManagerState FontManager;

static const FontCreateParam Font_CurrentParam = {0, 0, 0, 0, 0};

static const struct {
    FontType Type;
    const wchar_t* Name;
} FontTypeNames[] = {
    {VT_FONTTYPE_NORMAL, L"VT_FONTTYPE_NORMAL"},
    {VT_FONTTYPE_EDGE, L"VT_FONTTYPE_EDGE"},
    {VT_FONTTYPE_ANTIALIASING, L"VT_FONTTYPE_ANTIALIASING"},
    {VT_FONTTYPE_ANTIALIASING_EDGE, L"VT_FONTTYPE_ANTIALIASING_EDGE"},
    {VT_FONTTYPE_ANTIALIASING_4X4, L"VT_FONTTYPE_ANTIALIASING_4X4"},
    {VT_FONTTYPE_ANTIALIASING_EDGE_4X4, L"VT_FONTTYPE_ANTIALIASING_EDGE_4X4"},
    {VT_FONTTYPE_ANTIALIASING_8X8, L"VT_FONTTYPE_ANTIALIASING_8X8"},
    {VT_FONTTYPE_ANTIALIASING_EDGE_8X8, L"VT_FONTTYPE_ANTIALIASING_EDGE_8X8"},
    {VT_FONTTYPE_ANTIALIASING_16X16, L"VT_FONTTYPE_ANTIALIASING_16X16"},
    {VT_FONTTYPE_ANTIALIASING_EDGE_16X16, L"VT_FONTTYPE_ANTIALIASING_EDGE_16X16"},
};

const wchar_t* Font_TypeName(FontType type)
{
    for (const auto& entry : FontTypeNames)
        if (entry.Type == type) return entry.Name;
    return L"Null";
}

int Font_TypeFactor(FontType type)
{
    switch (type) {
    case 0x12: case 0x13: return 4;
    case 0x22: case 0x23: return 8;
    case 0x32: case 0x33: return 16;
    default: return 1;
    }
}

void Font_CreateParam_Init(FontCreateParam* param) { *param = Font_CurrentParam; }

// ---- Handle callbacks ----------------------------------------------------------------------------

static void Font_HandleRecord_Initialize(HandleHeader* header)
{
    FontHandleRecord* font = (FontHandleRecord*)header;
    font->Platform = &font->Win;
    font->CacheGraph = -1;
    font->EdgeGraph = -1;
}

// Releases everything the font owns but the record: GDI objects, cache, kerning pairs, edge brush.
static void Font_ReleaseParts(FontHandleRecord* font)
{
    FontWin_TerminateFont(font);
    Font_GlyphCache_Release(font);
    if (!font->IsFontFile && font->KerningPairs != nullptr) Memory_Free(font->KerningPairs);
    font->KerningPairs = nullptr;
    font->KerningPairCount = 0;
    if (font->FontDataImage != nullptr) Memory_Free(font->FontDataImage);
    font->FontDataImage = nullptr;
    font->FontDataSize = 0;
    font->FontDataHeader = nullptr;
    font->FontDataGlyphs = nullptr;
    font->FontDataImages = nullptr;
    font->FontDataDirect = font->FontDataWide = nullptr;
    font->FontDataWideCount = 0;
    font->FontDataDecodeBuffer = nullptr;
    font->FontDataDecodeSize = 0;
    if (font->EdgeBrush.pixels != nullptr) BaseImage_Release(&font->EdgeBrush);
    memset(&font->EdgeBrush, 0, sizeof(font->EdgeBrush));
}

static int Font_HandleRecord_Terminate(HandleHeader* header)
{
    FontHandleRecord* font = (FontHandleRecord*)header;
    Font_ReleaseParts(font);
    if (font->DeleteFlag != nullptr) *font->DeleteFlag = 1;
    return 0;
}

static int Font_HandleRecord_Dump(HandleHeader* header)
{
    const FontHandleRecord* font = (const FontHandleRecord*)header;
    Log_AddFormatUTF16(font->IsFontFile
                           ? L"Handle:0x%08x IsFontFile:true  FontName:%s FontType:%s Size:%d Thickness:%d Height:%d"
                           : L"Handle:0x%08x IsFontFile:false FontName:%s FontType:%s Size:%d Thickness:%d Height:%d",
                       (unsigned)font->Header.Handle, font->FaceName, Font_TypeName(font->Type), (int)font->Size,
                       (int)font->Thickness, (int)font->Height);
    return 0;
}

// ---- Handle lookup -------------------------------------------------------------------------------

FontHandleRecord* Font_GetRecord(int fontHandle)
{
    if (fontHandle == DefaultFontHandle) fontHandle = Font_GetDefaultHandle();
    if (fontHandle < 0 || Handle_TypeOf(fontHandle) != HandleType_Font) return nullptr;
    FontHandleRecord* font = (FontHandleRecord*)Handle_GetRecord(fontHandle);
    if (font == nullptr) return nullptr;
    if (font->Header.ASyncLoadCount != 0) {
        int done = -1;
        if (font->Header.ASyncLoadCount == 1 && font->Header.JobIndex >= 0 && ASyncLoad_IsMainThread())
            done = ASyncLoad_Entry_RunNow(font->Header.JobIndex);
        if (done < 0) done = Handle_ASyncLoad_Wait(fontHandle);
        if (done < 0) return nullptr;
        font = (FontHandleRecord*)Handle_GetRecord(fontHandle);
        if (font == nullptr || font->Header.ASyncLoadCount != 0) return nullptr;
    }
    return font;
}

int IsFontHandleValid(int fontHandle) { return Font_GetRecord(fontHandle) != nullptr ? 1 : 0; }

int GetFontCreateSizeToHandle(int fontHandle)
{
    const FontHandleRecord* font = Font_GetRecord(fontHandle);
    return font != nullptr ? font->Size : -1;
}

int GetFontCharSpacingToHandle(int fontHandle)
{
    const FontHandleRecord* font = Font_GetRecord(fontHandle);
    return font != nullptr ? font->CharSpacing : -1;
}

int GetFontParamsToHandleW(wchar_t* faceName, int* size, int* thickness, int fontHandle, int* fontType,
                           int* charSet, int* edgeSize, int* italic)
{
    const FontHandleRecord* font = Font_GetRecord(fontHandle);
    if (font == nullptr) return -1;
    if (faceName != nullptr) wcscpy(faceName, font->FaceName);
    if (size != nullptr) *size = font->Size;
    if (thickness != nullptr) *thickness = font->Thickness;
    if (fontType != nullptr) *fontType = font->Type;
    if (charSet != nullptr) *charSet = font->CharSet;
    if (edgeSize != nullptr) *edgeSize = font->EdgeSize;
    if (italic != nullptr) *italic = font->Italic;
    return 0;
}

int SetFontCharSpacingToHandle(int spacing, int fontHandle)
{
    FontHandleRecord* font = Font_GetRecord(fontHandle);
    if (font == nullptr) return -1;
    font->CharSpacing = spacing;
    return 0;
}

int SetFontDeleteFlagToHandle(int fontHandle, int* flag)
{
    FontHandleRecord* font = Font_GetRecord(fontHandle);
    if (font == nullptr) return -1;
    font->DeleteFlag = flag;
    if (flag != nullptr) *flag = 0;
    return 0;
}

int Font_GetCharCodeFormat(int fontHandle)
{
    const FontHandleRecord* font = Font_GetRecord(fontHandle);
    if (font == nullptr) return -1;
    if (font->CodeOverride >= 0) return font->CodeOverride;
    if (font->CodePage != -1) return (uint16_t)font->CodePage;
    return CharCode_GetNarrowPage();
}

int Font_SetCharCodeFormat(int format, int fontHandle)
{
    FontHandleRecord* font = Font_GetRecord(fontHandle);
    if (font == nullptr) return -1;
    font->CodeOverride = format;
    return 0;
}

int Font_SetLineSpacing(int spacing, int fontHandle)
{
    FontHandleRecord* font = Font_GetRecord(fontHandle);
    if (font == nullptr) return -1;
    font->LineSpacing = spacing;
    font->LineSpacingSet = 1;
    return 0;
}

// ---- Creation ------------------------------------------------------------------------------------

int Font_MakeEdgeBrush(FontHandleRecord* font, int edgeSize)
{
    if (edgeSize <= 4) return 0;
    // An edge wider than half the largest cell leaves no room for any glyph.
    if (edgeSize > GlyphCache_MaxCellSize / 2) {
        Log_AddFormatShiftJIS("縁の太さ %d は扱えません ( %d まで )\n", edgeSize, GlyphCache_MaxCellSize / 2);
        return -1;
    }
    const int side = edgeSize * 2 + 1;
    if (BaseImage_CreatePal8(side, side, &font->EdgeBrush, 0) < 0) return -1;
    BaseImage_Fill(&font->EdgeBrush, 0, 0, 0, 0);
    BaseImage_DrawCircle(&font->EdgeBrush, edgeSize, edgeSize, edgeSize, 255, 255, 255, 255, 1);
    return 0;
}

int Font_Create_Worker(const FontCreateParam* param, FontHandle handle, const wchar_t* faceName, int size,
                       int thickness, int fontType, int charSet, int edgeSize, int italic, int asynchronous)
{
    if (fontType < 0) fontType = VT_FONTTYPE_NORMAL;
    if (size < 0) size = 16;
    if (thickness < 0) thickness = 6;
    if (edgeSize < 0) edgeSize = 1;
    int verifyFace = 0;
    int codePage = -1;
    if ((unsigned)charSet > 7) {
        charSet = CharCode_GetDefaultCharSet();
        verifyFace = 1;
    } else if (charSet != CharSet_Default) {
        codePage = CharSetCodePageTable[charSet];
    }
    if (!Font_TypeHasEdge(fontType)) edgeSize = 0;

    FontHandleRecord* font = (FontHandleRecord*)Handle_GetRecord(handle);
    if (font == nullptr) return -1;
    if (!asynchronous && font->Header.ASyncLoadCount != 0) {
        if (Font_GetRecord(handle) == nullptr) return -1;
    }
    if (GetScreenColorBitDepth() == 8 && Font_TypeIsAntialiased(fontType))
        fontType = Font_TypeHasEdge(fontType) ? VT_FONTTYPE_EDGE : VT_FONTTYPE_NORMAL;

    font->Size = (uint16_t)size;
    font->Thickness = (uint16_t)thickness;
    font->Italic = (uint8_t)(italic != 0);
    font->CharSet = (uint16_t)charSet;
    font->CodePage = (int16_t)codePage;
    font->Type = fontType;
    font->EdgeSize = edgeSize;
    font->CharSpacing = 0;
    font->LineSpacingSet = 0;
    font->LineSpacing = 0;
    font->CodeOverride = -1;
    font->DeleteFlag = nullptr;
    font->IsFontFile = 0;
    font->FaceName[0] = 0;
    if (faceName != nullptr) {
        wcsncpy(font->FaceName, faceName, Font_FaceNameLength - 1);
        font->FaceName[Font_FaceNameLength - 1] = 0;
    }

    if (Font_MakeEdgeBrush(font, edgeSize) < 0) return -1;
    if (FontWin_CreateFont(param, font, verifyFace) < 0) return -1;
    CharCode_ConvertString(font->FaceName, -1, CharCode_GetWidePage(), font->FaceNameNarrow,
                           sizeof(font->FaceNameNarrow), CharCode_GetNarrowPage());
    if (Font_GlyphCache_Setup(param, font, asynchronous) < 0) {
        FontWin_ReleaseFont(font);
        return -1;
    }
    return 0;
}

// The loader job: the parameters as CreateFontToHandleWithParam packed them.
static int Font_Create_ASyncJob(ASyncLoadEntry* entry)
{
    int offset = 0;
    const FontCreateParam* param = (const FontCreateParam*)ASyncLoad_Param_GetBlock(entry->Params, &offset);
    const int handle = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const wchar_t* name = ASyncLoad_Param_GetString(entry->Params, &offset);
    int values[6];
    for (int& value : values) value = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const int result = Font_Create_Worker(param, handle, name, values[0], values[1], values[2], values[3], values[4],
                                          values[5], 1);
    HandleHeader* record = Handle_GetRecord(handle);
    if (record != nullptr) record->ASyncLoadResult = result;
    Handle_ASyncLoad_End(handle);
    if (result < 0) Handle_Delete(handle, 1, 0);
    return 0;
}

// Packs the creation parameters (a null area only measures).
static int Font_Create_PackParams(void* area, const FontCreateParam* param, int handle, const wchar_t* name,
                                  const int (&values)[6])
{
    int offset = 0;
    ASyncLoad_Param_PutBlock(area, &offset, param, sizeof(*param));
    ASyncLoad_Param_PutInt(area, &offset, handle);
    ASyncLoad_Param_PutString(area, &offset, name);
    for (int value : values) ASyncLoad_Param_PutInt(area, &offset, value);
    return offset;
}

int CreateFontToHandleWithParam(const FontCreateParam* param, const wchar_t* faceName, int size, int thickness,
                                int fontType, int charSet, int edgeSize, int italic, int reuseHandle,
                                int asynchronous)
{
    if (!FontManager.Initialised) return -1;
    Graphics_WaitWhileInactive();
    const FontHandle handle = Handle_New(HandleType_Font, 0, reuseHandle);
    if (handle < 0) return -1;
    if (asynchronous) {
        const int values[6] = {size, thickness, fontType, charSet, edgeSize, italic};
        const int bytes = Font_Create_PackParams(nullptr, param, handle, faceName, values);
        ASyncLoadEntry* entry = bytes > 0 ? ASyncLoad_Entry_Allocate(bytes) : nullptr;
        if (entry == nullptr) {
            Handle_Delete(handle, 0, 0);
            return -1;
        }
        Font_Create_PackParams(entry->Params, param, handle, faceName, values);
        entry->Procedure = Font_Create_ASyncJob;
        int index = -1;
        if (ASyncLoad_Entry_Enqueue(entry, &index) < 0) {
            ASyncLoad_Entry_Free(entry);
            Handle_Delete(handle, 0, 0);
            return -1;
        }
        Handle_ASyncLoad_Begin(handle, index);
        return handle;
    }
    if (Font_Create_Worker(param, handle, faceName, size, thickness, fontType, charSet, edgeSize, italic, 0) < 0) {
        Handle_Delete(handle, 0, 0);
        return -1;
    }
    return handle;
}

// ---- Default font --------------------------------------------------------------------------------

int Font_RefreshDefaultFont()
{
    DefaultFontSettings& defaults = FontManager.Defaults;
    int type = defaults.Type < 0 ? 0 : defaults.Type;
    const int size = defaults.Size == -1 ? 16 : defaults.Size;
    const int thickness = defaults.Thickness == -1 ? 6 : defaults.Thickness;
    int edgeSize = Font_TypeHasEdge(type) ? defaults.EdgeSize : 1;
    if (edgeSize == -1) edgeSize = 1;
    if (edgeSize > 1) type |= 1;

    if (FontManager.DefaultHandle >= 0) {
        const FontHandleRecord* font = (const FontHandleRecord*)Handle_GetRecord(FontManager.DefaultHandle);
        // The built-in font stays the default while its glyph graphs exist.
        if (font != nullptr && defaults.BuiltIn && font->IsFontFile && Font_Builtin_GlyphsAlive()) return 0;
        if (font != nullptr) {
            const int current = (defaults.FaceName[0] == 0 || wcscmp(defaults.FaceName, font->FaceName) == 0) &&
                                font->Type == type && font->Size == size && font->Thickness == thickness &&
                                !defaults.CharSetChanged && (!Font_TypeHasEdge(type) || font->EdgeSize == edgeSize) &&
                                font->Italic == (defaults.Italic != 0);
            if (current) return 0;
            Handle_Delete(FontManager.DefaultHandle, 0, 0);
        }
        FontManager.DefaultHandle = -1;
    }
    Graphics_WaitWhileInactive();
    FontCreateParam param;
    Font_CreateParam_Init(&param);
    FontHandle handle = Handle_New(HandleType_Font, 0, -1);
    if (handle >= 0 && Font_Create_Worker(&param, handle, defaults.FaceName, size, thickness, type, defaults.CharSet,
                                          edgeSize, defaults.Italic, 0) < 0) {
        Handle_Delete(handle, 0, 0);
        handle = -1;
    }
    FontManager.DefaultHandle = handle;
    defaults.CharSetChanged = 0;
    if (handle < 0) return Font_Builtin_MakeDefault(&param);
    defaults.BuiltIn = 0;
    SetFontCharSpacingToHandle(defaults.CharSpacing, handle);
    Handle_SetDeleteNotify(handle, &FontManager.DefaultHandle);
    return 0;
}

int Font_GetDefaultHandle()
{
    if (!FontManager.Initialised) return -1;
    Font_RefreshDefaultFont();
    return FontManager.DefaultHandle;
}

int SetDefaultFontParamsW(const wchar_t* faceName, int size, int thickness, int fontType, int charSet, int edgeSize,
                          int italic)
{
    DefaultFontSettings& defaults = FontManager.Defaults;
    if (fontType < 0) fontType = 0;
    defaults.FaceName[0] = 0;
    if (faceName != nullptr) {
        wcsncpy(defaults.FaceName, faceName, Font_FaceNameLength - 1);
        defaults.FaceName[Font_FaceNameLength - 1] = 0;
    }
    defaults.Type = edgeSize > 1 ? (fontType | 1) : fontType;
    defaults.Size = size < 0 ? 16 : size;
    defaults.Thickness = thickness < 0 ? 6 : thickness;
    if (charSet != defaults.CharSet) {
        defaults.CharSet = charSet;
        defaults.CharSetChanged = 1;
    }
    defaults.EdgeSize = edgeSize < 0 ? 1 : edgeSize;
    defaults.Italic = italic;
    if (FontManager.Initialised) {
        Font_RefreshDefaultFont();
    } else {
        defaults.FaceNameSet = defaults.TypeSet = defaults.SizeSet = defaults.ThicknessSet = 1;
        defaults.CharSetSet = defaults.EdgeSizeSet = defaults.ItalicSet = 1;
    }
    return 0;
}

int SetFontCharSpacing(int spacing)
{
    FontManager.Defaults.CharSpacing = spacing;
    if (FontManager.Initialised) {
        Font_RefreshDefaultFont();
        if (FontManager.DefaultHandle >= 0) SetFontCharSpacingToHandle(spacing, FontManager.DefaultHandle);
    } else {
        FontManager.Defaults.CharSpacingSet = 1;
    }
    return 0;
}

// ---- Manager -------------------------------------------------------------------------------------

static void Font_Manager_BuildLevelTables()
{
    for (int i = 0; i < 256; i++) {
        int bits = 0;
        for (int b = i; b != 0; b >>= 1) bits += b & 1;
        FontManager.BitCount[i] = (uint8_t)bits;
        FontManager.Level255To16[i] = (uint8_t)(i * 16 / 255);
        FontManager.Level255To64[i] = (uint8_t)(i * 64 / 255);
    }
    for (int i = 0; i < 16; i++) {
        FontManager.Level16To17[i] = (uint8_t)(i == 0 ? 0 : i + 1);
        FontManager.Level15To64[i] = (uint8_t)(i * 64 / 15);
    }
}

int Font_Manager_Initialize()
{
    if (FontManager.Initialised) return -1;
    if (Handle_Type_Setup(HandleType_Font, sizeof(FontHandleRecord), Font_MaxHandleCount, Font_HandleRecord_Initialize,
                          Font_HandleRecord_Terminate, Font_HandleRecord_Dump, L"Font") < 0)
        return -1;
    FontManager.Initialised = 1;
    FontManager.FullWidthSpace = CharCode_ConvertChar(0x3000, CodePage_Utf16LE, CharCode_GetWidePage());

    DefaultFontSettings& defaults = FontManager.Defaults;
    if (!defaults.FaceNameSet) defaults.FaceName[0] = 0;
    if (!defaults.TypeSet) defaults.Type = 0;
    if (!defaults.SizeSet) defaults.Size = 16;
    if (!defaults.ThicknessSet) defaults.Thickness = 6;
    if (!defaults.CharSetSet) {
        defaults.CharSet = CharCode_GetDefaultCharSet();
        defaults.CharSetChanged = 1;
    }
    if (!defaults.EdgeSizeSet) defaults.EdgeSize = 1;
    if (!defaults.ItalicSet) defaults.Italic = 0;
    if (!defaults.CharSpacingSet) defaults.CharSpacing = 0;
    defaults.FaceNameSet = defaults.TypeSet = defaults.SizeSet = defaults.ThicknessSet = 0;
    defaults.CharSetSet = defaults.EdgeSizeSet = defaults.ItalicSet = defaults.CharSpacingSet = 0;

    Font_Manager_BuildLevelTables();
    Font_Manager_ResetHandles(0);
    return 0;
}

int Font_Manager_ResetHandles(int terminating)
{
    Log_AddTextShiftJIS("フォントの初期化を行います\n");
    Log_Indent_Increase();
    DefaultFontSettings& defaults = FontManager.Defaults;
    wchar_t name[Font_FaceNameLength];
    wcscpy(name, defaults.FaceName);
    int size = defaults.Size, thickness = defaults.Thickness, charSet = defaults.CharSet;
    int italic = defaults.Italic, edgeSize = defaults.EdgeSize, type = defaults.Type;
    const FontHandleRecord* old =
        FontManager.DefaultHandle >= 0 ? (const FontHandleRecord*)Handle_GetRecord(FontManager.DefaultHandle) : nullptr;
    if (old != nullptr) {
        wcscpy(name, old->FaceName);
        size = old->Size;
        thickness = old->Thickness;
        charSet = old->CharSet;
        italic = old->Italic;
        edgeSize = old->EdgeSize;
        type = old->Type;
    }
    Handle_DeleteAll(HandleType_Font, nullptr);
    FontManager.DefaultHandle = -1;
    if (!terminating) {
        FontCreateParam param;
        Font_CreateParam_Init(&param);
        const FontHandle handle =
            CreateFontToHandleWithParam(&param, name, size, thickness, type, charSet, edgeSize, italic, -1, 0);
        FontManager.DefaultHandle = handle;
        if (handle >= 0) {
            defaults.CharSetChanged = 0;
            defaults.BuiltIn = 0;
            SetFontCharSpacingToHandle(defaults.CharSpacing, handle);
            Handle_SetDeleteNotify(handle, &FontManager.DefaultHandle);
        }
    }
    Log_Indent_Decrease();
    Log_AddTextShiftJIS("フォントの初期化は正常に終了しました\n");
    return 0;
}

int ResetFontHandles() { return Font_Manager_ResetHandles(0); }

int Font_Manager_Terminate()
{
    if (!FontManager.Initialised) return -1;
    Font_Manager_ResetHandles(1);
    Font_Builtin_Release();
    Handle_Type_Shutdown(HandleType_Font);
    FontManager.Initialised = 0;
    return 0;
}

// A font-data font is made again from its kept copy of the data, with its settings.
static void Font_RecreateFromFontData(const FontCreateParam* param, FontHandleRecord* font)
{
    const FontHandle handle = font->Header.Handle;
    const uint32_t size = font->FontDataSize;
    if (font->FontDataImage == nullptr) return;
    // The font keeps its handle and its data when the copy cannot be made; the next font goes on.
    void* copy = Memory_Allocate(size, __FILE__, __LINE__);
    if (copy == nullptr) {
        Log_AddTextShiftJIS("フォントファイルイメージを一時的に保存するメモリ領域の確保に失敗しました\n");
        return;
    }
    memcpy(copy, font->FontDataImage, size);
    const int edgeSize = font->EdgeSize, spacing = font->CharSpacing, codeOverride = font->CodeOverride;
    const int lineSpacingSet = font->LineSpacingSet, lineSpacing = font->LineSpacing;
    int* deleteFlag = font->DeleteFlag;
    Font_ReleaseParts(font);
    const int result = Font_LoadFontData_Worker(param, handle, copy, (int)size, edgeSize, 0);
    Memory_Free(copy);
    font->DeleteFlag = deleteFlag;
    if (result < 0) {
        Log_AddFormatUTF16(L"フォントハンドル 0x%08x の再作成に失敗しました", (unsigned)handle);
        Handle_Delete(handle, 0, 0);
        return;
    }
    font->CharSpacing = spacing;
    font->LineSpacingSet = lineSpacingSet;
    font->LineSpacing = lineSpacing;
    font->CodeOverride = codeOverride;
}

// After the device was re-created every font keeps its handle and its settings: its GDI part and
// cache are released and made again in place, so that no handle is re-numbered, the default font
// stays the default, and delete flags registered on the fonts do not fire.
int Font_RecreateAllHandles()
{
    if (!FontManager.Initialised) return -1;
    HandleManager& manager = HandleManagerTable[HandleType_Font];
    FontCreateParam param;
    Font_CreateParam_Init(&param);
    for (int slot = 0; slot < manager.MaxCount; slot++) {
        FontHandleRecord* font = (FontHandleRecord*)manager.Slots[slot];
        if (font == nullptr) continue;
        const FontHandle handle = font->Header.Handle;
        if (Font_GetRecord(handle) == nullptr) continue;
        if (font->IsFontFile) {
            Font_RecreateFromFontData(&param, font);
            continue;
        }
        wchar_t name[Font_FaceNameLength];
        wcscpy(name, font->FaceName);
        const int size = font->Size, thickness = font->Thickness, type = font->Type, charSet = font->CharSet;
        const int italic = font->Italic, edgeSize = font->EdgeSize, spacing = font->CharSpacing;
        const int lineSpacingSet = font->LineSpacingSet, lineSpacing = font->LineSpacing;
        const int codeOverride = font->CodeOverride;
        int* deleteFlag = font->DeleteFlag;
        Font_ReleaseParts(font);
        if (Font_Create_Worker(&param, handle, name, size, thickness, type, charSet, edgeSize, italic, 0) < 0) {
            Log_AddFormatUTF16(L"フォントハンドル 0x%08x の再作成に失敗しました", (unsigned)handle);
            font->DeleteFlag = deleteFlag;
            Handle_Delete(handle, 0, 0);
            continue;
        }
        font->DeleteFlag = deleteFlag;
        font->CharSpacing = spacing;
        if (lineSpacingSet) {
            font->LineSpacing = lineSpacing;
            font->LineSpacingSet = 1;
        }
        font->CodeOverride = codeOverride;
    }
    return 0;
}

}  // namespace Vantrel
