// Row kernels of the guided bilateral filter. Every output pixel is
//   sum(w * src) / sum(w),  w = expf(-(S / fDivS) - (R / fDivR)),
// over the window clipped to the image, summed row by row and left to right,
// all in single precision. Rows are independent, so any split of the rows over
// threads gives bit-identical results.
//
// The scalar kernel is the straightforward evaluation and the reference. The
// vector kernel computes the same exponents bit for bit and differs only in
// its vectorised exponential (within 2 units in the last place of expf).
#ifndef DPX_BILATKERNEL_H
#define DPX_BILATKERNEL_H

#include "ColorRGB.h"
#include "Image2D.h"

#include <cstddef>

namespace NBilatKernel {

struct SParams {
  int iRadius;   // window radius; negative gives empty windows (NaN output)
  float fDivS;   // spatial divisor
  float fDivR;   // range divisor
  int iP;        // 1: sqrt of the squared distance, mean absolute colour
                 // difference; 2: squared distance, squared colour difference;
                 // other: squared distance, mean absolute colour difference
};

// Straightforward evaluation of output row y, read from the images as given.
void FilterRowScalar(const SParams& par, const CImage2D<NColor::CColorRGB<float>>& imgGuide,
                     const CImage2D<float>& imgSrc, int y, float* pDstRow);

// Planar copies of the guide's three channels and of the source, with
// iPadColumns zero columns on each side of every row so that vectors that
// overhang the image edge stay inside the buffer.
struct SPlanes {
  static constexpr int iPadColumns = 8;
  // Pixel (x, y) of plane k (0..2 guide red, green, blue; 3 source) is
  // apPlane[k][y * iStride + x], for x in [-iPadColumns, iWidth + iPadColumns).
  const float* apPlane[4];
  std::ptrdiff_t iStride;
  int iWidth;
  int iHeight;
};

// Floats per plane row, and per-thread scratch floats FilterRowVector needs.
std::ptrdiff_t PlaneStride(int iWidth);
std::size_t RowScratchSize(int iWidth, int iRadius);

// Writes row y of guide and source into planes starting at pBase (4 planes of
// iHeight rows of PlaneStride(iWidth) floats).
void FillPlaneRow(float* pBase, const CImage2D<NColor::CColorRGB<float>>& imgGuide,
                  const CImage2D<float>& imgSrc, int y);
SPlanes PlanesAt(const float* pBase, int iWidth, int iHeight);

// Whether this processor runs the vector kernel (AVX2 with FMA).
bool HasVectorPath();

// Vector evaluation of output row y (iRadius >= 0). With bScalarExp the
// exponentials are computed with expf lane by lane, which makes the result
// bit-identical to FilterRowScalar; that is how the exponents are tested.
void FilterRowVector(const SParams& par, const SPlanes& planes, int y, float* pDstRow,
                     float* pScratch, bool bScalarExp);

// The vectorised exponential on n values, for testing it against expf.
void ExpfVector(const float* pIn, float* pOut, std::size_t n);

}  // namespace NBilatKernel

#endif
