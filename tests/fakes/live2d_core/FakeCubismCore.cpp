// A stand-in for the closed Live2D Cubism Core library, for the Live2D module's tests: it exports the
// 43 entry points the module looks up, with csmGetVersion and csmGetLatestMocVersion answering fixed
// versions the tests read back. Built twice with a list of exports each: whole, and one exporting
// the key counts only under their stdcall name and without csmGetDrawableMultiplyColors.
// The model entries read a "moc" of the tests' own form (FakeCubismMoc.h: up to 8 quads, each with its
// flags, texture, order, opacity, masks and colours) and answer as the core does for such a model;
// like the core, they refuse a moc that is not 64-byte aligned and model memory that is not 16-byte
// aligned. The rest are stubs.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "FakeCubismMoc.h"

#define FAKE_CORE_EXPORT extern "C"
#define FAKE_CORE_CALL __stdcall

namespace {

struct FakeModel {
    const FakeCubismMoc* Moc;
    const float* Positions[FakeCubismMoc::MaxDrawables];
    const float* Uvs[FakeCubismMoc::MaxDrawables];
    const uint16_t* Indices[FakeCubismMoc::MaxDrawables];
    const int32_t* Masks[FakeCubismMoc::MaxDrawables];
    int32_t VertexCounts[FakeCubismMoc::MaxDrawables];
    int32_t IndexCounts[FakeCubismMoc::MaxDrawables];
    int32_t TextureIndices[FakeCubismMoc::MaxDrawables];
    int32_t RenderOrders[FakeCubismMoc::MaxDrawables];
    int32_t MaskCounts[FakeCubismMoc::MaxDrawables];
    float Opacities[FakeCubismMoc::MaxDrawables];
    uint8_t ConstantFlags[FakeCubismMoc::MaxDrawables];
    uint8_t DynamicFlags[FakeCubismMoc::MaxDrawables];
    float MultiplyColors[FakeCubismMoc::MaxDrawables][4];
    float ScreenColors[FakeCubismMoc::MaxDrawables][4];
};

bool MocIsWhole(const void* address, unsigned int size) {
    const FakeCubismMoc* moc = static_cast<const FakeCubismMoc*>(address);
    return address != nullptr && size >= sizeof(FakeCubismMoc) && memcmp(moc->Magic, "FAKEMOC", 8) == 0 &&
           moc->DrawableCount >= 0 && moc->DrawableCount <= FakeCubismMoc::MaxDrawables;
}

const FakeModel* Model(const void* model) { return static_cast<const FakeModel*>(model); }

}  // namespace

FAKE_CORE_EXPORT int FAKE_CORE_CALL csmHasMocConsistency(void* address, unsigned int size) {
    return MocIsWhole(address, size) ? 1 : 0;
}
FAKE_CORE_EXPORT void* FAKE_CORE_CALL csmReviveMocInPlace(void* address, unsigned int size) {
    if (reinterpret_cast<uintptr_t>(address) % 64 != 0 || !MocIsWhole(address, size)) return nullptr;
    return address;
}
FAKE_CORE_EXPORT unsigned int FAKE_CORE_CALL csmGetSizeofModel(const void* moc) {
    return moc != nullptr ? sizeof(FakeModel) : 0;
}
FAKE_CORE_EXPORT void* FAKE_CORE_CALL csmInitializeModelInPlace(const void* mocAddress, void* address, unsigned int size) {
    if (mocAddress == nullptr || address == nullptr || reinterpret_cast<uintptr_t>(address) % 16 != 0 ||
        size < sizeof(FakeModel))
        return nullptr;
    const FakeCubismMoc* moc = static_cast<const FakeCubismMoc*>(mocAddress);
    FakeModel* model = static_cast<FakeModel*>(address);
    memset(model, 0, sizeof(*model));
    model->Moc = moc;
    for (int i = 0; i < moc->DrawableCount; ++i) {
        const FakeCubismMoc::Drawable& d = moc->Drawables[i];
        model->Positions[i] = d.Positions;
        model->Uvs[i] = d.Uvs;
        model->Indices[i] = d.Indices;
        model->Masks[i] = d.Masks;
        model->VertexCounts[i] = 4;
        model->IndexCounts[i] = 6;
        model->TextureIndices[i] = d.TextureIndex;
        model->RenderOrders[i] = d.RenderOrder;
        model->MaskCounts[i] = d.MaskCount;
        model->Opacities[i] = d.Opacity;
        model->ConstantFlags[i] = d.ConstantFlags;
        memcpy(model->MultiplyColors[i], d.MultiplyColor, sizeof(d.MultiplyColor));
        memcpy(model->ScreenColors[i], d.ScreenColor, sizeof(d.ScreenColor));
    }
    return model;
}
FAKE_CORE_EXPORT void FAKE_CORE_CALL csmUpdateModel(void* model) {
    FakeModel* m = static_cast<FakeModel*>(model);
    for (int i = 0; i < m->Moc->DrawableCount; ++i) m->DynamicFlags[i] = m->Moc->Drawables[i].Hidden ? 0 : 1;
}
FAKE_CORE_EXPORT void FAKE_CORE_CALL csmReadCanvasInfo(const void* model, float* size, float* origin, float* pixelsPerUnit) {
    const FakeCubismMoc* moc = Model(model)->Moc;
    size[0] = moc->CanvasWidth;
    size[1] = moc->CanvasHeight;
    origin[0] = moc->OriginX;
    origin[1] = moc->OriginY;
    *pixelsPerUnit = moc->PixelsPerUnit;
}
FAKE_CORE_EXPORT int FAKE_CORE_CALL csmGetDrawableCount(const void* model) { return Model(model)->Moc->DrawableCount; }
FAKE_CORE_EXPORT const uint8_t* FAKE_CORE_CALL csmGetDrawableConstantFlags(const void* model) {
    return Model(model)->ConstantFlags;
}
FAKE_CORE_EXPORT const uint8_t* FAKE_CORE_CALL csmGetDrawableDynamicFlags(const void* model) {
    return Model(model)->DynamicFlags;
}
FAKE_CORE_EXPORT const int32_t* FAKE_CORE_CALL csmGetDrawableTextureIndices(const void* model) {
    return Model(model)->TextureIndices;
}
FAKE_CORE_EXPORT const int32_t* FAKE_CORE_CALL csmGetDrawableRenderOrders(const void* model) {
    return Model(model)->RenderOrders;
}
FAKE_CORE_EXPORT const float* FAKE_CORE_CALL csmGetDrawableOpacities(const void* model) { return Model(model)->Opacities; }
FAKE_CORE_EXPORT const int32_t* FAKE_CORE_CALL csmGetDrawableMaskCounts(const void* model) {
    return Model(model)->MaskCounts;
}
FAKE_CORE_EXPORT const int32_t* const* FAKE_CORE_CALL csmGetDrawableMasks(const void* model) { return Model(model)->Masks; }
FAKE_CORE_EXPORT const int32_t* FAKE_CORE_CALL csmGetDrawableVertexCounts(const void* model) {
    return Model(model)->VertexCounts;
}
FAKE_CORE_EXPORT const float* const* FAKE_CORE_CALL csmGetDrawableVertexPositions(const void* model) {
    return Model(model)->Positions;
}
FAKE_CORE_EXPORT const float* const* FAKE_CORE_CALL csmGetDrawableVertexUvs(const void* model) { return Model(model)->Uvs; }
FAKE_CORE_EXPORT const int32_t* FAKE_CORE_CALL csmGetDrawableIndexCounts(const void* model) {
    return Model(model)->IndexCounts;
}
FAKE_CORE_EXPORT const uint16_t* const* FAKE_CORE_CALL csmGetDrawableIndices(const void* model) {
    return Model(model)->Indices;
}
FAKE_CORE_EXPORT const float* FAKE_CORE_CALL csmGetDrawableMultiplyColors(const void* model) {
    return Model(model)->MultiplyColors[0];
}
FAKE_CORE_EXPORT const float* FAKE_CORE_CALL csmGetDrawableScreenColors(const void* model) {
    return Model(model)->ScreenColors[0];
}
FAKE_CORE_EXPORT void FAKE_CORE_CALL csmResetDrawableDynamicFlags(void* model) {
    memset(static_cast<FakeModel*>(model)->DynamicFlags, 0, FakeCubismMoc::MaxDrawables);
}

FAKE_CORE_EXPORT uint32_t csmGetVersion() { return 0x05000100u; }
FAKE_CORE_EXPORT uint32_t csmGetLatestMocVersion() { return 5u; }
FAKE_CORE_EXPORT void* csmGetMocVersion() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetLogFunction() { return nullptr; }
FAKE_CORE_EXPORT void* csmSetLogFunction() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetParameterCount() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetParameterIds() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetParameterTypes() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetParameterMinimumValues() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetParameterMaximumValues() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetParameterDefaultValues() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetParameterValues() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetParameterKeyCounts() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetParameterKeyValues() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetPartCount() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetPartIds() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetPartOpacities() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetPartParentPartIndices() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableIds() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableDrawOrders() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableParentPartIndices() { return nullptr; }
