// Graph handles: the handle check, the creation settings, the format description and texture
// colour format, the division of an image into texture parts, the set-up of a graph on a new full
// image and its draw parts, and the small public queries.
// Stands on the handle manager, the asynchronous loader, base and memory images and the switch layer.
#include "graphics/VtGraphicsImage.h"

#include <string.h>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics/VtGraphicsSoftScreen.h"
#include "image/VtImageLoad.h"

namespace Vantrel {

GraphCreateSettingsRecord GraphCreateSettings = {0xFF00FF, 0, 1, 0, nullptr, 0};

namespace {

constexpr int TextureColorFormatCount = 49;
ColorFormatDesc TextureColorFormatTable[TextureColorFormatCount];
int TextureColorFormatTableBuilt = 0;

void BuildTextureColorFormatTable() {
    ColorFormatDesc* t = TextureColorFormatTable;
    BaseImage_ColorFormat_InitR5G6B5(&t[6]);
    BaseImage_ColorFormat_InitXRGB8(&t[7]);
    BaseImage_ColorFormat_InitFromMasks(&t[8], 16, 0x0F00, 0x00F0, 0x000F, 0xF000, 0, 0, 0);
    BaseImage_ColorFormat_InitARGB8(&t[9]);
    BaseImage_ColorFormat_InitFromMasks(&t[10], 16, 0x7C00, 0x03E0, 0x001F, 0x8000, 0, 0, 0);
    BaseImage_ColorFormat_InitARGB8(&t[11]);
    for (int code = 1; code <= 11; ++code) {
        ColorFormatDesc& desc = t[11 + code];
        BaseImage_ColorFormat_InitARGB8(&desc);
        desc.formatCode = static_cast<uint8_t>(code);
        desc.bitDepth = code == 1 ? 4 : 8;
    }
    // Per-channel layouts: four channels, one channel, two channels; integer 8/16, float 16/32.
    auto channels = [](ColorFormatDesc* desc, int count, int bits, int isFloat) {
        BaseImage_ColorFormat_InitFromMasks(desc, count * bits, 0, 0, 0, 0, count, bits, isFloat);
    };
    channels(&t[24], 4, 16, 0), channels(&t[25], 4, 16, 1), channels(&t[26], 4, 32, 1);
    channels(&t[27], 1, 8, 0), channels(&t[28], 1, 16, 0), channels(&t[29], 1, 16, 1), channels(&t[30], 1, 32, 1);
    channels(&t[31], 2, 8, 0), channels(&t[32], 2, 16, 0), channels(&t[33], 2, 16, 1), channels(&t[34], 2, 32, 1);
    BaseImage_ColorFormat_InitR5G6B5(&t[35]);
    BaseImage_ColorFormat_InitXRGB8(&t[36]);
    BaseImage_ColorFormat_InitARGB8(&t[37]);
    channels(&t[38], 4, 16, 0), channels(&t[39], 4, 16, 1), channels(&t[40], 4, 32, 1);
    channels(&t[41], 1, 8, 0), channels(&t[42], 1, 16, 0), channels(&t[43], 1, 16, 1), channels(&t[44], 1, 32, 1);
    channels(&t[45], 2, 8, 0), channels(&t[46], 2, 16, 0), channels(&t[47], 2, 16, 1), channels(&t[48], 2, 32, 1);
    TextureColorFormatTableBuilt = 1;
}

int MaxTextureSizeOf(int parameterMax) {
    if (parameterMax > 0) return parameterMax;
    const int device = GraphicsSystemState.MaxTextureSize;
    return device > 0 ? device : 4096;
}

}  // namespace

// ---- Handles ----

// Deletions that load jobs handed to the main thread (the handles of a failed job, the hidden whole
// graph of a divided image), carried out when the main thread meets a job's end in a lookup.
static void Graphics_Image_DeleteAfterJobs() {
    static int running = 0;
    if (running || HandleManagerTable[HandleType_Graph].DeleteRequestCount == 0 || !ASyncLoad_IsMainThread()) return;
    running = 1;
    Handle_ProcessDeleteRequests(0);
    running = 0;
}

GraphHandleRecord* Graphics_Image_GetGraphRecord(int graph, int inJob) {
    const HandleManager& manager = HandleManagerTable[HandleType_Graph];
    if (!manager.Initialized || graph < 0 || (graph & HandleValue_TypeMask) != manager.TypeMask) return nullptr;
    const int slot = Handle_SlotOf(graph);
    if (slot >= manager.MaxCount) return nullptr;
    HandleHeader* record = manager.Slots[slot];
    if (record == nullptr || record->CheckValue != Handle_CheckOf(graph)) return nullptr;
    if (!inJob && record->ASyncLoadCount > 0) {
        int result;
        if (record->ASyncLoadCount <= 1 && record->JobIndex >= 0)
            result = ASyncLoad_Entry_RunNow(record->JobIndex) < 0 ? Handle_ASyncLoad_Wait(graph) : 0;
        else
            result = Handle_ASyncLoad_Wait(graph);
        if (result < 0) return nullptr;
        record = manager.Slots[slot];
        if (record == nullptr || record->CheckValue != Handle_CheckOf(graph)) return nullptr;
        if (record->ASyncLoadCount > 0 && Handle_ASyncLoad_Wait(graph) < 0) return nullptr;
        Graphics_Image_DeleteAfterJobs();
        record = manager.Slots[slot];
        if (record == nullptr || record->CheckValue != Handle_CheckOf(graph)) return nullptr;
    }
    // A failed load job leaves its handle's deletion to the main thread: from the job's end the handle
    // is gone for every caller, and the main thread deletes it as soon as it looks at it.
    if (!inJob && record->ASyncLoadResult < 0) {
        if (record->DeleteRequested && record->ASyncLoadCount == 0) Graphics_Image_DeleteAfterJobs();
        return nullptr;
    }
    return reinterpret_cast<GraphHandleRecord*>(record);
}

int Graphics_Image_CheckGraphHandle(int graph) { return Graphics_Image_GetGraphRecord(graph, 0) != nullptr ? 1 : 0; }

void Graphics_Image_ResetCreateDefaults() {
    GraphCreateSettings.bitDepth = 0;
    GraphCreateSettings.alphaTest = 1;
}

void Graphics_Image_InitCreateParam(GraphCreateParam* out) {
    *out = {};
    out->transColor = static_cast<int32_t>(GraphCreateSettings.transColor);
    out->bitDepth = GraphCreateSettings.bitDepth;
    out->alphaTest = GraphCreateSettings.alphaTest;
    out->managed = 1;
    out->withDepthBuffer = 1;
    out->keepAtModeChange = GraphCreateSettings.keepAtModeChange;
    // Divided graphs made under these settings take their cell handles from the current array: the
    // parameter owns a copy of it, which the division frees once it has used it.
    const int count = GraphCreateSettings.handleArrayCount;
    if (GraphCreateSettings.handleArray == nullptr || count <= 0) return;
    const int64_t bytes = static_cast<int64_t>(count) * static_cast<int64_t>(sizeof(int32_t));
    void* copy = bytes <= INT32_MAX ? Memory_Allocate(static_cast<uint32_t>(bytes), __FILE__, __LINE__) : nullptr;
    if (copy == nullptr) {
        Log_AddFormatShiftJIS("分割画像グラフィックハンドル値指定用配列のメモリ %dbyte の確保に失敗しました",
                           static_cast<int>(bytes > INT32_MAX ? INT32_MAX : bytes));
        return;
    }
    memcpy(copy, GraphCreateSettings.handleArray, static_cast<size_t>(bytes));
    out->handleArray = static_cast<int32_t*>(copy);
    out->handleArrayCount = count;
}

void Graphics_Image_SetCreateHandleArray(const int32_t* handles, int count) {
    GraphCreateSettings.handleArray = handles != nullptr && count > 0 ? handles : nullptr;
    GraphCreateSettings.handleArrayCount = handles != nullptr && count > 0 ? count : 0;
}

void Graphics_Image_InitGraphFormatParam(GraphCreateParam* out, int bitDepth, int alpha, int alphaTest) {
    *out = {};
    out->transColor = 0xFF00FF;
    out->bitDepth = bitDepth;
    out->alpha = alpha;
    out->alphaTest = alphaTest;
    out->managed = 1;
    out->mipLevels = 1;
    out->reserved24 = 1;
    out->noAlphaImage = 1;
}

void Graphics_Image_InitRenderTargetFormatParam(GraphCreateParam* out, int bitDepth, int alpha) {
    *out = {};
    out->transColor = 0xFF00FF;
    out->bitDepth = bitDepth;
    out->alpha = out->drawableAlpha = alpha;
    out->drawable = 1;
    out->mipLevels = 1;
    out->reserved24 = 1;
    out->noAlphaImage = 1;
}

void Graphics_Image_InitLoadParam(GraphLoadParam* out) {
    *out = {};
    BaseImage_InitLoadSettings(&out->loadSettings, 0);
    Movie_InitOpenSettings(&out->movieSettings);
    Graphics_Image_InitCreateParam(&out->create);
    out->graph = -1;
    out->wholeGraph = -1;
}

// ---- Format description and texture colour format ----

void Graphics_Image_BuildFormatDesc(GraphFormatDesc* out, const GraphCreateParam* param, int width, int height,
                                    int alpha, int palette, int paletteBits, int compressedFormat, int mipLevels) {
    *out = {};
    const bool device = GraphicsSystemState.DeviceValid != 0;
    out->hardware = device ? 1 : 0;
    out->managed = param->managed ? 1 : 0;
    out->cubeMap = param->cubeMap ? 1 : 0;
    out->compressedFormat = static_cast<uint8_t>(compressedFormat);
    int levels = mipLevels;
    if (levels == -1) {
        if (param->mipLevels == -1) {
            levels = 1;
            for (int w = width, h = height; w > 1 || h > 1; ++levels) {
                w = w / 2 < 1 ? 1 : w / 2;
                h = h / 2 < 1 ? 1 : h / 2;
            }
        } else {
            levels = param->mipLevels == 0 ? 1 : param->mipLevels;
        }
    }
    out->mipLevels = static_cast<uint8_t>(levels);
    if (param->drawable) {
        out->drawable = 1;
        out->alpha = param->drawableAlpha ? 1 : 0;
        out->mipLevels = 1;
        out->managed = 0;
    } else {
        out->alpha = alpha ? 1 : 0;
        out->alphaTest = param->alphaTest ? 1 : 0;
        out->blendImage = param->blendImage ? 1 : 0;
    }
    const int screenBits = GetScreenColorBitDepth();
    if (device) {
        out->bitDepth = static_cast<uint8_t>(param->bitDepth != 0 ? param->bitDepth : alpha == 1 ? 32 : screenBits);
        out->channelCount = static_cast<uint8_t>(param->channelCount);
        out->isFloat = param->isFloat ? 1 : 0;
        out->channelBits = static_cast<uint8_t>(param->channelCount > 0 ? param->channelBits : 0);
        if (out->alpha) out->alphaTest = 0;
        if (out->blendImage) {
            out->bitDepth = 32, out->alpha = 1, out->alphaTest = 0, out->drawable = 0;
        } else if (out->drawable) {
            out->mipLevels = static_cast<uint8_t>(param->drawableMipLevels > 0 ? param->drawableMipLevels : 1);
            out->channelCount = static_cast<uint8_t>(param->drawableChannelCount);
            out->channelBits = static_cast<uint8_t>(param->channelBits);
            out->isFloat = param->drawableIsFloat ? 1 : 0;
            out->multiSampleCount = static_cast<uint8_t>(param->multiSampleCount);
            out->multiSampleQuality = static_cast<uint8_t>(param->multiSampleQuality);
        } else if (palette) {
            out->bitDepth = paletteBits == 4 ? 4 : 8;
        }
    } else {
        out->bitDepth = static_cast<uint8_t>(param->bitDepth != 0 ? param->bitDepth : screenBits);
        out->palette = palette ? 1 : 0;
        out->softwareImage = 1;
        out->drawable = out->blendImage ? 0 : 1;
        out->mipLevels = out->compressedFormat = out->alphaTest = out->isFloat = 0;
        out->channelCount = out->channelBits = out->managed = out->cubeMap = 0;
        out->multiSampleCount = out->multiSampleQuality = 0;
    }
}

int Graphics_Image_SelectTextureColorFormat(const GraphFormatDesc* d) {
    if (d->compressedFormat >= 1 && d->compressedFormat <= 11) return 11 + d->compressedFormat;
    if (d->channelCount == 1 || d->channelCount == 2) {
        const bool wide = d->isFloat ? (d->channelBits != 0 ? d->channelBits >= 32
                                                            : d->bitDepth >= (d->channelCount == 1 ? 32 : 64))
                                     : (d->channelBits != 0 ? d->channelBits >= 16
                                                            : d->bitDepth >= (d->channelCount == 1 ? 16 : 32));
        const int base = d->channelCount == 1 ? (d->drawable ? (d->isFloat ? 43 : 41) : (d->isFloat ? 29 : 27))
                                              : (d->drawable ? (d->isFloat ? 47 : 45) : (d->isFloat ? 33 : 31));
        return base + (wide ? 1 : 0);
    }
    if (d->bitDepth == 4) return d->alpha ? 2 : d->alphaTest ? 4 : 0;
    if (d->bitDepth == 8) return d->alpha ? 3 : d->alphaTest ? 5 : 1;
    if (d->drawable) {
        if (d->isFloat) return d->channelBits == 0 ? 39 + d->bitDepth / 128 : d->channelBits < 32 ? 39 : 40;
        if (d->channelBits > 8) return 38;
        return d->alpha || d->alphaTest ? 37 : d->bitDepth == 16 ? 35 : 36;
    }
    if (d->isFloat) return d->channelBits == 0 ? 25 + d->bitDepth / 128 : d->channelBits < 32 ? 25 : 26;
    if (d->channelBits > 8) return 24;
    if (d->bitDepth == 16) return d->alpha ? 8 : d->alphaTest ? 10 : 6;
    return d->alpha ? 9 : d->alphaTest ? 11 : 7;
}

const ColorFormatDesc* Graphics_Image_GetTextureColorFormatByIndex(int index) {
    if (index < 0 || index >= TextureColorFormatCount) return nullptr;
    if (!TextureColorFormatTableBuilt) BuildTextureColorFormatTable();
    return &TextureColorFormatTable[index];
}

const ColorFormatDesc* GetTextureColorFormat(int alpha, int alphaTest, int bits32, int drawable) {
    GraphFormatDesc desc = {};
    desc.alpha = alpha ? 1 : 0;
    desc.alphaTest = alphaTest ? 1 : 0;
    desc.drawable = drawable ? 1 : 0;
    desc.bitDepth = bits32 ? 32 : 16;
    return Graphics_Image_GetTextureColorFormatByIndex(Graphics_Image_SelectTextureColorFormat(&desc));
}

int Graphics_Image_ListTextureSizes(int size, int16_t* sizes, int maxTextureSize, int blockCompressed) {
    const int minimum = blockCompressed ? 4 : 1;
    const int max = MaxTextureSizeOf(maxTextureSize);
    if (!GraphicsSystemState.TexturePowerOfTwoOnly && size <= max) {
        sizes[0] = static_cast<int16_t>(blockCompressed ? (size + 3) / 4 * 4 : size);
        return 1;
    }
    if (size <= minimum) {
        sizes[0] = static_cast<int16_t>(minimum);
        return 1;
    }
    int s = max;
    while (s > minimum && s > size) s /= 2;
    if (s * 2 <= max) {
        sizes[0] = static_cast<int16_t>(s < size ? s * 2 : s);
        return 1;
    }
    int count = 0;
    for (;;) {
        sizes[count++] = static_cast<int16_t>(s);
        size -= s;
        if (size < 1) break;
        if (size > s * 3 / 4 && s < max) {
            sizes[count - 1] = static_cast<int16_t>(s * 2);
            break;
        }
        while (s > size && s > minimum) s /= 2;
        if (count >= 32) return -1;
    }
    if (count >= 2 && sizes[count - 1] == sizes[count - 2] && sizes[count - 1] * 2 <= max) {
        sizes[count - 2] = static_cast<int16_t>(sizes[count - 1] * 2);
        --count;
    }
    return count;
}

int Graphics_Image_ComputeMipLevelSize(int width, int height, int level, int* outWidth, int* outHeight) {
    for (int i = 0; i < level; ++i) width /= 2, height /= 2;
    if (outWidth) *outWidth = width < 1 ? 1 : width;
    if (outHeight) *outHeight = height < 1 ? 1 : height;
    return 0;
}

int Graphics_Image_CheckMSAADrawTarget(int graph) {
    const GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 0);
    if (record == nullptr || record->Orig == nullptr) return 0;
    return record->Orig->format.hardware && record->Orig->format.multiSampleCount != 0 ? 1 : 0;
}

// ---- Draw parts ----

namespace {

// One axis of a draw part in integer mode.
void CutAxisInt(int graphPos, int graphSize, int partPos, int partUsed, int32_t* dest, int32_t* src, int32_t* size) {
    if (graphPos < partPos) {
        *src = 0;
        *dest = partPos - graphPos;
        *size = graphPos + graphSize < partPos + partUsed ? graphPos + graphSize - partPos : partUsed;
    } else {
        *dest = 0;
        *src = graphPos - partPos;
        *size = graphPos + graphSize < partPos + partUsed ? graphSize : partPos + partUsed - graphPos;
    }
}

void CutAxisFloat(float graphPos, float graphSize, int partPos, int partUsed, float* dest, float* src, float* size) {
    const float partEnd = static_cast<float>(partPos + partUsed);
    if (static_cast<float>(partPos) <= graphPos) {
        *dest = 0.0f;
        *src = graphPos - static_cast<float>(partPos);
        *size = graphPos + graphSize < partEnd ? graphSize : partEnd - graphPos;
    } else {
        *src = 0.0f;
        *dest = static_cast<float>(partPos) - graphPos;
        *size = graphPos + graphSize < partEnd ? graphSize + graphPos - static_cast<float>(partPos)
                                               : static_cast<float>(partUsed);
    }
}

void TruncateAxis(float destF, float srcF, float sizeF, int partUsed, int32_t* dest, int32_t* src, int32_t* size) {
    *dest = static_cast<int32_t>(destF);
    *src = static_cast<int32_t>(srcF);
    const float exact = sizeF + srcF - static_cast<float>(*src);
    *size = static_cast<int32_t>(exact);
    if (exact - static_cast<float>(*size) > 0.01f) {
        *size += 1;
        if (*src + *size > partUsed) *size = partUsed - *src;
    }
}

}  // namespace

int Graphics_Image_BuildDrawParts(int graph, int floatMode, int inJob) {
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 1);
    if (record == nullptr) return -1;
    GraphOrigRecord* orig = record->Orig;
    if (orig->format.softwareImage) {
        MemImg_Release(&record->memImage);
        MemImg_Derive(&record->memImage, &orig->memImage, record->x, record->y, record->Width, record->Height);
        return MemImg_IsValid(&record->memImage) ? 0 : -1;
    }
    const float gx = floatMode ? record->xF : static_cast<float>(record->x);
    const float gy = floatMode ? record->yF : static_cast<float>(record->y);
    const float gw = floatMode ? record->widthF : static_cast<float>(record->Width);
    const float gh = floatMode ? record->heightF : static_cast<float>(record->Height);
    int used = 0;
    for (int i = 0; i < orig->partCount; ++i) {
        const GraphTexturePart& part = orig->parts[i];
        if (part.x < gx + gw && gx < part.x + part.usedWidth && part.y < gy + gh && gy < part.y + part.usedHeight)
            ++used;
    }
    if (used == 0) {
        Log_AddTextShiftJIS("テクスチャ描画情報の作成に失敗しました\n");
        return -1;
    }
    if (used > GraphHandle_InlineDrawParts) {
        const int64_t size = static_cast<int64_t>(sizeof(GraphHandleRecord)) +
                             static_cast<int64_t>(used - GraphHandle_InlineDrawParts) * sizeof(GraphDrawPart);
        if (record->Header.RecordSize < size && Handle_ResizeRecord(graph, static_cast<int>(size)) < 0) {
            Log_AddTextShiftJIS("画像描画情報格納用メモリの確保に失敗しました\n");
            return -1;
        }
        record = reinterpret_cast<GraphHandleRecord*>(Handle_GetRecord(graph));
    }
    record->drawPartCount = used;
    GraphDrawPart* out = record->drawParts;
    for (int i = 0; i < orig->partCount; ++i) {
        GraphTexturePart* part = &orig->parts[i];
        if (!(part->x < gx + gw && gx < part->x + part->usedWidth && part->y < gy + gh && gy < part->y + part->usedHeight))
            continue;
        GraphDrawPart& d = *out++;
        if (!floatMode) {
            CutAxisInt(record->x, record->Width, part->x, part->usedWidth, &d.destX, &d.srcX, &d.width);
            CutAxisInt(record->y, record->Height, part->y, part->usedHeight, &d.destY, &d.srcY, &d.height);
            d.destXF = static_cast<float>(d.destX), d.srcXF = static_cast<float>(d.srcX), d.widthF = static_cast<float>(d.width);
            d.destYF = static_cast<float>(d.destY), d.srcYF = static_cast<float>(d.srcY), d.heightF = static_cast<float>(d.height);
        } else {
            CutAxisFloat(record->xF, record->widthF, part->x, part->usedWidth, &d.destXF, &d.srcXF, &d.widthF);
            CutAxisFloat(record->yF, record->heightF, part->y, part->usedHeight, &d.destYF, &d.srcYF, &d.heightF);
            TruncateAxis(d.destXF, d.srcXF, d.widthF, part->usedWidth, &d.destX, &d.srcX, &d.width);
            TruncateAxis(d.destYF, d.srcYF, d.heightF, part->usedHeight, &d.destY, &d.srcY, &d.height);
        }
        const float tw = static_cast<float>(part->textureWidth), th = static_cast<float>(part->textureHeight);
        const float xs[2] = {d.destXF, d.destXF + d.widthF}, ys[2] = {d.destYF, d.destYF + d.heightF};
        const float us[2] = {d.srcXF / tw, (d.srcXF + d.widthF) / tw}, vs[2] = {d.srcYF / th, (d.srcYF + d.heightF) / th};
        for (int c = 0; c < 4; ++c) {
            GraphDrawVertex& v = d.vertices[c];
            v.x = xs[c & 1], v.y = ys[c >> 1], v.u = us[c & 1], v.v = vs[c >> 1];
            d.diagonalSide[c] = v.y <= gh - v.x * (gh / gw) ? 1 : 0;
        }
        d.part = part;
    }
    return 0;
}

// ---- Set-up ----

int Graphics_Image_SetupHandle_GParam(const GraphCreateParam* param, int graph, int width, int height, int unused,
                                      int alpha, int palette, int paletteBits, int compressedFormat, int mipLevels,
                                      int inJob) {
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 1);
    if (record == nullptr || width <= 0 || height <= 0) return -1;
    GraphFormatDesc format;
    Graphics_Image_BuildFormatDesc(&format, param, width, height, alpha, palette, paletteBits, compressedFormat,
                                   mipLevels);

    // Hardware: the grid of texture parts.
    int16_t columns[32], rows[32];
    int columnCount = 1, rowCount = 1, partCount = 0;
    struct PartPlace { int x, y, w, h; } places[GraphOrig_MaxTextureParts];
    if (format.hardware) {
        const int compressed = compressedFormat >= 1 && compressedFormat <= 7;
        if (param->singleTexture) {
            columns[0] = static_cast<int16_t>(width), rows[0] = static_cast<int16_t>(height);
        } else {
            columnCount = Graphics_Image_ListTextureSizes(width, columns, param->maxTextureSize, compressed);
            rowCount = Graphics_Image_ListTextureSizes(height, rows, param->maxTextureSize, compressed);
            if (columnCount <= 0 || rowCount <= 0) return -1;
        }
        if (format.drawable && columnCount * rowCount > 1) return -1;
        for (int r = 0, y = 0; r < rowCount; y += rows[r++])
            for (int c = 0, x = 0; c < columnCount; x += columns[c++]) {
                if (partCount >= GraphOrig_MaxTextureParts) return -1;
                places[partCount++] = {x, y, columns[c], rows[r]};
            }
        if (GraphicsSystemState.TextureSquareOnly) {
            const int gridCount = partCount;
            for (int i = 0; i < gridCount; ++i) {
                PartPlace& p = places[i];
                if (p.w == p.h) continue;
                const int side = p.w < p.h ? p.w : p.h, extra = (p.w < p.h ? p.h : p.w) / side - 1;
                for (int k = 1; k <= extra; ++k) {
                    if (partCount >= GraphOrig_MaxTextureParts) return -1;
                    places[partCount++] = p.w < p.h ? PartPlace{p.x, p.y + k * side, side, side}
                                                    : PartPlace{p.x + k * side, p.y, side, side};
                }
                p.w = p.h = side;
            }
        }
    }

    const int64_t bytes = static_cast<int64_t>(sizeof(GraphOrigRecord)) +
                          static_cast<int64_t>(partCount) * (sizeof(GraphTexturePart) + GraphOrig_PlatformAreaSlots * sizeof(void*));
    GraphOrigRecord* orig =
        static_cast<GraphOrigRecord*>(Memory_AllocateZeroed(static_cast<uint32_t>(bytes), __FILE__, __LINE__));
    if (orig == nullptr) {
        Log_AddTextShiftJIS("グラフィックのオリジナル画像データ保存用メモリの確保に失敗しました\n");
        return -1;
    }
    orig->refCount = 1;
    orig->format = format;
    orig->transColor = static_cast<uint32_t>(param->transColor);
    orig->width = width;
    orig->height = height;
    orig->movie = -1;
    orig->singleTexture = param->singleTexture ? 1 : 0;
    record->Orig = orig;
    record->x = record->y = 0;
    record->xF = record->yF = 0.0f;
    record->Width = width, record->Height = height;
    record->widthF = static_cast<float>(width), record->heightF = static_cast<float>(height);
    record->keepAlways = param->keepAlways;
    record->keepAtModeChange = param->keepAtModeChange;

    if (format.hardware) {
        orig->colorFormatIndex = Graphics_Image_SelectTextureColorFormat(&format);
        orig->mipLevels = format.mipLevels;
        orig->partCount = partCount;
        orig->parts = reinterpret_cast<GraphTexturePart*>(orig + 1);
        void** areas = reinterpret_cast<void**>(orig->parts + partCount);
        for (int i = 0; i < partCount; ++i) {
            GraphTexturePart& part = orig->parts[i];
            part.platformArea = areas + i * GraphOrig_PlatformAreaSlots;
            part.x = places[i].x, part.y = places[i].y;
            part.textureWidth = places[i].w, part.textureHeight = places[i].h;
            part.usedWidth = places[i].w < width - part.x ? places[i].w : width - part.x;
            part.usedHeight = places[i].h < height - part.y ? places[i].h : height - part.y;
        }
        if (format.drawable && param->withDepthBuffer) {
            orig->hasDepthBuffer = 1;
            orig->depthFormat = param->depthBits == 24 ? 1 : param->depthBits == 32 ? 2 : 0;
        }
        if (Graphics_Dispatch_OrigTexture_Create(orig, nullptr) < 0) return -1;
    } else if (format.blendImage) {
        if (Graphics_MemImg_Setup(&orig->memImage, width, height, 0, MemImgColorType_One8, 0, 0) < 0) {
            Log_AddTextShiftJIS("ブレンド画像用メモリイメージの作成に失敗しました\n");
            return -1;
        }
    } else {
        const int colorType = format.bitDepth == 16 ? MemImgColorType_R5G6B5 : MemImgColorType_XRGB8;
        orig->colorFormatIndex = (format.bitDepth == 16 ? 51 : 53) + (format.alpha ? 1 : 0);
        uint32_t trans = 0xFFFF;
        if (!format.palette) {
            const uint32_t key = GraphCreateSettings.transColor;
            trans = BaseImage_ColorFormat_PackColor(MemImg_GetColorData(colorType, 0, 0), (key >> 16) & 0xFF,
                                                    (key >> 8) & 0xFF, key & 0xFF, 0);
        }
        if (Graphics_MemImg_Setup(&orig->memImage, width, height, trans, colorType, format.palette, format.alpha) < 0) {
            Log_AddTextShiftJIS("メモリイメージの作成に失敗しました\n");
            return -1;
        }
    }
    return Graphics_Image_BuildDrawParts(graph, 0, inJob);
}

// ---- Queries ----

namespace {

// A shadow map named where a graph may be: its depth texture's size, 0; -1 when it is no live shadow map.
int QueryShadowMapSize(int handle, int* width, int* height) {
    const ShadowMapRecord* shadowMap = Graphics_ShadowMap_GetHandleData(handle, 0);
    if (shadowMap == nullptr) return -1;
    if (width) *width = shadowMap->Width;
    if (height) *height = shadowMap->Height;
    return 0;
}

}  // namespace

int QueryGraphSize(int graph, int* width, int* height) {
    if (graph == DRAW_SCREEN_BACK || graph == DRAW_SCREEN_FRONT) return GetMainScreenSize(width, height);
    if (graph >= 0 && Handle_TypeOf(graph) == HandleType_ShadowMap)
        return QueryShadowMapSize(graph, width, height);
    const GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 0);
    if (record == nullptr) return -1;
    if (width) *width = record->Width;
    if (height) *height = record->Height;
    return 0;
}

int QueryGraphTextureSize(int graph, int* width, int* height) {
    if (graph >= 0 && Handle_TypeOf(graph) == HandleType_ShadowMap)
        return QueryShadowMapSize(graph, width, height);
    const GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 0);
    if (record == nullptr) return -1;
    const GraphOrigRecord* orig = record->Orig;
    const bool parts = orig->format.hardware && orig->partCount > 0;
    if (width) *width = parts ? orig->parts[0].textureWidth : record->Width;
    if (height) *height = parts ? orig->parts[0].textureHeight : record->Height;
    return 0;
}

int SetTransparentColor(int red, int green, int blue) {
    if (GetScreenColorBitDepth() == 8) return 0;
    GraphCreateSettings.transColor = ((red & 0xFFu) << 16) | ((green & 0xFFu) << 8) | (blue & 0xFFu);
    BaseImage_SetLoadTransparentColor(GraphCreateSettings.transColor);
    return 0;
}

int QueryTransColor(int* red, int* green, int* blue) {
    if (GetScreenColorBitDepth() == 8) return -1;
    const uint32_t key = GraphCreateSettings.transColor;
    if (red) *red = (key >> 16) & 0xFF;
    if (green) *green = (key >> 8) & 0xFF;
    if (blue) *blue = key & 0xFF;
    return 0;
}

}  // namespace Vantrel
