// Direct3D 11 shape drawing and generic-draw buffers: filled and outlined boxes, one-pixel lines,
// quadrangles and circles through the vertex batch or the generic buffers, caller-supplied 2D
// vertices, and the dynamic vertex and index buffers through which everything that does not fit the
// batch is drawn (also the triangle-strip grid of tessellated quadrangles).
// Stands on the call layer, the vertex batch, the state cache, the draw preparation, the built-in
// shader objects and the core's draw settings and scratch buffers.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

// The index buffers of generic draws; their vertices go through the generic vertex buffer that the
// simple-transfer blit shares.
struct D3D11GenericDrawRecord {
    ID3D11Buffer* IndexBuffer[2];   // [0] 16-bit indices, [1] 32-bit
    uint32_t IndexBufferSize[2];
};
extern D3D11GenericDrawRecord D3D11GenericDraw;

// The packed draw colour in the device's vertex-colour byte order (kept by the diffuse refresh).
extern uint32_t D3D11DrawColor;

int Graphics_D3D11_GenericDrawVertexBuffer_Reserve(uint32_t bytes);
int Graphics_D3D11_GenericDrawIndexBuffer_Reserve(uint32_t bytes, DXGI_FORMAT format);
int Graphics_D3D11_GenericDrawIndexBuffer_Release(DXGI_FORMAT format);
// Releases both index buffers (with the generic vertex buffer at device end).
int Graphics_D3D11_GenericDraw_ReleaseAll();
int Graphics_D3D11_GenericDraw_DrawVertices(int vertexType, D3D11_PRIMITIVE_TOPOLOGY topology, const void* vertices,
                                            int count, int setShader);
int Graphics_D3D11_GenericDraw_DrawIndexed(int vertexType, D3D11_PRIMITIVE_TOPOLOGY topology, const void* vertices,
                                           int vertexCount, const void* indices, int indexCount, DXGI_FORMAT format,
                                           int setShader);
// A grid of columns x rows type-1 vertices (row by row) as one triangle strip with 16-bit indices.
int Graphics_D3D11_GenericDraw_DrawGrid(const void* vertices, int columns, int rows);

// Room in the vertex batch for `count` 2D vertices of the given topology: flushes when the batch holds
// 3D vertices, another topology, or would fill up. The write pointer, null when there is no room.
uint8_t* Graphics_D3D11_VertexBatch_Room2D(D3D11_PRIMITIVE_TOPOLOGY topology, uint32_t count);
// Unbinds the draw texture and prepares the untextured shape state.
void Graphics_D3D11_PrepareShapeDraw();
// The colour of a shape vertex: the colour code's channels scaling the packed draw colour.
uint32_t Graphics_D3D11_ShapeColor(unsigned int color);

}  // namespace Vantrel
