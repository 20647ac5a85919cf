// Conversions between MATLAB's column-major doubles and the row-major float
// images, and the per-slice filter loop.
#include "SmoothStack.h"

#include "ColorRGB.h"
#include "Image2D.h"
#include "ImgBilatFilter.h"

#include <algorithm>
#include <climits>

using NColor::CColorRGB;

namespace {

// The copies run over bands of 8 rows: for each column, the 8 doubles of the
// band are one cache line of the column-major array. Going along rows instead
// would read with a stride of H doubles, which for H a power of two keeps
// hitting the same cache sets (several times slower for 512 x 512).
constexpr int iBand = 8;

inline std::size_t ColumnStart(int x, int iH) { return static_cast<std::size_t>(x) * static_cast<std::size_t>(iH); }

void GuideFromColumnMajor(const double* pGuide, int iH, int iW, CImage2D<CColorRGB<float>>& imgGuide)
{
    const std::size_t nPlane = static_cast<std::size_t>(iH) * static_cast<std::size_t>(iW);
    for (int y0 = 0; y0 < iH; y0 += iBand) {
        const int y1 = std::min(iH, y0 + iBand);
        for (int x = 0; x < iW; ++x) {
            const double* pColumn = pGuide + ColumnStart(x, iH);
            for (int y = y0; y < y1; ++y)
                imgGuide.At(x, y) = {ToFloat(pColumn[y]), ToFloat(pColumn[y + nPlane]),
                                     ToFloat(pColumn[y + 2 * nPlane])};
        }
    }
}

void SliceFromColumnMajor(const double* pSlice, int iH, int iW, CImage2D<float>& img)
{
    for (int y0 = 0; y0 < iH; y0 += iBand) {
        const int y1 = std::min(iH, y0 + iBand);
        for (int x = 0; x < iW; ++x) {
            const double* pColumn = pSlice + ColumnStart(x, iH);
            for (int y = y0; y < y1; ++y) img.At(x, y) = ToFloat(pColumn[y]);
        }
    }
}

void SliceToColumnMajor(const CImage2D<float>& img, int iH, int iW, double* pSlice)
{
    for (int y0 = 0; y0 < iH; y0 += iBand) {
        const int y1 = std::min(iH, y0 + iBand);
        for (int x = 0; x < iW; ++x) {
            double* pColumn = pSlice + ColumnStart(x, iH);
            for (int y = y0; y < y1; ++y) pColumn[y] = img.At(x, y);
        }
    }
}

}  // namespace

float ToFloat(double d) { return static_cast<float>(d); }

int TruncToInt32(double d)
{
    if (d > -2147483649.0 && d < 2147483648.0) return static_cast<int>(d);
    return INT_MIN;
}

void SmoothStack(const double* pStack, const double* pGuide, int iH, int iW, std::size_t nSlices,
                 const SSmoothParams& par, double* pOut)
{
    CImage2D<CColorRGB<float>> imgGuide;
    imgGuide.Resize(iW, iH);
    GuideFromColumnMajor(pGuide, iH, iW, imgGuide);

    CImgBilatFilter<float, CColorRGB<float>> filter(par.iRadius, par.fSeps, par.fReps, par.iP);
    if (par.bPTruncated) ReportIllegalDistanceForm();
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
