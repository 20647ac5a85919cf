// What the vector kernel reads: planar, padded copies of guide and source,
// and the table of spatial terms.
#include "BilatKernel.h"

#include <algorithm>
#include <cmath>

namespace NBilatKernel {

std::ptrdiff_t PlaneStride(int iWidth)
{
    // Both pads, rounded up to whole vectors of 8 floats.
    return (static_cast<std::ptrdiff_t>(iWidth) + 2 * SPlanes::iPadColumns + 7) / 8 * 8;
}

std::ptrdiff_t PlaneSize(int iWidth, int iHeight)
{
    // Planes lie 192 bytes off any multiple of 4 KiB from one another: with the
    // same offsets modulo 4 KiB, the processor takes loads from one plane as
    // possibly hitting pending stores to another (the copy below ran 20 times
    // slower for 512 x 512 images).
    const std::ptrdiff_t iPlane = PlaneStride(iWidth) * iHeight;
    return (iPlane + 1023) / 1024 * 1024 + 48;
}

std::size_t SpatialTableSize(int iRadius, int iWidth, int iHeight)
{
    const std::size_t nRx = std::min(iRadius, iWidth - 1);
    const std::size_t nRy = std::min(iRadius, iHeight - 1);
    return (nRy + 1) * (2 * nRx + 1);
}

void FillSpatialTable(const SParams& par, int iWidth, int iHeight, float* pTable)
{
    const int iRx = std::min(par.iRadius, iWidth - 1);
    const int iRy = std::min(par.iRadius, iHeight - 1);
    for (int dy = 0; dy <= iRy; ++dy) {
        const float fDy = static_cast<float>(dy);
        for (int dx = -iRx; dx <= iRx; ++dx) {
            const float fDx = static_cast<float>(dx);
            float fS = fDx * fDx + fDy * fDy;
            if (par.iP == 1) fS = std::sqrt(fS);
            *pTable++ = -(fS / par.fDivS);
        }
    }
}

void FillPlaneRow(float* pBase, const CImage2D<NColor::CColorRGB<float>>& imgGuide, const CImage2D<float>& imgSrc,
                  int y)
{
    const int iW = imgGuide.GetWidth();
    const std::ptrdiff_t iStride = PlaneStride(iW);
    const std::ptrdiff_t iPlane = PlaneSize(iW, imgGuide.GetHeight());
    float* apRow[4];
    for (int k = 0; k < 4; ++k) {
        apRow[k] = pBase + k * iPlane + y * iStride;
        std::fill(apRow[k], apRow[k] + iStride, 0.0f);
        apRow[k] += SPlanes::iPadColumns;
    }
    const NColor::CColorRGB<float>* pGuide = imgGuide.GetRow(y);
    const float* pSrc = imgSrc.GetRow(y);
    for (int x = 0; x < iW; ++x) {
        apRow[0][x] = pGuide[x].r;
        apRow[1][x] = pGuide[x].g;
        apRow[2][x] = pGuide[x].b;
        apRow[3][x] = pSrc[x];
    }
}

SPlanes PlanesAt(const float* pBase, int iWidth, int iHeight)
{
    SPlanes planes;
    planes.iStride = PlaneStride(iWidth);
    planes.iWidth = iWidth;
    planes.iHeight = iHeight;
    for (int k = 0; k < 4; ++k) planes.apPlane[k] = pBase + k * PlaneSize(iWidth, iHeight) + SPlanes::iPadColumns;
    return planes;
}

}  // namespace NBilatKernel
