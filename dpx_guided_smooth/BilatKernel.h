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
    int iRadius;  // window radius; negative gives empty windows (NaN output)
    float fDivS;  // spatial divisor
    float fDivR;  // range divisor
    int iP;       // 1: sqrt of the squared distance, mean absolute colour
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

// Floats per plane row, and from the start of one plane to the next.
std::ptrdiff_t PlaneStride(int iWidth);
std::ptrdiff_t PlaneSize(int iWidth, int iHeight);

// Writes row y of guide and source into the 4 planes starting at pBase
// (4 * PlaneSize floats).
void FillPlaneRow(float* pBase, const CImage2D<NColor::CColorRGB<float>>& imgGuide, const CImage2D<float>& imgSrc,
                  int y);
SPlanes PlanesAt(const float* pBase, int iWidth, int iHeight);

// The spatial terms -(S / fDivS) of the window, formed exactly as the scalar
// kernel forms them: row |dy| (0 .. ry) holds dx = -rx .. rx, with the radius
// clipped to the image (rx <= width - 1, ry <= height - 1). S depends on dy
// only through dy * dy, so one row serves dy and -dy.
std::size_t SpatialTableSize(int iRadius, int iWidth, int iHeight);
void FillSpatialTable(const SParams& par, int iWidth, int iHeight, float* pTable);

// Whether this processor runs the vector kernel (AVX2 with FMA).
bool HasVectorPath();

// Vector evaluation of output row y (iRadius >= 0). With bScalarExp the
// exponentials are computed with expf lane by lane, which makes the result
// bit-identical to FilterRowScalar; that is how the exponents are tested.
void FilterRowVector(const SParams& par, const SPlanes& planes, const float* pSpatial, int y, float* pDstRow,
                     bool bScalarExp);

// The vectorised exponential on n values, for testing it against expf.
void ExpfVector(const float* pIn, float* pOut, std::size_t n);

}  // namespace NBilatKernel

#endif
