// What the device back-ends share of drawing graphs: free-quadrangle plans and blend coordinates.
// Stands on the graph records and the core's draw settings.
#include "graphics/VtGraphicsDeviceDraw.h"

#include <math.h>
#include <string.h>

#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"

namespace Vantrel {

void Graphics_DeviceDraw_PlanFreeQuad(const float q[4][4], float textureWidth, float textureHeight,
                                      float divisionWidth, float divisionHeight, DeviceFreeQuadPlan* plan) {
    const float ex1 = (q[1][0] - q[0][0]) - (q[3][0] - q[2][0]), ey1 = (q[1][1] - q[0][1]) - (q[3][1] - q[2][1]);
    const float ex2 = (q[2][0] - q[0][0]) - (q[3][0] - q[1][0]), ey2 = (q[2][1] - q[0][1]) - (q[3][1] - q[1][1]);
    const float uL = q[0][2], uR = q[1][2], vT = q[0][3], vB = q[2][3];
    plan->Parallelogram = fabsf(ex1) < 1.0f && fabsf(ey1) < 1.0f && fabsf(ex2) < 1.0f && fabsf(ey2) < 1.0f;
    plan->Mirrored = 0;
    if (plan->Parallelogram) {
        memcpy(plan->Corners, q, sizeof(plan->Corners));
        const float du = 0.0625f / textureWidth, dv = 0.0625f / textureHeight;
        plan->Corners[0][2] = plan->Corners[2][2] = uL + du, plan->Corners[1][2] = plan->Corners[3][2] = uR - du;
        plan->Corners[0][3] = plan->Corners[1][3] = vT + dv, plan->Corners[2][3] = plan->Corners[3][3] = vB - dv;
        const float a = (q[1][0] - q[0][0]) * (q[2][1] - q[0][1]) - (q[1][1] - q[0][1]) * (q[2][0] - q[0][0]);
        const float b = (q[2][0] - q[3][0]) * (q[1][1] - q[3][1]) - (q[2][1] - q[3][1]) * (q[1][0] - q[3][0]);
        plan->Mirrored = a <= 0 && b <= 0;
        return;
    }
    const float su = divisionWidth > 0 ? (uR - uL) / divisionWidth : 0.0f;
    const float sv = divisionHeight > 0 ? (vB - vT) / divisionHeight : 0.0f;
    const float u0 = uL < 1e-6f ? uL : uL + 0.001f * su, u1 = uR > 0.99999f ? uR : uR - 0.001f * su;
    const float v0 = vT < 1e-6f ? vT : vT + 0.001f * sv, v1 = vB > 0.99999f ? vB : vB - 0.001f * sv;
    for (int r = 0; r < 8; ++r) {
        const float t = (float)r / 7.0f;
        const float lx = q[0][0] + t * (q[2][0] - q[0][0]), ly = q[0][1] + t * (q[2][1] - q[0][1]);
        const float rx = q[1][0] + t * (q[3][0] - q[1][0]), ry = q[1][1] + t * (q[3][1] - q[1][1]);
        for (int k = 0; k < 8; ++k) {
            const float s = (float)k / 7.0f;
            float* point = plan->Grid[r * 8 + k];
            point[0] = lx + s * (rx - lx), point[1] = ly + s * (ry - ly);
            point[2] = u0 + s * (u1 - u0), point[3] = v0 + t * (v1 - v0);
        }
    }
}

void Graphics_DeviceDraw_BlendCoords(float screenX, float screenY, float graphX, float graphY,
                                     const GraphDrawPart* blend, float* u, float* v) {
    if (blend == nullptr || blend->part == nullptr) {
        *u = *v = 0.0f;
        return;
    }
    const DrawSettingsRecord& s = DrawSettings;
    float bx, by;
    if (s.BlendGraphPositionMode == 1) {
        bx = screenX - blend->vertices[0].x - (float)s.BlendGraphX;
        by = screenY - blend->vertices[0].y - (float)s.BlendGraphY;
    } else {
        bx = graphX - blend->vertices[0].x + (float)s.BlendGraphX;
        by = graphY - blend->vertices[0].y + (float)s.BlendGraphY;
    }
    *u = bx / (float)blend->part->textureWidth;
    *v = by / (float)blend->part->textureHeight;
}

}  // namespace Vantrel
