// Image builders and a double-precision evaluation of the guided bilateral
// filter for the smoothing module's tests.
#ifndef DPX_TEST_IMAGES_H
#define DPX_TEST_IMAGES_H

#include "dpx_guided_smooth/ColorRGB.h"
#include "dpx_guided_smooth/Image2D.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace NDpxTest {

using CColour = NColor::CColorRGB<float>;
using CGuide = CImage2D<CColour>;
using CFloatImage = CImage2D<float>;

template <class T, class F>
CImage2D<T> MakeImage(int iW, int iH, F fPixel)
{
    CImage2D<T> img;
    img.Resize(iW, iH);
    for (int y = 0; y < iH; ++y)
        for (int x = 0; x < iW; ++x) img.At(x, y) = fPixel(x, y);
    return img;
}

inline CFloatImage RandomFloat(int iW, int iH, unsigned uSeed)
{
    std::mt19937 rng(uSeed);
    std::uniform_real_distribution<float> dist(0.0f, 1.0f);
    return MakeImage<float>(iW, iH, [&](int, int) { return dist(rng); });
}

inline CGuide RandomGuide(int iW, int iH, unsigned uSeed)
{
    std::mt19937 rng(uSeed);
    std::uniform_real_distribution<float> dist(0.0f, 1.0f);
    return MakeImage<CColour>(iW, iH, [&](int, int) { return CColour{dist(rng), dist(rng), dist(rng)}; });
}

inline CGuide UniformGuide(int iW, int iH)
{
    return MakeImage<CColour>(iW, iH, [](int, int) { return CColour{0.3f, 0.5f, 0.7f}; });
}

// Row-major pixel values without the row padding.
inline std::vector<float> Pixels(const CFloatImage& img)
{
    std::vector<float> v;
    for (int y = 0; y < img.GetHeight(); ++y) v.insert(v.end(), img.GetRow(y), img.GetRow(y) + img.GetWidth());
    return v;
}

// Bit patterns for exact comparison. NaNs map to one pattern: which NaN an
// operation passes on depends on operand order, which is not part of the result.
inline std::vector<std::uint32_t> Bits(const CFloatImage& img)
{
    std::vector<std::uint32_t> v;
    for (float f : Pixels(img)) {
        std::uint32_t u = 0x7fc00000u;
        if (!std::isnan(f)) std::memcpy(&u, &f, sizeof u);
        v.push_back(u);
    }
    return v;
}

// The filter's formula in double precision: p = 1 and p = 2 as documented,
// any other p with the squared distance, mean absolute colour difference and
// unsquared scales.
inline double ReferencePixel(const CGuide& guide, const CFloatImage& src, int x, int y, int r, double dSeps,
                             double dReps, int iP)
{
    const int iW = guide.GetWidth();
    const int iH = guide.GetHeight();
    const double dDivS = iP == 2 ? dSeps * dSeps : dSeps;
    const double dDivR = iP == 2 ? dReps * dReps : dReps;
    const CColour c = guide.At(x, y);
    double dSw = 0.0;
    double dSv = 0.0;
    for (int yy = std::max(0, y - r); yy <= std::min(iH - 1, y + r); ++yy) {
        for (int xx = std::max(0, x - r); xx <= std::min(iW - 1, x + r); ++xx) {
            const CColour g = guide.At(xx, yy);
            const double d0 = double(g.r) - c.r, d1 = double(g.g) - c.g, d2 = double(g.b) - c.b;
            const double dS2 = double(xx - x) * (xx - x) + double(yy - y) * (yy - y);
            const double dS = iP == 1 ? std::sqrt(dS2) : dS2;
            const double dR =
                iP == 2 ? d0 * d0 + d1 * d1 + d2 * d2 : (std::fabs(d0) + std::fabs(d1) + std::fabs(d2)) / 3;
            const double dW = std::exp(-dS / dDivS - dR / dDivR);
            dSw += dW;
            dSv += dW * src.At(xx, yy);
        }
    }
    return dSv / dSw;
}

}  // namespace NDpxTest

#endif
