// A stand-in for the closed Live2D Cubism Core library, for the Live2D module's tests: it exports the
// 43 entry points the module looks up (each a stub), with csmGetVersion and csmGetLatestMocVersion
// answering fixed versions the tests read back. Built twice with a list of exports each: whole, and one exporting
// the key counts only under their stdcall name and without csmGetDrawableMultiplyColors.
#include <stdint.h>

#define FAKE_CORE_EXPORT extern "C"

FAKE_CORE_EXPORT uint32_t csmGetVersion() { return 0x05000100u; }
FAKE_CORE_EXPORT uint32_t csmGetLatestMocVersion() { return 5u; }
FAKE_CORE_EXPORT void* csmGetMocVersion() { return nullptr; }
FAKE_CORE_EXPORT void* csmHasMocConsistency() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetLogFunction() { return nullptr; }
FAKE_CORE_EXPORT void* csmSetLogFunction() { return nullptr; }
FAKE_CORE_EXPORT void* csmReviveMocInPlace() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetSizeofModel() { return nullptr; }
FAKE_CORE_EXPORT void* csmInitializeModelInPlace() { return nullptr; }
FAKE_CORE_EXPORT void* csmUpdateModel() { return nullptr; }
FAKE_CORE_EXPORT void* csmReadCanvasInfo() { return nullptr; }
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
FAKE_CORE_EXPORT void* csmGetDrawableCount() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableIds() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableConstantFlags() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableDynamicFlags() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableTextureIndices() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableDrawOrders() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableRenderOrders() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableOpacities() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableMaskCounts() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableMasks() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableVertexCounts() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableVertexPositions() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableVertexUvs() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableIndexCounts() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableIndices() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableMultiplyColors() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableScreenColors() { return nullptr; }
FAKE_CORE_EXPORT void* csmGetDrawableParentPartIndices() { return nullptr; }
FAKE_CORE_EXPORT void* csmResetDrawableDynamicFlags() { return nullptr; }
