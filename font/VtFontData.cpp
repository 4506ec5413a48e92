// Font data and image fonts: reading an "FNTF" block into a font handle (a kept copy, the unpacked
// header, a direct table of glyph records by code and a list of the wide ones), fetching one glyph's
// image for the glyph cache, attaching graphs as image glyphs, and the built-in 8 x 16 font whose
// glyph image the build draws from the misc-fixed face (VtFontBuiltin.inc, made by tools/vtfontimage).
// Stands on the font handles, the glyph cache, the LZ coder, the loader threads and graph handles.
#include "font/VtFontData.h"

#include <string.h>

#include "font/VtFontCache.h"
#include "font/VtFontWin.h"
#include "foundation/VtASyncLoad.h"
#include "foundation/VtArchiveDecode.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtString.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsImage.h"
#include "system/VtSystem.h"

#include "VtFontBuiltin.inc"  // FontBuiltin_FontData, FontBuiltin_ImageText

namespace Vantrel {

namespace {

inline uint16_t Read16(const uint8_t* at) { return (uint16_t)(at[0] | at[1] << 8); }
inline uint32_t Read32(const uint8_t* at) { return (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 | (uint32_t)at[3] << 24; }

// Header fields (offsets from the start of the plain header, version-1 layout).
enum : int {
    Header_Magic = 0,
    Header_Version = 4,
    Header_ImageOffset = 8,
    Header_DecodeSize = 12,
    Header_GlyphCount = 16,
    Header_WideCount = 20,
    Header_FaceName = 24,
    Header_Thickness = 280,
    Header_Size = 282,
    Header_Height = 284,
    Header_VerticalOffset = 286,
    Header_Italic = 288,
    Header_CellSize = 290,
    Header_CharSet = 292,
    Header_CodePage = 294,
    Header_Ascent = 296,
    Header_KerningCount = 300,
    Header_ImageKind = 344,
};


int Font_LoadFontData_ASyncJob(ASyncLoadEntry* entry)
{
    int offset = 0;
    const FontCreateParam* param = (const FontCreateParam*)ASyncLoad_Param_GetBlock(entry->Params, &offset);
    const int handle = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const void* data = (const void*)(intptr_t)ASyncLoad_Param_GetInt64(entry->Params, &offset);
    const int size = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const int edgeSize = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const int result = Font_LoadFontData_Worker(param, handle, data, size, edgeSize, 1);
    HandleHeader* record = Handle_GetRecord(handle);
    if (record != nullptr) record->ASyncLoadResult = result;
    Handle_ASyncLoad_End(handle);
    if (result < 0) Handle_Delete(handle, 1, 0);
    return 0;
}

int Font_LoadFontData_PackParams(void* area, const FontCreateParam* param, int handle, const void* data, int size,
                                 int edgeSize)
{
    int offset = 0;
    ASyncLoad_Param_PutBlock(area, &offset, param, sizeof(*param));
    ASyncLoad_Param_PutInt(area, &offset, handle);
    ASyncLoad_Param_PutInt64(area, &offset, (int64_t)(intptr_t)data);
    ASyncLoad_Param_PutInt(area, &offset, size);
    ASyncLoad_Param_PutInt(area, &offset, edgeSize);
    return offset;
}

// Bits per pixel of the glyph images of a source kind.
int Font_Data_BitsPerPixel(int sourceKind)
{
    return sourceKind == GlyphSource_Nibble ? 4 : sourceKind == GlyphSource_Level255 ? 8 : 1;
}

// Every glyph record must describe an image that lies inside the data (or unpacks into the decode
// buffer), rows wide enough for its width, and a size that fits the font's cell; -1 (logged) for the
// first that does not.
int Font_Data_CheckGlyphs(const FontHandleRecord* font, uint32_t glyphCount, int cellSize, int height)
{
    const int cell = ((cellSize + 7) & ~7) > ((height + 1) & ~1) ? (cellSize + 7) & ~7 : (height + 1) & ~1;
    const int bits = Font_Data_BitsPerPixel(font->FontDataSourceKind);
    for (uint32_t i = 0; i < glyphCount; i++) {
        const FontDataGlyph& record = font->FontDataGlyphs[i];
        const int width = record.Width, rows = record.Height;
        if (width == 0 || rows == 0) continue;
        const uint64_t offset = record.ImageOffset, pitch = record.Pitch;
        const uint64_t bytes = pitch * (uint64_t)rows;
        const bool packed = record.Packed != 0;
        const bool inside = offset <= font->FontDataImageBytes &&
                            (packed ? bytes <= font->FontDataDecodeSize : bytes <= font->FontDataImageBytes - offset);
        if (pitch * 8 < (uint64_t)width * bits || !inside || width > cell || rows > cell) {
            Log_AddFormatShiftJIS("フォントデータの文字 0x%x の画像の情報が壊れています\n", record.Code);
            return -1;
        }
    }
    return 0;
}

}  // namespace

int Font_LoadFontData_Worker(const FontCreateParam* param, FontHandle handle, const void* data, int size,
                             int edgeSize, int asynchronous)
{
    FontHandleRecord* font = (FontHandleRecord*)Handle_GetRecord(handle);
    if (font == nullptr) return -1;
    if (!asynchronous && font->Header.ASyncLoadCount != 0 && Font_GetRecord(handle) == nullptr) return -1;
    if (edgeSize < 0) edgeSize = 0;
    const uint8_t* bytes = (const uint8_t*)data;
    if (bytes == nullptr || size < FontData_PlainHeaderSize || memcmp(bytes, "FNTF", 4) != 0) return -1;
    const int version = Read16(bytes + Header_Version);
    if (version > 1) return -1;
    font->IsFontFile = 1;

    // The unpacked header must hold the glyph records and kerning pairs; the tables must fit.
    const int64_t unpacked =
        Archive_LzDecompressChecked(bytes + FontData_PlainHeaderSize, (uint64_t)size - FontData_PlainHeaderSize, nullptr, 0);
    if (unpacked < 0) return -1;
    const uint32_t glyphCount = Read32(bytes + Header_GlyphCount), wideCount = Read32(bytes + Header_WideCount);
    const uint32_t decodeSize = Read32(bytes + Header_DecodeSize), imageOffset = Read32(bytes + Header_ImageOffset);
    const int64_t gap = version == 0 ? FontData_Version0Gap : 0;
    const int64_t headerSize = FontData_PlainHeaderSize + unpacked + gap;
    if (headerSize < FontData_GlyphRecordOffset || imageOffset > (uint32_t)size || wideCount > glyphCount) {
        Log_AddTextShiftJIS("フォントデータのヘッダーが壊れています\n");
        return -1;
    }
    // The header starts on an 8-byte boundary after the copy, and the glyph tables after the header,
    // so that the glyph records, kerning pairs and table pointers are read in place.
    const int64_t copySize = ((int64_t)size + 7) & ~(int64_t)7, tablesAt = (headerSize + 7) & ~(int64_t)7;
    const int64_t tables = (int64_t)GlyphCache_DirectCount * (int64_t)sizeof(void*) + (int64_t)wideCount * (int64_t)sizeof(void*);
    const int64_t total = copySize + tablesAt + tables + decodeSize;
    if (total > 0x7FFFFFFF) return -1;
    uint8_t* image = (uint8_t*)Memory_Allocate((uint32_t)total, __FILE__, __LINE__);
    if (image == nullptr) return -1;
    memcpy(image, bytes, (size_t)size);
    uint8_t* header = image + copySize;
    memset(header, 0, (size_t)headerSize);
    if (Archive_LzDecompressChecked(bytes + FontData_PlainHeaderSize, (uint64_t)size - FontData_PlainHeaderSize,
                                    header + FontData_PlainHeaderSize, (uint64_t)unpacked) != unpacked) {
        Memory_Free(image);
        return -1;
    }
    memcpy(header, bytes, FontData_PlainHeaderSize);
    if (version == 0) {
        // Version 0 lacks bytes 300-343: move the rest up and leave them zero (no kerning pairs).
        memmove(header + Header_KerningCount + FontData_Version0Gap, header + Header_KerningCount,
                (size_t)(FontData_PlainHeaderSize + unpacked - Header_KerningCount));
        memset(header + Header_KerningCount, 0, FontData_Version0Gap);
    }
    const uint32_t kerningCount = Read32(header + Header_KerningCount);
    const int64_t needed = FontData_GlyphRecordOffset + (int64_t)FontData_GlyphRecordSize * glyphCount +
                           (int64_t)FontData_KerningPairSize * kerningCount;
    if (needed > headerSize) {
        Log_AddTextShiftJIS("フォントデータのヘッダーが壊れています\n");
        Memory_Free(image);
        return -1;
    }
    font->FontDataImage = image;
    font->FontDataSize = (uint32_t)size;
    font->FontDataHeader = header;
    font->FontDataGlyphs = (const FontDataGlyph*)(header + FontData_GlyphRecordOffset);
    font->FontDataImages = image + imageOffset;
    font->FontDataImageBytes = (uint64_t)size - imageOffset;
    font->FontDataDirect = (const FontDataGlyph**)(header + tablesAt);
    font->FontDataWide = font->FontDataDirect + GlyphCache_DirectCount;
    font->FontDataDecodeBuffer = (uint8_t*)(font->FontDataWide + wideCount);
    font->FontDataDecodeSize = decodeSize;
    font->KerningPairs = kerningCount > 0 ? (FontDataKerningPair*)(header + FontData_GlyphRecordOffset +
                                                                   (int64_t)FontData_GlyphRecordSize * glyphCount)
                                          : nullptr;

    const int edge = edgeSize > 0 ? 1 : 0;
    switch (header[Header_ImageKind]) {
    case 0: font->FontDataSourceKind = GlyphSource_Bit1, font->Type = VT_FONTTYPE_NORMAL + edge; break;
    case 1: font->FontDataSourceKind = GlyphSource_Nibble, font->Type = VT_FONTTYPE_ANTIALIASING_4X4 + edge; break;
    case 2: font->FontDataSourceKind = GlyphSource_Level255, font->Type = VT_FONTTYPE_ANTIALIASING_8X8 + edge; break;
    default: font->FontDataSourceKind = 0, font->Type = 0; break;
    }

    memset(font->FontDataDirect, 0, (size_t)GlyphCache_DirectCount * sizeof(void*));
    uint32_t wide = 0;
    for (uint32_t i = 0; i < glyphCount; i++) {
        const FontDataGlyph* record = &font->FontDataGlyphs[i];
        const uint32_t code = record->Code;
        if (code < 0x10000)
            font->FontDataDirect[code] = record;
        else if (wide < wideCount)
            font->FontDataWide[wide++] = record;
    }
    font->FontDataWideCount = wide;

    if (Font_Data_CheckGlyphs(font, glyphCount, Read16(header + Header_CellSize), Read16(header + Header_Height)) < 0)
        return -1;

    font->Thickness = Read16(header + Header_Thickness);
    font->Size = Read16(header + Header_Size);
    font->Height = Read16(header + Header_Height);
    font->VerticalOffset = Read16(header + Header_VerticalOffset);
    font->Italic = header[Header_Italic];
    font->CellSize = Read16(header + Header_CellSize);
    font->CharSet = Read16(header + Header_CharSet);
    font->CodePage = (int16_t)Read16(header + Header_CodePage);
    font->Ascent = (int16_t)Read16(header + Header_Ascent);
    font->KerningPairCount = kerningCount;
    font->EdgeSize = edgeSize;
    font->CharSpacing = 0;
    font->LineSpacingSet = 0;
    font->LineSpacing = 0;
    font->CodeOverride = -1;

    wchar_t face[128];
    memcpy(face, header + Header_FaceName, sizeof(face));
    face[127] = 0;
    CharCode_ConvertString(face, -1, CodePage_Utf16LE, font->FaceName, sizeof(font->FaceName), CharCode_GetWidePage());
    CharCode_ConvertString(font->FaceName, -1, CharCode_GetWidePage(), font->FaceNameNarrow,
                           sizeof(font->FaceNameNarrow), CharCode_GetNarrowPage());
    font->DeleteFlag = nullptr;

    if (Font_MakeEdgeBrush(font, edgeSize) < 0) return -1;
    if (FontWin_CreateFont(param, font, 0) < 0) return -1;
    return Font_GlyphCache_Setup(param, font, asynchronous) < 0 ? -1 : 0;
}

int Font_LoadFontDataWithParam(const FontCreateParam* param, const void* data, int size, int edgeSize,
                               int reuseHandle, int asynchronous)
{
    if (!FontManager.Initialised) return -1;
    Graphics_WaitWhileInactive();
    const FontHandle handle = Handle_New(HandleType_Font, 0, reuseHandle);
    if (handle < 0) return -1;
    if (asynchronous) {
        const int bytes = Font_LoadFontData_PackParams(nullptr, param, handle, data, size, edgeSize);
        ASyncLoadEntry* entry = bytes > 0 ? ASyncLoad_Entry_Allocate(bytes) : nullptr;
        if (entry == nullptr) {
            Handle_Delete(handle, 0, 0);
            return -1;
        }
        Font_LoadFontData_PackParams(entry->Params, param, handle, data, size, edgeSize);
        entry->Procedure = Font_LoadFontData_ASyncJob;
        int index = -1;
        if (ASyncLoad_Entry_Enqueue(entry, &index) < 0) {
            ASyncLoad_Entry_Free(entry);
            Handle_Delete(handle, 0, 0);
            return -1;
        }
        Handle_ASyncLoad_Begin(handle, index);
        return handle;
    }
    if (Font_LoadFontData_Worker(param, handle, data, size, edgeSize, 0) < 0) {
        Handle_Delete(handle, 0, 0);
        return -1;
    }
    return handle;
}

int LoadFontDataFromMemory(const void* data, int size, int edgeSize)
{
    FontCreateParam param;
    Font_CreateParam_Init(&param);
    return Font_LoadFontDataWithParam(&param, data, size, edgeSize, -1, IsAsyncLoadEnabled());
}

int Font_Data_RenderGlyph(FontHandleRecord* font, GlyphCacheEntry* entry, uint32_t code, uint32_t selector, int update)
{
    if (selector != 0 || font->FontDataDirect == nullptr) return -1;
    const FontDataGlyph* record = nullptr;
    if (code < 0x10000) {
        record = font->FontDataDirect[code];
    } else {
        for (uint32_t i = 0; i < font->FontDataWideCount && record == nullptr; i++)
            if (font->FontDataWide[i]->Code == code) record = font->FontDataWide[i];
    }
    if (record == nullptr) return -1;
    const int width = record->Width, height = record->Height;
    const uint32_t offset = record->ImageOffset, pitch = record->Pitch;
    const uint64_t rowsBytes = (uint64_t)pitch * (uint64_t)height;
    const uint64_t available = offset <= font->FontDataImageBytes ? font->FontDataImageBytes - offset : 0;
    const uint8_t* pixels = nullptr;
    const int blank = width == 0 || height == 0;
    if (!blank) {
        const int bits = Font_Data_BitsPerPixel(font->FontDataSourceKind);
        if ((uint64_t)pitch * 8 < (uint64_t)width * bits || offset > font->FontDataImageBytes) return -1;
        if (record->Packed != 0) {
            if (rowsBytes > font->FontDataDecodeSize ||
                Archive_LzDecompressChecked(font->FontDataImages + offset, available, font->FontDataDecodeBuffer,
                                            font->FontDataDecodeSize) < (int64_t)rowsBytes)
                return -1;
            pixels = font->FontDataDecodeBuffer;
        } else {
            if (rowsBytes > available) return -1;
            pixels = font->FontDataImages + offset;
        }
    }
    return Font_GlyphCache_StoreGlyph(font, entry, code, 0, blank, font->FontDataSourceKind, pixels, width, height,
                                      (int)pitch, record->OffsetX, record->OffsetY, record->Advance, update);
}

// ---- Image glyphs --------------------------------------------------------------------------------

int Font_AddImageGlyphW(int fontHandle, const wchar_t* character, int graph, int offsetX, int offsetY, int advance)
{
    FontHandleRecord* font = Font_GetRecord(fontHandle);
    if (font == nullptr || character == nullptr) return -1;
    int32_t bytes = 0;
    const uint32_t code = CharCode_DecodeChar(character, CharCode_GetWidePage(), &bytes);
    int index = 0;
    while (index < font->ImageGlyphCount && font->ImageGlyphs[index].Code != code) index++;
    if (index == font->ImageGlyphCount) {
        if (font->ImageGlyphCount >= Font_ImageGlyphMax) return -1;
        font->ImageGlyphCount++;
    }
    GlyphCacheEntry& entry = font->ImageGlyphs[index];
    memset(&entry, 0, sizeof(entry));
    int width = 0, height = 0;
    QueryGraphSize(graph, &width, &height);
    entry.Code = code;
    entry.Used = 1;
    entry.Image = 1;
    entry.OffsetX = (int16_t)offsetX;
    entry.OffsetY = (int16_t)offsetY;
    entry.Advance = (int16_t)advance;
    entry.Width = (uint16_t)(width > 0 ? width : 0);
    entry.Height = (uint16_t)(height > 0 ? height : 0);
    entry.Index = graph;
    return 0;
}

int Font_AddImageGlyph(int fontHandle, const char* character, int graph, int offsetX, int offsetY, int advance)
{
    const int page = Font_GetCharCodeFormat(fontHandle);
    if (page < 0 || character == nullptr) return -1;
    const int length = CharCode_StringLength((CodePageId)page, character);
    wchar_t local[512];
    wchar_t* wide = local;
    int64_t room = sizeof(local);
    if (length > 504) {
        room = (int64_t)length * 2 + 32;
        wide = (wchar_t*)Memory_Allocate((uint32_t)room, __FILE__, __LINE__);
        if (wide == nullptr) return -1;
    }
    if (CharCode_ConvertString(character, length, (CodePageId)page, wide, (int32_t)room, CharCode_GetWidePage()) <= 0)
        wide[0] = 0;
    const int result = Font_AddImageGlyphW(fontHandle, wide, graph, offsetX, offsetY, advance);
    if (wide != local) Memory_Free(wide);
    return result;
}

// ---- The built-in font ---------------------------------------------------------------------------

int Font_Builtin_GlyphsAlive() { return FontManager.BuiltInGlyphs[0] > 0 && Graphics_Image_CheckGraphHandle(FontManager.BuiltInGlyphs[0]) != 0; }

int Font_Builtin_MakeDefault(const FontCreateParam* param)
{
    const int handle = Font_LoadFontDataWithParam(param, FontBuiltin_FontData, (int)sizeof(FontBuiltin_FontData), 0,
                                                  -1, IsAsyncLoadEnabled());
    FontManager.DefaultHandle = handle;
    if (FontManager.BuiltInImage == nullptr) {
        uint8_t packed[sizeof(FontBuiltin_ImageText)];
        const uint32_t packedSize = Archive_DecodeBase64(FontBuiltin_ImageText, packed);
        const int64_t size = packedSize > 0 ? Archive_LzDecompressChecked(packed, packedSize, nullptr, 0) : -1;
        void* image = size > 0 ? Memory_AllocateZeroed((uint32_t)size, __FILE__, __LINE__) : nullptr;
        if (image == nullptr) return -1;
        if (Archive_LzDecompressChecked(packed, packedSize, image, (uint64_t)size) != size) {
            Memory_Free(image);
            return -1;
        }
        FontManager.BuiltInImage = image;
        FontManager.BuiltInImageSize = (uint32_t)size;
    }
    if (!Font_Builtin_GlyphsAlive()) {
        const int keepGraphs = GetDeleteGraphsOnModeChange();
        int red = 0, green = 0, blue = 0;
        QueryTransColor(&red, &green, &blue);
        SetTransparentColor(255, 0, 255);
        SetDeleteGraphsOnModeChange(0);
        CreateDivGraphFromMemoryImage(FontManager.BuiltInImage, (int)FontManager.BuiltInImageSize, 128, 16, 8, 8, 16,
                                      FontManager.BuiltInGlyphs, 1, 0, nullptr, 0);
        SetTransparentColor(red, green, blue);
        for (int32_t& glyph : FontManager.BuiltInGlyphs)
            if (glyph > 0) Handle_SetDeleteNotify(glyph, &glyph);
        SetDeleteGraphsOnModeChange(keepGraphs);
    }
    for (int c = 0; c < 128; c++) {
        const char character[2] = {(char)c, 0};
        Font_AddImageGlyph(handle, character, FontManager.BuiltInGlyphs[c], 0, 0, 8);
    }
    FontManager.Defaults.BuiltIn = 1;
    if (handle >= 0) Handle_SetDeleteNotify(handle, &FontManager.DefaultHandle);
    return 0;
}

void Font_Builtin_Release()
{
    for (int32_t& glyph : FontManager.BuiltInGlyphs) {
        if (glyph > 0 && Graphics_Image_CheckGraphHandle(glyph)) DeleteGraph(glyph);
        glyph = 0;
    }
    if (FontManager.BuiltInImage != nullptr) Memory_Free(FontManager.BuiltInImage);
    FontManager.BuiltInImage = nullptr;
    FontManager.BuiltInImageSize = 0;
    FontManager.Defaults.BuiltIn = 0;
}

}  // namespace Vantrel
