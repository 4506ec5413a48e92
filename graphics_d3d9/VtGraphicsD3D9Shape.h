// Direct3D 9 shapes and user primitives: filled and outlined boxes and one-pixel lines through the vertex
// batch; circles, rings and quadrangles drawn at once from a scratch buffer; caller-supplied 2D vertices
// with an optional graph texture. The bodies are declared with the switch table.
// Stands on the call layer, the vertex batch, the state cache, the draw preparation, the normal-draw state,
// the graph textures and the core's draw settings and scratch buffers.
#pragma once

namespace Vantrel {

// What the shape bodies keep between draws.
struct D3D9ShapeStateRecord {
    // Added to the start x (0) and the end x (1) of every filled circle span. Both start at -0.5; the
    // device's rasterisation probe at start-up may move the start-x offset to -0.1 or 0.
    float CirclePixelOffset[2];
};
extern D3D9ShapeStateRecord D3D9ShapeState;

// Both circle offsets back to -0.5.
void Graphics_D3D9_Shape_ResetCircleOffsets();

}  // namespace Vantrel
