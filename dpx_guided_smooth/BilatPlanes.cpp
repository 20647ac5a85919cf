// Planar, padded copies of guide and source for the vector kernel, and the
// scratch it needs per thread.
#include "BilatKernel.h"

#include <algorithm>

namespace NBilatKernel {

std::ptrdiff_t PlaneStride(int iWidth) {
  // Both pads, rounded up to whole vectors of 8 floats.
  return (static_cast<std::ptrdiff_t>(iWidth) + 2 * SPlanes::iPadColumns + 7) / 8 * 8;
}

std::size_t RowScratchSize(int iWidth, int iRadius) {
  const std::size_t nRow = (static_cast<std::size_t>(iWidth) + 7) / 8 * 8;
  const int iRx = std::min(iRadius, iWidth - 1);
  return 2 * nRow + 2 * static_cast<std::size_t>(iRx) + 1;
}

void FillPlaneRow(float* pBase, const CImage2D<NColor::CColorRGB<float>>& imgGuide,
                  const CImage2D<float>& imgSrc, int y) {
  const int iW = imgGuide.GetWidth();
  const std::ptrdiff_t iStride = PlaneStride(iW);
  const std::ptrdiff_t iPlane = iStride * imgGuide.GetHeight();
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

SPlanes PlanesAt(const float* pBase, int iWidth, int iHeight) {
  SPlanes planes;
  planes.iStride = PlaneStride(iWidth);
  planes.iWidth = iWidth;
  planes.iHeight = iHeight;
  for (int k = 0; k < 4; ++k)
    planes.apPlane[k] = pBase + k * planes.iStride * iHeight + SPlanes::iPadColumns;
  return planes;
}

}  // namespace NBilatKernel
