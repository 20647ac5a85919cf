// Conversions between MATLAB's column-major doubles and the row-major float
// images, and the per-slice filter loop.
#include "SmoothStack.h"

#include "ColorRGB.h"
#include "Image2D.h"
#include "ImgBilatFilter.h"

#include <climits>

using NColor::CColorRGB;

namespace {

// Element (row y, column x) of a column-major H x W plane.
inline std::size_t ColumnMajor(int x, int y, int iH) {
  return static_cast<std::size_t>(y) + static_cast<std::size_t>(x) * static_cast<std::size_t>(iH);
}

void GuideFromColumnMajor(const double* pGuide, int iH, int iW, CImage2D<CColorRGB<float>>& imgGuide) {
  const std::size_t nPlane = static_cast<std::size_t>(iH) * static_cast<std::size_t>(iW);
  for (int y = 0; y < iH; ++y) {
    CColorRGB<float>* pRow = imgGuide.GetRow(y);
    for (int x = 0; x < iW; ++x) {
      const std::size_t i = ColumnMajor(x, y, iH);
      pRow[x] = {ToFloat(pGuide[i]), ToFloat(pGuide[i + nPlane]), ToFloat(pGuide[i + 2 * nPlane])};
    }
  }
}

void SliceFromColumnMajor(const double* pSlice, int iH, int iW, CImage2D<float>& img) {
  for (int y = 0; y < iH; ++y) {
    float* pRow = img.GetRow(y);
    for (int x = 0; x < iW; ++x) pRow[x] = ToFloat(pSlice[ColumnMajor(x, y, iH)]);
  }
}

void SliceToColumnMajor(const CImage2D<float>& img, int iH, int iW, double* pSlice) {
  for (int y = 0; y < iH; ++y) {
    const float* pRow = img.GetRow(y);
    for (int x = 0; x < iW; ++x) pSlice[ColumnMajor(x, y, iH)] = pRow[x];
  }
}

}  // namespace

float ToFloat(double d) { return static_cast<float>(d); }

int TruncToInt32(double d) {
  if (d > -2147483649.0 && d < 2147483648.0) return static_cast<int>(d);
  return INT_MIN;
}

void SmoothStack(const double* pStack, const double* pGuide, int iH, int iW, std::size_t nSlices,
                 const SSmoothParams& par, double* pOut) {
  CImage2D<CColorRGB<float>> imgGuide;
  imgGuide.Resize(iW, iH);
  GuideFromColumnMajor(pGuide, iH, iW, imgGuide);

  CImgBilatFilter<float, CColorRGB<float>> filter(par.iRadius, par.fSeps, par.fReps, par.iP);
  filter.Precompute(imgGuide);

  CImage2D<float> imgSrc;
  CImage2D<float> imgDst;
  imgSrc.Resize(iW, iH);
  imgDst.Resize(iW, iH);
  // Slice offsets in size_t: a stack may hold more than 2^31 values.
  const std::size_t nSlice = static_cast<std::size_t>(iH) * static_cast<std::size_t>(iW);
  for (std::size_t k = 0; k < nSlices; ++k) {
    SliceFromColumnMajor(pStack + k * nSlice, iH, iW, imgSrc);
    filter.RunFilter(imgDst, imgSrc);
    SliceToColumnMajor(imgDst, iH, iW, pOut + k * nSlice);
  }
}
