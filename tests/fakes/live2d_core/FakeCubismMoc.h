// The "moc" the stand-in Cubism core reads: the tests write one in memory and hand it to the Live2D
// module as a model file. Up to 8 drawables, each a quad (4 vertices, 6 indices).
#pragma once

#include <stdint.h>

struct FakeCubismMoc {
    static constexpr int MaxDrawables = 8;
    struct Drawable {
        float Positions[8];             // model units, y up
        float Uvs[8];                   // bottom-up
        uint16_t Indices[6];
        uint8_t ConstantFlags;          // 1 additive, 2 multiplicative, 4 double-sided, 8 inverted mask
        uint8_t Hidden;                 // the update leaves it invisible
        int32_t TextureIndex;
        int32_t RenderOrder;
        float Opacity;
        int32_t MaskCount;
        int32_t Masks[2];
        float MultiplyColor[4];
        float ScreenColor[4];
    };
    char Magic[8];                      // "FAKEMOC"
    int32_t DrawableCount;
    float CanvasWidth, CanvasHeight;    // pixels
    float OriginX, OriginY;             // pixels from the canvas's top-left
    float PixelsPerUnit;
    Drawable Drawables[MaxDrawables];
};
