// Direct3D 9 shader-constant manager: the layered store, the supplier of every register, the use areas of
// each layer, layer selection and the uploads of runs of registers.
// Stands on the call layer, the state cache's force flag and the graphics core's programmable-shader switch.
#include "graphics_d3d9/VtGraphicsD3D9ShaderConstant.h"

#include <string.h>

#include "graphics/VtGraphics.h"
#include "graphics_d3d9/VtGraphicsD3D9Call.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"

namespace Vantrel {

D3D9ShaderConstantManager D3D9ShaderConstants;

namespace {

const int RegisterCounts[D3D9CONST_SET_COUNT] = {256, 16, 16, 224, 16, 16};
const int ElementSizes[D3D9CONST_SET_COUNT] = {16, 16, 4, 16, 16, 4};

bool ValidRange(int set, int first, int count) {
    return set >= 0 && set < D3D9CONST_SET_COUNT && first >= 0 && count >= 0 &&
           (int64_t)first + count <= RegisterCounts[set];
}

void SendToDevice(int set, int first, const uint8_t* data, int count) {
    switch (set) {
        case D3D9CONST_VERTEX_FLOAT: D3D9Call_Device_SetVertexShaderConstantF(first, (const float*)data, count); break;
        case D3D9CONST_VERTEX_INT: D3D9Call_Device_SetVertexShaderConstantI(first, (const int*)data, count); break;
        case D3D9CONST_VERTEX_BOOL: D3D9Call_Device_SetVertexShaderConstantB(first, (const BOOL*)data, count); break;
        case D3D9CONST_PIXEL_FLOAT: D3D9Call_Device_SetPixelShaderConstantF(first, (const float*)data, count); break;
        case D3D9CONST_PIXEL_INT: D3D9Call_Device_SetPixelShaderConstantI(first, (const int*)data, count); break;
        default: D3D9Call_Device_SetPixelShaderConstantB(first, (const BOOL*)data, count); break;
    }
}

void InitializeLayer(D3D9ShaderConstantLayer& layer, int set) {
    layer.RegisterCount = RegisterCounts[set];
    layer.ElementSize = ElementSizes[set];
}

}  // namespace

int Graphics_D3D9_ShaderConstant_Initialize(D3D9ShaderConstantManager* manager) {
    memset(manager, 0, sizeof(*manager));
    memset(manager->Supplier, D3D9ConstantNoSupplier, sizeof(manager->Supplier));
    for (int set = 0; set < D3D9CONST_SET_COUNT; ++set) {
        for (int layer = 0; layer < D3D9ConstantLayerCount; ++layer) InitializeLayer(manager->Layers[set][layer], set);
        InitializeLayer(manager->DeviceCopy[set], set);
    }
    return 0;
}

int Graphics_D3D9_ShaderConstant_UpdateUseArea(D3D9ShaderConstantLayer* layer, int add, int first, int count) {
    if (count <= 0) return 0;
    const int end = first + count;
    uint16_t areas[D3D9ConstantRegisterMax][2];
    int n = 0;
    if (add) {
        int start = first, stop = end;
        bool placed = false;
        for (int i = 0; i < layer->UseAreaCount; ++i) {
            const int a = layer->UseAreas[i][0], b = layer->UseAreas[i][1];
            if (b < start) {
                areas[n][0] = (uint16_t)a, areas[n][1] = (uint16_t)b, ++n;
            } else if (a > stop) {
                if (!placed) areas[n][0] = (uint16_t)start, areas[n][1] = (uint16_t)stop, ++n, placed = true;
                areas[n][0] = (uint16_t)a, areas[n][1] = (uint16_t)b, ++n;
            } else {
                // Overlapping or touching: merged into the new range.
                start = a < start ? a : start;
                stop = b > stop ? b : stop;
            }
        }
        if (!placed) areas[n][0] = (uint16_t)start, areas[n][1] = (uint16_t)stop, ++n;
    } else {
        for (int i = 0; i < layer->UseAreaCount; ++i) {
            const int a = layer->UseAreas[i][0], b = layer->UseAreas[i][1];
            if (b <= first || a >= end) {
                areas[n][0] = (uint16_t)a, areas[n][1] = (uint16_t)b, ++n;
                continue;
            }
            if (a < first) areas[n][0] = (uint16_t)a, areas[n][1] = (uint16_t)first, ++n;
            if (b > end) areas[n][0] = (uint16_t)end, areas[n][1] = (uint16_t)b, ++n;
        }
    }
    memcpy(layer->UseAreas, areas, sizeof(areas[0]) * n);
    layer->UseAreaCount = n;
    return 0;
}

const uint8_t* Graphics_D3D9_ShaderConstant_SuppliedValue(const D3D9ShaderConstantManager* manager, int set, int reg) {
    const int supplier = manager->Supplier[set][reg];
    const int size = ElementSizes[set];
    if (supplier == D3D9ConstantNoSupplier) return manager->DeviceCopy[set].Values + reg * size;
    return manager->Layers[set][supplier].Values + reg * size;
}

int Graphics_D3D9_ShaderConstant_Upload(D3D9ShaderConstantManager* manager, int set, int first, const void* values,
                                        int count) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (set < 0 || set >= D3D9CONST_SET_COUNT) return 0;
    if (!ValidRange(set, first, count)) return -1;
    if (count == 0) return 0;
    const int size = ElementSizes[set];
    uint8_t gathered[D3D9ConstantRegisterMax * 16];
    const uint8_t* data = (const uint8_t*)values;
    if (data == nullptr) {
        for (int i = 0; i < count; ++i)
            memcpy(gathered + i * size, Graphics_D3D9_ShaderConstant_SuppliedValue(manager, set, first + i), size);
        data = gathered;
    }
    // Only the stretch from the first to the last register that differs from the device's copy goes out,
    // unless the state cache forces everything again.
    uint8_t* copy = manager->DeviceCopy[set].Values + first * size;
    int low = 0, high = count - 1;
    if (!D3D9DeviceStateCache.Force) {
        while (low < count && memcmp(copy + low * size, data + low * size, size) == 0) ++low;
        if (low == count) return 0;
        while (high > low && memcmp(copy + high * size, data + high * size, size) == 0) --high;
    }
    const int run = high - low + 1;
    if (GraphicsSystemState.ShadersUsable) SendToDevice(set, first + low, data + low * size, run);
    memmove(copy + low * size, data + low * size, (size_t)run * size);
    return 0;
}

int Graphics_D3D9_ShaderConstant_SetValues(D3D9ShaderConstantManager* manager, int set, int layer, int first,
                                           const void* values, int count, int recordUse) {
    if (!ValidRange(set, first, count) || layer < 0 || layer >= D3D9ConstantLayerCount) return -1;
    if (count == 0) return 0;
    D3D9ShaderConstantLayer& store = manager->Layers[set][layer];
    if (recordUse) Graphics_D3D9_ShaderConstant_UpdateUseArea(&store, 1, first, count);
    const int size = ElementSizes[set];
    memcpy(store.Values + first * size, values, (size_t)count * size);
    const bool active = manager->Active[layer] != 0;
    bool hidden = false;
    for (int reg = first; reg < first + count; ++reg) {
        manager->Used[set][layer][reg] = 1;
        if (!active) continue;
        uint8_t& supplier = manager->Supplier[set][reg];
        if (supplier == D3D9ConstantNoSupplier || supplier <= layer) supplier = (uint8_t)layer;
        else hidden = true;
    }
    // A register a higher layer supplies keeps that layer's value: the run is gathered from the suppliers.
    if (active) Graphics_D3D9_ShaderConstant_Upload(manager, set, first, hidden ? nullptr : values, count);
    return 0;
}

int Graphics_D3D9_ShaderConstant_ResetArea(D3D9ShaderConstantManager* manager, int set, int layer, int first,
                                           int count) {
    if (!ValidRange(set, first, count) || layer < 0 || layer >= D3D9ConstantLayerCount) return -1;
    Graphics_D3D9_ShaderConstant_UpdateUseArea(&manager->Layers[set][layer], 0, first, count);
    bool changed = false;
    for (int reg = first; reg < first + count; ++reg) {
        manager->Used[set][layer][reg] = 0;
        uint8_t& supplier = manager->Supplier[set][reg];
        if (supplier != layer) continue;
        supplier = D3D9ConstantNoSupplier;
        for (int below = layer - 1; below >= 0; --below)
            if (manager->Used[set][below][reg]) {
                supplier = (uint8_t)below;
                changed = true;
                break;
            }
    }
    // Registers nobody supplies any more keep what the device has.
    if (changed) Graphics_D3D9_ShaderConstant_Upload(manager, set, first, nullptr, count);
    return 0;
}

int Graphics_D3D9_ShaderConstant_SelectLayers(D3D9ShaderConstantManager* manager, int mask) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (mask == manager->LayerMask) return 0;
    manager->LayerMask = mask;
    for (int layer = 0; layer < D3D9ConstantLayerCount; ++layer) manager->Active[layer] = (mask >> layer) & 1;

    uint8_t suppliers[D3D9CONST_SET_COUNT][D3D9ConstantRegisterMax];
    memset(suppliers, D3D9ConstantNoSupplier, sizeof(suppliers));
    for (int layer = 0; layer < D3D9ConstantLayerCount; ++layer) {
        if (!manager->Active[layer]) continue;
        for (int set = 0; set < D3D9CONST_SET_COUNT; ++set) {
            const D3D9ShaderConstantLayer& store = manager->Layers[set][layer];
            for (int i = 0; i < store.UseAreaCount; ++i)
                for (int reg = store.UseAreas[i][0]; reg < store.UseAreas[i][1]; ++reg) suppliers[set][reg] = (uint8_t)layer;
        }
    }
    // The runs of registers that get a new supplier, found before the map is replaced.
    struct Run {
        int16_t Set, First, Count;
    };
    Run runs[D3D9CONST_SET_COUNT * D3D9ConstantRegisterMax / 2 + D3D9CONST_SET_COUNT];
    int runCount = 0;
    for (int set = 0; set < D3D9CONST_SET_COUNT; ++set) {
        int start = -1;
        for (int reg = 0; reg <= RegisterCounts[set]; ++reg) {
            const bool moves = reg < RegisterCounts[set] && suppliers[set][reg] != D3D9ConstantNoSupplier &&
                               suppliers[set][reg] != manager->Supplier[set][reg];
            if (moves && start < 0) start = reg;
            if (!moves && start >= 0) {
                runs[runCount++] = {(int16_t)set, (int16_t)start, (int16_t)(reg - start)};
                start = -1;
            }
        }
    }
    memcpy(manager->Supplier, suppliers, sizeof(suppliers));
    for (int i = 0; i < runCount; ++i) Graphics_D3D9_ShaderConstant_Upload(manager, runs[i].Set, runs[i].First, nullptr, runs[i].Count);
    return 0;
}

}  // namespace Vantrel
