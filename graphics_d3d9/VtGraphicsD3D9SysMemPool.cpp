// Direct3D 9 system-memory pools: two fixed tables of 2048 slots, scanned linearly, one for off-screen
// surfaces and one for whole textures. Both tables live on the main thread only; loader threads post
// their Get and ClearUseFlag there.
// Stands on the call layer, the device's format table, the main-thread requests, the clock and the log.
#include "graphics_d3d9/VtGraphicsD3D9SysMemPool.h"

#include "foundation/VtASyncLoad.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics_d3d9/VtGraphicsD3D9Call.h"
#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "system/VtTime.h"

namespace Vantrel {

D3D9SysMemSurfacePoolRecord D3D9SysMemSurfacePool;
D3D9SysMemTexturePoolRecord D3D9SysMemTexturePool;

namespace {

// ---- What differs between the two pools ----

struct SurfaceKey {
    int16_t Width, Height;
    D3DFORMAT Format;
};

struct TextureKey {
    uint8_t CubeMap, MipMapCount;
    int16_t Width, Height;
    D3DFORMAT Format;
};

bool KeyMatches(const D3D9SysMemSurfaceEntry& entry, const SurfaceKey& key) {
    return entry.Width == key.Width && entry.Height == key.Height && entry.Format == key.Format;
}

bool KeyMatches(const D3D9SysMemTextureEntry& entry, const TextureKey& key) {
    return entry.CubeMap == key.CubeMap && entry.Width == key.Width && entry.Height == key.Height &&
           entry.MipMapCount == key.MipMapCount && entry.Format == key.Format;
}

void WriteKey(D3D9SysMemSurfaceEntry& entry, const SurfaceKey& key) {
    entry.Width = key.Width;
    entry.Height = key.Height;
    entry.Format = key.Format;
}

void WriteKey(D3D9SysMemTextureEntry& entry, const TextureKey& key) {
    entry.CubeMap = key.CubeMap;
    entry.MipMapCount = key.MipMapCount;
    entry.Width = key.Width;
    entry.Height = key.Height;
    entry.Format = key.Format;
}

void ReleaseObject(D3D9SysMemSurfaceEntry& entry) {
    if (entry.Surface != nullptr) D3D9Call_Object_Release(entry.Surface);
    entry.Surface = nullptr;
}

void ReleaseObject(D3D9SysMemTextureEntry& entry) {
    if (entry.Texture != nullptr) D3D9Call_Object_Release(entry.Texture);
    entry.Texture = nullptr;
}

int CreateObject(D3D9SysMemSurfaceEntry& entry) { return Graphics_D3D9_SysMemSurfacePool_CreateObject(&entry); }
int CreateObject(D3D9SysMemTextureEntry& entry) { return Graphics_D3D9_SysMemTexturePool_CreateObject(&entry); }

// Every used entry's object released or made anew; the entries themselves stay as they are.
template <typename Pool>
void ReleaseObjectsOnly(Pool& pool) {
    for (auto& entry : pool.Entries)
        if (entry.Used) ReleaseObject(entry);
}

template <typename Pool>
void CreateObjectsAgain(Pool& pool) {
    for (auto& entry : pool.Entries)
        if (entry.Used) CreateObject(entry);
}

int ReleasePool(D3D9SysMemSurfacePoolRecord&, int freeOnly) { return Graphics_D3D9_SysMemSurfacePool_Release(freeOnly); }
int ReleasePool(D3D9SysMemTexturePoolRecord&, int freeOnly) { return Graphics_D3D9_SysMemTexturePool_Release(freeOnly); }

// ---- The pool logic both share ----

template <typename Entry>
void ClearEntry(Entry& entry) {
    ReleaseObject(entry);
    entry.Used = 0;
    entry.UseFlag = 0;
    entry.UseCount = 0;
}

template <typename Pool, typename Key>
int GetEntry(Pool& pool, const Key& key) {
    // Look for a free entry of the key among the used ones, noting the first hole met.
    int firstHole = -1, matches = 0, seen = 0, index = 0;
    for (; seen < pool.UsedCount && index < D3D9SysMemPoolSize; ++index) {
        auto& entry = pool.Entries[index];
        if (!entry.Used) {
            if (firstHole < 0) firstHole = index;
            continue;
        }
        ++seen;
        if (!KeyMatches(entry, key)) continue;
        ++matches;
        if (!entry.UseFlag) {
            entry.UseCount++;
            entry.UseFlag = 1;
            return index;
        }
        if (matches >= D3D9SysMemPoolMaxPerKey) return -1;
    }

    int slot;
    if (pool.UsedCount >= D3D9SysMemPoolSize) {
        // Full: evict the free entry used least often (the later slot on equal counts).
        slot = -1;
        for (int i = 0; i < D3D9SysMemPoolSize; ++i) {
            const auto& entry = pool.Entries[i];
            if (entry.UseFlag) continue;
            if (slot < 0 || (uint32_t)entry.UseCount <= (uint32_t)pool.Entries[slot].UseCount) slot = i;
        }
        if (slot < 0) return -1;
        ClearEntry(pool.Entries[slot]);
        pool.UsedCount--;
    } else {
        slot = firstHole >= 0 ? firstHole : index;
    }

    auto& entry = pool.Entries[slot];
    WriteKey(entry, key);
    entry.UseCount = 1;
    if (CreateObject(entry) < 0) {
        // Make room in device memory by dropping every free object, then once more.
        ReleasePool(pool, 1);
        if (CreateObject(entry) < 0) {
            entry.UseCount = 0;
            return -1;
        }
    }
    entry.Used = 1;
    entry.UseFlag = 1;
    pool.UsedCount++;
    return slot;
}

template <typename Pool>
int ClearUseFlag(Pool& pool, int index) {
    if (index < 0 || index >= D3D9SysMemPoolSize) return 0;
    auto& entry = pool.Entries[index];
    if (entry.Used && entry.UseFlag) {
        entry.UseFlag = 0;
        entry.FreeTime = (uint32_t)GetMillisecondCount();
    }
    return 0;
}

// Releases the used entries `take` picks; walks only as far as the used count reaches.
template <typename Pool, typename Take>
int ReleaseEntries(Pool& pool, Take take) {
    int released = 0, seen = 0;
    const int usedCount = pool.UsedCount;
    for (int i = 0; seen < usedCount && i < D3D9SysMemPoolSize; ++i) {
        auto& entry = pool.Entries[i];
        if (!entry.Used) continue;
        ++seen;
        if (!take(entry)) continue;
        ClearEntry(entry);
        ++released;
    }
    pool.UsedCount -= released;
    return 0;
}

template <typename Pool>
int ReleaseUnused(Pool& pool) {
    if (!ASyncLoad_IsMainThread()) return -1;
    const uint32_t now = (uint32_t)GetMillisecondCount();
    // The clock runs in 31 bits: the age is taken in the same width.
    return ReleaseEntries(pool, [now](const auto& entry) {
        return !entry.UseFlag && ((now - entry.FreeTime) & 0x7FFFFFFFu) >= (uint32_t)D3D9SysMemPoolIdleMs;
    });
}

// The memory figures every creation-failure line ends with.
struct MemoryFigures {
    int32_t Blocks;
    uint32_t Bytes;
};

MemoryFigures ReadMemory() { return {Memory_GetBlockCount(), Memory_GetTotalSize()}; }

bool SizeFits(int width, int height) { return width > 0 && height > 0 && width <= 0x7FFF && height <= 0x7FFF; }

}  // namespace

// ---- Surfaces ----

int Graphics_D3D9_SysMemSurfacePool_Get(int width, int height, D3DFORMAT format, void* async) {
    if (async != nullptr)
        return ASyncLoad_MainThreadRequest_PostWords(
            [](MainThreadRequest* r) {
                return Graphics_D3D9_SysMemSurfacePool_Get((int)r->Params[0], (int)r->Params[1],
                                                           (D3DFORMAT)r->Params[2], nullptr);
            },
            {(intptr_t)width, (intptr_t)height, (intptr_t)format});
    if (!SizeFits(width, height)) {
        Log_AddFormatUTF16(L"メモリサーフェスのサイズが不正です SizeX:%d SizeY:%d\n", width, height);
        return -1;
    }
    return GetEntry(D3D9SysMemSurfacePool, SurfaceKey{(int16_t)width, (int16_t)height, format});
}

int Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(int index, void* async) {
    if (async != nullptr)
        return ASyncLoad_MainThreadRequest_PostWords(
            [](MainThreadRequest* r) { return Graphics_D3D9_SysMemSurfacePool_ClearUseFlag((int)r->Params[0], nullptr); },
            {(intptr_t)index});
    return ClearUseFlag(D3D9SysMemSurfacePool, index);
}

int Graphics_D3D9_SysMemSurfacePool_Release(int freeOnly) {
    return ReleaseEntries(D3D9SysMemSurfacePool, [freeOnly](const D3D9SysMemSurfaceEntry& entry) {
        return !(freeOnly && entry.UseFlag);
    });
}

int Graphics_D3D9_SysMemSurfacePool_ReleaseUnused() { return ReleaseUnused(D3D9SysMemSurfacePool); }

int Graphics_D3D9_SysMemSurfacePool_CreateObject(D3D9SysMemSurfaceEntry* entry) {
    const HRESULT result = D3D9Call_Device_CreateOffscreenPlainSurface(
        (UINT)entry->Width, (UINT)entry->Height, entry->Format, D3DPOOL_SYSTEMMEM, &entry->Surface, nullptr);
    if (result == D3D_OK) return 0;
    entry->Surface = nullptr;
    const MemoryFigures memory = ReadMemory();
    const wchar_t* line =
        L"メモリサーフェスの作成に失敗しました PosNo.%d  エラーコード:0x%08x SizeX:%d SizeY:%d Format:%d "
        L"総メモリ確保数:%d 総確保メモリサイズ:%dByte(%dKByte)\n";
    Log_AddFormatUTF16(line, 1, (unsigned)result, entry->Width, entry->Height, (int)entry->Format, memory.Blocks,
                       (int)memory.Bytes, (int)(memory.Bytes / 1024));
    D3D9SysMemSurfacePoolRecord& pool = D3D9SysMemSurfacePool;
    if (!pool.FailureDumped) {
        pool.FailureDumped = 1;
        Log_AddFormatUTF16(line, 2, (unsigned)result, entry->Width, entry->Height, (int)entry->Format, memory.Blocks,
                           (int)memory.Bytes, (int)(memory.Bytes / 1024));
        Log_AddFormatUTF16(L"非管理テクスチャへのデータ転送用システムメモリ配置サーフェスの数：%d\n", pool.UsedCount);
        for (int i = 0, seen = 0; seen < pool.UsedCount && i < D3D9SysMemPoolSize; ++i) {
            const D3D9SysMemSurfaceEntry& used = pool.Entries[i];
            if (!used.Used) continue;
            ++seen;
            Log_AddFormatWide(L"No%d. UseFlag:%d UseCount:%d SizeX:%d SizeY:%d Format:%d\n", i, used.UseFlag,
                              used.UseCount, used.Width, used.Height, (int)used.Format);
        }
    }
    return -1;
}

IDirect3DSurface9* Graphics_D3D9_SysMemSurfacePool_Surface(int index) {
    if (index < 0 || index >= D3D9SysMemPoolSize || !D3D9SysMemSurfacePool.Entries[index].Used) return nullptr;
    return D3D9SysMemSurfacePool.Entries[index].Surface;
}

// ---- Textures ----

int Graphics_D3D9_SysMemTexturePool_Get(int cubeMap, int width, int height, int mipLevels, D3DFORMAT format,
                                        void* async) {
    if (async != nullptr)
        return ASyncLoad_MainThreadRequest_PostWords(
            [](MainThreadRequest* r) {
                return Graphics_D3D9_SysMemTexturePool_Get((int)r->Params[0], (int)r->Params[1], (int)r->Params[2],
                                                           (int)r->Params[3], (D3DFORMAT)r->Params[4], nullptr);
            },
            {(intptr_t)cubeMap, (intptr_t)width, (intptr_t)height, (intptr_t)mipLevels, (intptr_t)format});
    if (!SizeFits(width, height) || mipLevels < 0 || mipLevels > 0xFF) {
        Log_AddFormatUTF16(L"メモリテクスチャのサイズが不正です SizeX:%d SizeY:%d MipMapCount:%d\n", width, height,
                           mipLevels);
        return -1;
    }
    return GetEntry(D3D9SysMemTexturePool,
                    TextureKey{(uint8_t)(cubeMap ? 1 : 0), (uint8_t)mipLevels, (int16_t)width, (int16_t)height, format});
}

int Graphics_D3D9_SysMemTexturePool_GetForTexture(const GraphOrigRecord* orig, int part, void* async) {
    if (orig == nullptr || part < 0 || part >= orig->partCount || orig->colorFormatIndex < 0 ||
        orig->colorFormatIndex >= D3D9TextureFormatCount)
        return -1;
    const GraphTexturePart& texturePart = orig->parts[part];
    return Graphics_D3D9_SysMemTexturePool_Get(orig->format.cubeMap, texturePart.textureWidth,
                                               texturePart.textureHeight, orig->mipLevels,
                                               D3D9TextureFormatTable[orig->colorFormatIndex], async);
}

int Graphics_D3D9_SysMemTexturePool_ClearUseFlag(int index, void* async) {
    if (async != nullptr)
        return ASyncLoad_MainThreadRequest_PostWords(
            [](MainThreadRequest* r) { return Graphics_D3D9_SysMemTexturePool_ClearUseFlag((int)r->Params[0], nullptr); },
            {(intptr_t)index});
    return ClearUseFlag(D3D9SysMemTexturePool, index);
}

int Graphics_D3D9_SysMemTexturePool_Release(int freeOnly) {
    return ReleaseEntries(D3D9SysMemTexturePool, [freeOnly](const D3D9SysMemTextureEntry& entry) {
        return !(freeOnly && entry.UseFlag);
    });
}

int Graphics_D3D9_SysMemTexturePool_ReleaseUnused() { return ReleaseUnused(D3D9SysMemTexturePool); }

int Graphics_D3D9_SysMemTexturePool_CreateObject(D3D9SysMemTextureEntry* entry) {
    HRESULT result;
    if (entry->CubeMap) {
        IDirect3DCubeTexture9* cube = nullptr;
        result = D3D9Call_Device_CreateCubeTexture((UINT)entry->Width, entry->MipMapCount, D3DUSAGE_DYNAMIC,
                                                   entry->Format, D3DPOOL_SYSTEMMEM, &cube, nullptr);
        entry->Texture = result == D3D_OK ? cube : nullptr;
    } else {
        IDirect3DTexture9* texture = nullptr;
        result = D3D9Call_Device_CreateTexture((UINT)entry->Width, (UINT)entry->Height, entry->MipMapCount,
                                               D3DUSAGE_DYNAMIC, entry->Format, D3DPOOL_SYSTEMMEM, &texture, nullptr);
        entry->Texture = result == D3D_OK ? texture : nullptr;
    }
    if (result == D3D_OK) return 0;
    const MemoryFigures memory = ReadMemory();
    if (entry->CubeMap) {
        // The cube texture's edge stands for both sizes.
        Log_AddFormatUTF16(L"メモリキューブマップテクスチャの作成に失敗しました  エラーコード:0x%08x SizeX:%d SizeY:%d "
                           L"Format:%d 総メモリ確保数:%d 総確保メモリサイズ:%dByte(%dKByte)\n",
                           (unsigned)result, entry->Width, entry->Width, (int)entry->Format, memory.Blocks,
                           (int)memory.Bytes, (int)(memory.Bytes / 1024));
        return -1;
    }
    const wchar_t* line = L"メモリテクスチャの作成に失敗しました  エラーコード:0x%08x SizeX:%d SizeY:%d Format:%d "
                          L"総メモリ確保数:%d 総確保メモリサイズ:%dByte(%dKByte)\n";
    const int repeats = D3D9SysMemTexturePool.FailureDumped ? 1 : 2;
    for (int i = 0; i < repeats; ++i)
        Log_AddFormatUTF16(line, (unsigned)result, entry->Width, entry->Height, (int)entry->Format, memory.Blocks,
                           (int)memory.Bytes, (int)(memory.Bytes / 1024));
    D3D9SysMemTexturePoolRecord& pool = D3D9SysMemTexturePool;
    if (!pool.FailureDumped) {
        pool.FailureDumped = 1;
        Log_AddFormatUTF16(L"非管理テクスチャへのデータ転送用システムメモリ配置テクスチャの数：%d\n", pool.UsedCount);
        for (int i = 0, seen = 0; seen < pool.UsedCount && i < D3D9SysMemPoolSize; ++i) {
            const D3D9SysMemTextureEntry& used = pool.Entries[i];
            if (!used.Used) continue;
            ++seen;
            Log_AddFormatWide(L"No%d. UseFlag:%d UseCount:%d CubeMap:%d SizeX:%d SizeY:%d MipMapCount:%d Format:%d\n", i,
                              used.UseFlag, used.UseCount, used.CubeMap, used.Width, used.Height, used.MipMapCount,
                              (int)used.Format);
        }
    }
    return -1;
}

IDirect3DBaseTexture9* Graphics_D3D9_SysMemTexturePool_Texture(int index) {
    if (index < 0 || index >= D3D9SysMemPoolSize || !D3D9SysMemTexturePool.Entries[index].Used) return nullptr;
    return D3D9SysMemTexturePool.Entries[index].Texture;
}

// ---- Both ----

int Graphics_D3D9_SysMemPool_ReleaseAll() {
    if (!D3D9Call_Device_Exists()) return -1;
    Graphics_D3D9_SysMemTexturePool_Release(0);
    Graphics_D3D9_SysMemSurfacePool_Release(0);
    return 0;
}

int Graphics_D3D9_SysMemPool_ReleaseObjects() {
    ReleaseObjectsOnly(D3D9SysMemTexturePool);
    ReleaseObjectsOnly(D3D9SysMemSurfacePool);
    return 0;
}

int Graphics_D3D9_SysMemPool_CreateObjects() {
    if (!D3D9Call_Device_Exists()) return -1;
    CreateObjectsAgain(D3D9SysMemTexturePool);
    CreateObjectsAgain(D3D9SysMemSurfacePool);
    return 0;
}

}  // namespace Vantrel
