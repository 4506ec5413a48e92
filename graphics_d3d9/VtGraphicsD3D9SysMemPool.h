// Direct3D 9 system-memory pools: the off-screen surfaces and whole textures in D3DPOOL_SYSTEMMEM that
// every upload into a default-pool texture (and the draw target's read-back) is staged through, handed out
// by key, kept for reuse, and released after two seconds unused, to make room, or with the device.
// Stands on the call layer, the device's format table, the main-thread requests, the clock and the log.
#pragma once

#include <d3d9.h>
#include <stdint.h>

namespace Vantrel {

struct GraphOrigRecord;

constexpr int D3D9SysMemPoolSize = 2048;
constexpr int D3D9SysMemPoolMaxPerKey = 16;     // at most this many entries share one key
constexpr int32_t D3D9SysMemPoolIdleMs = 2000;  // a free entry unused this long goes at the per-frame release

// One slot of the surface pool.
struct D3D9SysMemSurfaceEntry {
    uint8_t Used;                 // the slot holds an object
    uint8_t UseFlag;              // a transfer holds the object
    int16_t Width;
    int16_t Height;
    D3DFORMAT Format;
    int32_t UseCount;             // 1 at creation, plus 1 each time it is handed out again
    uint32_t FreeTime;            // GetMillisecondCount when it was last given back
    IDirect3DSurface9* Surface;   // owned by the slot
};

// One slot of the texture pool.
struct D3D9SysMemTextureEntry {
    uint8_t Used;
    uint8_t UseFlag;
    uint8_t CubeMap;              // a cube texture; Width is its edge
    uint8_t MipMapCount;
    int16_t Width;
    int16_t Height;
    D3DFORMAT Format;
    int32_t UseCount;
    uint32_t FreeTime;
    IDirect3DBaseTexture9* Texture;   // IDirect3DTexture9 or IDirect3DCubeTexture9, owned by the slot
};

struct D3D9SysMemSurfacePoolRecord {
    int32_t UsedCount;
    int32_t FailureDumped;        // the first creation failure of the run listed the pool
    D3D9SysMemSurfaceEntry Entries[D3D9SysMemPoolSize];
};

struct D3D9SysMemTexturePoolRecord {
    int32_t UsedCount;
    int32_t FailureDumped;
    D3D9SysMemTextureEntry Entries[D3D9SysMemPoolSize];
};

extern D3D9SysMemSurfacePoolRecord D3D9SysMemSurfacePool;
extern D3D9SysMemTexturePoolRecord D3D9SysMemTexturePool;

// The slot index of a busy object of that key, or -1 (try again later: run the message pump, sleep 1 ms).
// A non-null async (a loader thread) has the main thread do the work.
int Graphics_D3D9_SysMemSurfacePool_Get(int width, int height, D3DFORMAT format, void* async);
int Graphics_D3D9_SysMemTexturePool_Get(int cubeMap, int width, int height, int mipLevels, D3DFORMAT format,
                                        void* async);
// The texture pool's Get for one texture part of a full image.
int Graphics_D3D9_SysMemTexturePool_GetForTexture(const GraphOrigRecord* orig, int part, void* async);
// Give the object back (on failure paths too); 0.
int Graphics_D3D9_SysMemSurfacePool_ClearUseFlag(int index, void* async);
int Graphics_D3D9_SysMemTexturePool_ClearUseFlag(int index, void* async);
// Release the objects of every used entry, or with freeOnly set only of those not busy; 0.
int Graphics_D3D9_SysMemSurfacePool_Release(int freeOnly);
int Graphics_D3D9_SysMemTexturePool_Release(int freeOnly);
// Release free entries given back at least 2000 ms ago; -1 off the main thread.
int Graphics_D3D9_SysMemSurfacePool_ReleaseUnused();
int Graphics_D3D9_SysMemTexturePool_ReleaseUnused();
// The texture pool, then the surface pool, wholly; -1 without a device.
int Graphics_D3D9_SysMemPool_ReleaseAll();
// Make the device object of an entry from its key (also after the device was made anew); 0 or -1.
int Graphics_D3D9_SysMemSurfacePool_CreateObject(D3D9SysMemSurfaceEntry* entry);
int Graphics_D3D9_SysMemTexturePool_CreateObject(D3D9SysMemTextureEntry* entry);

// The object of a busy slot (null for an index that holds none).
IDirect3DSurface9* Graphics_D3D9_SysMemSurfacePool_Surface(int index);
IDirect3DBaseTexture9* Graphics_D3D9_SysMemTexturePool_Texture(int index);

// Around a device re-creation: every used entry's object released (the entries stay used, busy or not),
// then made anew on the new device (-1 without one). 0.
int Graphics_D3D9_SysMemPool_ReleaseObjects();
int Graphics_D3D9_SysMemPool_CreateObjects();

}  // namespace Vantrel
