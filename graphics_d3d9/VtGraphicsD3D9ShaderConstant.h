// Direct3D 9 shader-constant manager: every shader constant is kept per layer (0 the library's own
// values, 1 the graph filters', 3 the user's shaders'), the caller chooses the active layers, and for each
// register the highest active layer that uses it supplies the value the device gets. Uploads go out as
// runs of consecutive registers and only where the device's copy differs.
// Stands on the call layer and the graphics core's programmable-shader switch.
#pragma once

#include <stdint.h>

namespace Vantrel {

// The six register sets, in upload order.
enum D3D9ConstantSet : int {
    D3D9CONST_VERTEX_FLOAT = 0,
    D3D9CONST_VERTEX_INT = 1,
    D3D9CONST_VERTEX_BOOL = 2,
    D3D9CONST_PIXEL_FLOAT = 3,
    D3D9CONST_PIXEL_INT = 4,
    D3D9CONST_PIXEL_BOOL = 5,
    D3D9CONST_SET_COUNT = 6
};
constexpr int D3D9ConstantLayerCount = 4;
constexpr int D3D9ConstantRegisterMax = 256;
constexpr uint8_t D3D9ConstantNoSupplier = 255;

// One layer of one set: the register ranges it uses (sorted, disjoint, not touching; end exclusive) and
// its values, element-size bytes per register.
struct D3D9ShaderConstantLayer {
    uint16_t UseAreas[D3D9ConstantRegisterMax][2];
    int32_t UseAreaCount;
    int32_t RegisterCount;
    int32_t ElementSize;
    uint8_t Values[D3D9ConstantRegisterMax * 16];
};

struct D3D9ShaderConstantManager {
    int32_t Active[D3D9ConstantLayerCount];
    int32_t LayerMask;
    D3D9ShaderConstantLayer Layers[D3D9CONST_SET_COUNT][D3D9ConstantLayerCount];
    uint8_t Used[D3D9CONST_SET_COUNT][D3D9ConstantLayerCount][D3D9ConstantRegisterMax];
    D3D9ShaderConstantLayer DeviceCopy[D3D9CONST_SET_COUNT];   // only the values: what the device was given
    uint8_t Supplier[D3D9CONST_SET_COUNT][D3D9ConstantRegisterMax];   // layer 0-3, 255 none
};
extern D3D9ShaderConstantManager D3D9ShaderConstants;

int Graphics_D3D9_ShaderConstant_Initialize(D3D9ShaderConstantManager* manager);
// Stores `count` registers from `first` in a layer (adding them to its use areas with `recordUse`) and,
// when the layer is active, uploads what the device must now see; 0, -1 for a range outside the set.
int Graphics_D3D9_ShaderConstant_SetValues(D3D9ShaderConstantManager* manager, int set, int layer, int first,
                                           const void* values, int count, int recordUse);
int Graphics_D3D9_ShaderConstant_ResetArea(D3D9ShaderConstantManager* manager, int set, int layer, int first, int count);
int Graphics_D3D9_ShaderConstant_SelectLayers(D3D9ShaderConstantManager* manager, int mask);
int Graphics_D3D9_ShaderConstant_UpdateUseArea(D3D9ShaderConstantLayer* layer, int add, int first, int count);
// Sends a run of registers (values null: gathered from their suppliers) where the device's copy differs,
// or all of it while the state cache forces; -1 without device.
int Graphics_D3D9_ShaderConstant_Upload(D3D9ShaderConstantManager* manager, int set, int first, const void* values,
                                        int count);
// The value a register gets from its supplier (the device's copy where none supplies it).
const uint8_t* Graphics_D3D9_ShaderConstant_SuppliedValue(const D3D9ShaderConstantManager* manager, int set, int reg);

}  // namespace Vantrel
