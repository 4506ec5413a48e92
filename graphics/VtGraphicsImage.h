// Graph handles and their shared full images: the records, the creation settings, the set-up of a
// graph on a new full image (format choice, division into texture parts, draw parts or, without a
// device, a memory image), derivation, source records, deletion and the sweeps over all graphs;
// creation, loading (at once or on the loader threads), image transfer and the restore after a
// device loss.
// Stands on the handle manager, the asynchronous loader, base images, memory images, the image
// loader chain and the switch layer.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtHandle.h"
#include "image/VtBaseImage.h"
#include "image/VtImageLoad.h"
#include "image/VtMemImg.h"
#include "graphics/VtGraphicsDraw.h"  // CreateDrawableGraph, LoadGraphFile, DeleteGraph
#include "movie/VtMovie.h"

namespace Vantrel {

constexpr int GraphHandle_MaxCount = 0x40000;
constexpr int GraphHandle_InlineDrawParts = 4;
constexpr int GraphOrig_MaxTextureParts = 256;
constexpr int GraphOrig_PlatformAreaSlots = 9;

struct GraphFormatDesc {
    uint8_t hardware, cubeMap, alpha, drawable, softwareImage, managed;
    uint8_t explicitFormat;          // 0, or the device format of the Direct3D 9 back-end's explicit-format table
    uint8_t reserved;
    uint8_t compressedFormat, mipLevels, alphaTest, isFloat, bitDepth, channelCount, channelBits;
    uint8_t blendImage, palette, multiSampleCount, multiSampleQuality;
};

struct GraphTexturePart {
    void** platformArea;             // GraphOrig_PlatformAreaSlots pointers owned by the back-end
    int32_t x, y;
    int32_t usedWidth, usedHeight;
    int32_t textureWidth, textureHeight;
};

struct GraphDrawVertex {
    float x, y, u, v;
};

struct GraphDrawPart {
    int32_t destX, destY;
    float destXF, destYF;
    int32_t srcX, srcY;
    float srcXF, srcYF;
    int32_t width, height;
    float widthF, heightF;
    GraphDrawVertex vertices[4];
    uint8_t diagonalSide[4];
    GraphTexturePart* part;
};

// The full image: one block holding the record, then partCount texture parts, then their
// platform areas.
struct GraphOrigRecord {
    int32_t refCount;
    int32_t colorFormatIndex;
    GraphFormatDesc format;
    uint32_t transColor;
    int32_t width, height;
    int32_t hasDepthBuffer;
    int32_t depthFormat;
    int32_t restored;
    int32_t singleTexture;
    int32_t movie;
    int32_t mipLevels;
    void* externalTexture;           // a texture the program made itself (ID3D11Texture2D), used as it is; null when none
    int32_t partCount;
    GraphTexturePart* parts;
    MEMIMG memImage;                 // without a device
};

struct GraphSourceInfo {
    wchar_t* fileName;
    BaseImage* image;
    BaseImage* alphaImage;
    void* memImage;
    int32_t memSize;
    void* alphaMemImage;
    int32_t alphaMemSize;
    int32_t mirror;
    int32_t premultiplyAlpha;
    int32_t noTransColor;
    int32_t refCount;
};

struct GraphHandleRecord {
    HandleHeader Header;
    int32_t* lostNotify;
    GraphSourceInfo* sourceInfo;
    int32_t sourceX, sourceY;
    float sourceXF, sourceYF;
    GraphOrigRecord* Orig;
    int32_t x, y;
    float xF, yF;
    int32_t Width, Height;
    float widthF, heightF;
    int32_t keepAlways;
    int32_t keepAtModeChange;
    int32_t deleteOnDeviceLoss;
    MEMIMG memImage;                 // without a device: the graph's view of the full image
    int32_t drawPartCount;
    GraphDrawPart drawParts[GraphHandle_InlineDrawParts];   // grown with the record when more are needed
};

struct GraphCreateParam {
    int32_t transColor;
    int32_t bitDepth;
    int32_t isFloat;
    int32_t channelCount;
    int32_t channelBits;
    int32_t alphaTest;
    int32_t alpha;
    int32_t cubeMap;
    int32_t blendImage;
    int32_t managed;
    int32_t reserved11, reserved12;
    int32_t drawable;
    int32_t drawableAlpha;
    int32_t drawableIsFloat;
    int32_t withDepthBuffer;
    int32_t drawableMipLevels;
    int32_t drawableChannelCount;
    int32_t depthBits;
    int32_t multiSampleCount, multiSampleQuality;
    int32_t mipLevels;
    int32_t maxTextureSize;
    int32_t reserved24;
    int32_t noAlphaImage;
    int32_t noPaletteTexture;
    int32_t keepAlways;
    int32_t keepAtModeChange;
    int32_t handleToReuse;
    int32_t* handleArray;
    int32_t handleArrayCount;
    int32_t singleTexture;
};

struct GraphLoadParam {
    BaseImageLoadSettings loadSettings;
    MovieOpenSettings movieSettings;
    GraphCreateParam create;
    int32_t noTransColor;
    int32_t transColorToAlpha;
    int32_t leftTopIsTransColor;
    int32_t noSourceInfo;
    int32_t refresh;
    int32_t graph;
    int32_t wholeGraph;
    const wchar_t* fileName;
    const void* memImage;
    int32_t memSize;
    const void* alphaMemImage;
    int32_t alphaMemSize;
    const BITMAPINFO* bitmapInfo;
    const void* bitmapBits;
    const BITMAPINFO* alphaBitmapInfo;
    const void* alphaBitmapBits;
    const BaseImage* image;
    const BaseImage* alphaImage;
    int32_t count, columns, rows;
    int32_t floatCoords;
    int32_t cellWidth;
    float cellWidthF;
    int32_t cellHeight;
    float cellHeightF;
    int32_t stepX;
    float stepXF;
    int32_t stepY;
    float stepYF;
    int32_t* handles;
    int32_t option;
    int32_t mirror;
    int32_t movieOption;
};

// The creation settings the Init functions copy.
struct GraphCreateSettingsRecord {
    uint32_t transColor;             // 0x00RRGGBB
    int32_t bitDepth;
    int32_t alphaTest;
    int32_t keepAtModeChange;        // the inverted state of SetDeleteGraphsOnModeChange
    const int32_t* handleArray;      // handle values for the cells of divided graphs, or null
    int32_t handleArrayCount;
};
extern GraphCreateSettingsRecord GraphCreateSettings;

// ---- Handles and records ----
GraphHandleRecord* Graphics_Image_GetGraphRecord(int graph, int inJob);
int Graphics_Image_CheckGraphHandle(int graph);
// The part of a transfer of `source` (image pixels) placed at (destX, destY) that falls on one texture part
// of the full image, or on one division of a graph: the destination rectangle in the part's texture and the
// matching source rectangle; -1 when nothing overlaps.
int Graphics_Image_ClipBltRectByTexturePart(const RECT* source, int destX, int destY, const GraphTexturePart* part,
                                            RECT* sourceOut, RECT* destOut);
int Graphics_Image_ClipBltRectByImage(const RECT* source, int destX, int destY, const GraphDrawPart* division,
                                      RECT* sourceOut, RECT* destOut);
int Graphics_Image_HandleRecord_Terminate(HandleHeader* record);
int Graphics_Image_HandleRecord_Dump(HandleHeader* record);
// Keep filter of the module end and of screen-mode changes: non-zero keeps the graph.
int Graphics_Image_HandleFilter_ModeChange(HandleHeader* record);
int Graphics_Image_DeleteLostFlaggedGraphs();

void Graphics_Image_InitCreateParam(GraphCreateParam* out);
// Names the handle values that divided graphs created afterwards take for their cells (null: none).
// The array stays the caller's; every creation parameter made meanwhile owns a copy of it.
void Graphics_Image_SetCreateHandleArray(const int32_t* handles, int count);
void Graphics_Image_InitGraphFormatParam(GraphCreateParam* out, int bitDepth, int alpha, int alphaTest);
void Graphics_Image_InitRenderTargetFormatParam(GraphCreateParam* out, int bitDepth, int alpha);
void Graphics_Image_InitLoadParam(GraphLoadParam* out);
void Graphics_Image_ResetCreateDefaults();

// ---- Format and division ----
void Graphics_Image_BuildFormatDesc(GraphFormatDesc* out, const GraphCreateParam* param, int width, int height,
                                    int alpha, int palette, int paletteBits, int compressedFormat, int mipLevels);
int Graphics_Image_SelectTextureColorFormat(const GraphFormatDesc* desc);
const ColorFormatDesc* Graphics_Image_GetTextureColorFormatByIndex(int index);
// Part sizes of one axis into sizes (at least 32 entries); the part count.
int Graphics_Image_ListTextureSizes(int size, int16_t* sizes, int maxTextureSize, int blockCompressed);
int Graphics_Image_ComputeMipLevelSize(int width, int height, int level, int* outWidth, int* outHeight);
int Graphics_Image_BuildDrawParts(int graph, int floatMode, int inJob);
int Graphics_Image_CheckMSAADrawTarget(int graph);
int Graphics_Image_SetupHandle_GParam(const GraphCreateParam* param, int graph, int width, int height, int unused,
                                      int alpha, int palette, int paletteBits, int compressedFormat, int mipLevels,
                                      int inJob);

// ---- Movie frames ----
// Opens a movie into the graph being loaded (the graph set up at the movie's size, the callback
// registered); 0 / -1 (logged).
int Graphics_Image_OpenMovieGraph(GraphLoadParam* param, int graph, const wchar_t* fileName, const void* memImage,
                                  int memSize, int option, int movieOption, int unused, int inJob);
// The frame callback: moves the movie's current frame into the graph. Failures keep the old pixels.
int Graphics_Image_UpdateMovieGraph(MovieRecord* movie, int graph);

// ---- Derivation and source records ----
int DeriveGraphRect(int x, int y, int width, int height, int sourceGraph);
int Graphics_Image_DeriveGraphRect_GParam(int floatMode, int x, float xF, int y, float yF, int width, float widthF,
                                          int height, float heightF, int sourceGraph, int inJob);
// Sets a new graph up on the rectangle (already checked and clamped) of a source graph: it shares the
// source's full image and source record and lies at the source's position plus the offsets.
int Graphics_Image_InitDerivedHandle(int graph, int floatMode, int x, float xF, int y, float yF, int width,
                                     float widthF, int height, float heightF, int sourceGraph, int inJob);
int Graphics_Image_DeriveGraphBase(int graph, int floatMode, int x, float xF, int y, float yF, int width, float widthF,
                                   int height, float heightF, int sourceGraph, int inJob);
// The source kinds in order of preference: a live source graph (its record shared), a file name,
// a bitmap (a DIB section with its colour format, kept as a base-image copy), a memory image, base images.
int Graphics_Image_SetSourceInfo(int noSourceInfo, int graph, const wchar_t* fileName,
                                 const ColorFormatDesc* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                                 const void* memImage, int memSize, const void* alphaMemImage, int alphaMemSize,
                                 const BaseImage* image, const BaseImage* alphaImage, int mirror, int premultiplyAlpha,
                                 int noTransColor, int sourceGraph, int inJob);
// A DIB section's bits described as a base image of the given colour format (the pixels stay the
// bitmap's); -1 for a bitmap whose header cannot be read or that has no bits in memory.
int Graphics_Image_DescribeBitmap(HBITMAP bitmap, const ColorFormatDesc* format, BaseImage* out);
int Graphics_Image_ShareSourceInfo(int graph, int sourceGraph, int inJob);
int SetGraphLostNotifyFlag(int graph, int* flag);
int SetDeleteGraphsOnModeChange(int flag);

// ---- Creation and loading ----
int Graphics_Image_MakeEmptyGraph_GParam(const GraphCreateParam* param, int width, int height, int unused, int palette,
                                         int paletteBits, int async, int inJob);
int MakeGraph(int width, int height);
// A graph (or, refreshing, 0) loaded from the parameter's file, memory image or base images; -1.
int Graphics_Image_CreateGraph_GParam(GraphLoadParam* param, int async, int inJob);
int Graphics_Image_LoadGraphWorker(GraphLoadParam* param, int graph, int inJob);
int Graphics_Image_MakeGraphFromBaseImage_GParam(GraphLoadParam* param, int graph, const BaseImage* image,
                                                 const BaseImage* alphaImage, int inJob);
int Graphics_Image_CreateGraphForImage_GParam(const GraphCreateParam* param, int graph, const BaseImage* image,
                                              const BaseImage* alphaImage, int inJob);
int LoadGraphFileEx(const char* fileName, int option, int mirror, int movieOption);
int LoadGraphFileExW(const wchar_t* fileName, int option, int mirror, int movieOption);
// A graph from an image file held in memory (and its alpha image file, or null).
int CreateGraphFromMemoryImage(const void* image, int size, const void* alphaImage, int alphaSize, int mirror);
int CreateDivGraphFromMemoryImage(const void* image, int size, int count, int columns, int rows, int cellWidth,
                                  int cellHeight, int* handles, int option, int mirror, const void* alphaImage,
                                  int alphaSize);

// The images a load works on: loaded (owned), converted from a bitmap (owned) or the caller's.
struct GraphSourceImages {
    BaseImage image, alphaImage;
    const BaseImage* use;
    const BaseImage* useAlpha;
    int32_t owned, hasAlpha;
    const GraphLoadParam* caller;    // the caller's images, mirrored back when released
};
// The parameter's file, memory image, bitmap or base images as images (mirrored when asked); -1
// when none can be had.
int Graphics_Image_LoadSourceImage(GraphLoadParam* param, GraphSourceImages* out);
void Graphics_Image_ReleaseSourceImage(GraphSourceImages* images);
// Records where the graph's pixels came from (or shares sourceGraph's record when >= 0).
int Graphics_Image_RecordSource(const GraphLoadParam* param, int graph, const GraphSourceImages* images,
                                int sourceGraph, int inJob);
// Queues a load job over the parameter (copied whole) and begins it on each handle; -1 when it
// cannot be queued. A job procedure takes its parameters and handles back with UnpackLoadJob and
// ends with FinishLoadJob, which ends the handles' count and deletes them when the work failed.
int Graphics_Image_QueueLoadJob(const GraphLoadParam* param, const int32_t* handles, int handleCount,
                                ASyncLoadJobProc procedure);
// The loader-thread job of an empty graph made asynchronously: sets the graph up and ends its count
// with the result (a failure deletes the graph).
int Graphics_Image_MakeGraph_ASyncJob(ASyncLoadEntry* entry);
int32_t* Graphics_Image_UnpackLoadJob(ASyncLoadEntry* entry, GraphLoadParam** param, int* handleCount);
void Graphics_Image_FinishLoadJob(const int32_t* handles, int count, int result);

// ---- Divided graphs ----
// The parameter's count, grid, cell and step sizes, handle array and wholeGraph; 0 / -1.
int Graphics_Image_CreateDivGraph_GParam(GraphLoadParam* param, int async, int inJob);
int Graphics_Image_CreateDivGraphFromMemory_GParam(GraphLoadParam* param, const void* image, int size, int count,
                                                   int columns, int rows, int cellWidth, int cellHeight,
                                                   int* handles, int async, int inJob);
int Graphics_Image_LoadDivGraphWorker(GraphLoadParam* param, int inJob);
int CreateDivGraphFromGraphImage(GraphLoadParam* param, const BaseImage* image, const BaseImage* alphaImage,
                                 int inJob);
int Graphics_Image_BltImageToDivGraphs(GraphLoadParam* param, const BaseImage* image, const BaseImage* alphaImage,
                                       int inJob);
int MakeGraphFromBaseImage(const BaseImage* image, const BaseImage* alphaImage, int option);

// ---- Transfer, fill, queries ----
int Graphics_Image_BltImageToGraph(const BaseImageRect* rect, int destX, int destY, int graph, const BaseImage* image,
                                   const BaseImage* alphaImage, int blendImage, int transFlag, int origCoordinates,
                                   int inJob);
int Graphics_Image_BltImageAtSourcePos(const BaseImage* image, const BaseImage* alphaImage, int sourceX, int sourceY,
                                       int graph, int transFlag);
int Graphics_Image_BltImageRectToGraph(const BaseImage* image, const BaseImage* alphaImage, const BaseImageRect* rect,
                                       int x, int y, int graph, int transFlag);
// A bitmap (with its colour format and alpha bitmap or null) or else a base image (and alpha image)
// transferred into the graph at (0, 0) with the current transparent-colour switch; the source is
// recorded on success.
int Graphics_Image_BltBmpOrImageToGraph(const ColorFormatDesc* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                                        int graph, const BaseImage* image, const BaseImage* alphaImage, int inJob);
// The same for the rectangle of the bitmap or image placed at (x, y) of the graph; no source record.
int Graphics_Image_BltBmpOrImageRectToGraph(const BaseImageRect* rect, int x, int y,
                                            const ColorFormatDesc* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                                            int graph, const BaseImage* image, const BaseImage* alphaImage);
// Copies the rectangle (x1, y1)-(x2, y2) of a graph, or of the current draw target when source is
// no live graph, to (x, y) of the destination graph; 0 / -1.
int Graphics_Image_CopyDrawTargetToGraph(int source, int surface, int mipLevel, int x1, int y1, int x2, int y2, int x,
                                         int y, int destination);
// The built-in graphs, made on first use and deleted with the device's loss.
int Graphics_Image_GetPlainWhiteGraph();
int Graphics_Image_GetSsaoPatternTexHandle();
int Graphics_Image_FillGraph_GParam(int graph, int red, int green, int blue, int alpha);
int QueryGraphSize(int graph, int* width, int* height);
int QueryGraphTextureSize(int graph, int* width, int* height);
int SetTransparentColor(int red, int green, int blue);
int QueryTransColor(int* red, int* green, int* blue);
// The texture colour format a graph with only these properties gets (32 or 16 bits).
const ColorFormatDesc* GetTextureColorFormat(int alpha, int alphaTest, int bits32, int drawable);

// The default graph reloader after a device loss.
void Graphics_Image_RestoreFromSourceInfo();

}  // namespace Vantrel
