// Clipping of an image transfer against the texture parts of a full image or the divisions of a graph:
// what lands in each part's texture and from where in the image.
// Stands on the graph records only.
#include "graphics/VtGraphicsImage.h"

namespace Vantrel {

namespace {

// The overlap of the placed source with a region (its top-left at (regionX, regionY) in image
// coordinates and at (texelX, texelY) in the part's texture), computed in 64 bits before narrowing.
int ClipToRegion(const RECT* source, int destX, int destY, int64_t regionX, int64_t regionY, int64_t regionWidth,
                 int64_t regionHeight, int64_t texelX, int64_t texelY, RECT* sourceOut, RECT* destOut) {
    if (source == nullptr || sourceOut == nullptr || destOut == nullptr || regionWidth <= 0 || regionHeight <= 0) return -1;
    const int64_t width = (int64_t)source->right - source->left, height = (int64_t)source->bottom - source->top;
    if (width <= 0 || height <= 0) return -1;
    const int64_t left = destX > regionX ? destX : regionX;
    const int64_t top = destY > regionY ? destY : regionY;
    const int64_t right = destX + width < regionX + regionWidth ? destX + width : regionX + regionWidth;
    const int64_t bottom = destY + height < regionY + regionHeight ? destY + height : regionY + regionHeight;
    if (left >= right || top >= bottom) return -1;
    const int64_t values[8] = {source->left + (left - destX),  source->top + (top - destY),
                               source->left + (right - destX), source->top + (bottom - destY),
                               texelX + (left - regionX),      texelY + (top - regionY),
                               texelX + (right - regionX),     texelY + (bottom - regionY)};
    for (int64_t v : values)
        if (v < INT32_MIN || v > INT32_MAX) return -1;
    *sourceOut = {(LONG)values[0], (LONG)values[1], (LONG)values[2], (LONG)values[3]};
    *destOut = {(LONG)values[4], (LONG)values[5], (LONG)values[6], (LONG)values[7]};
    return 0;
}

}  // namespace

int Graphics_Image_ClipBltRectByTexturePart(const RECT* source, int destX, int destY, const GraphTexturePart* part,
                                            RECT* sourceOut, RECT* destOut) {
    if (part == nullptr) return -1;
    return ClipToRegion(source, destX, destY, part->x, part->y, part->usedWidth, part->usedHeight, 0, 0, sourceOut,
                        destOut);
}

int Graphics_Image_ClipBltRectByImage(const RECT* source, int destX, int destY, const GraphDrawPart* division,
                                      RECT* sourceOut, RECT* destOut) {
    if (division == nullptr) return -1;
    return ClipToRegion(source, destX, destY, division->destX, division->destY, division->width, division->height,
                        division->srcX, division->srcY, sourceOut, destOut);
}

}  // namespace Vantrel
