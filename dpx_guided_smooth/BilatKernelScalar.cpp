// The straightforward row kernel: the reference for every other path.
#include "BilatKernel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace NBilatKernel {

namespace {

inline float ColourDistance(const NColor::CColorRGB<float>& g, const NColor::CColorRGB<float>& c, bool bSquared)
{
    const float d0 = g.r - c.r;
    const float d1 = g.g - c.g;
    const float d2 = g.b - c.b;
    if (bSquared) return (d1 * d1 + d0 * d0) + d2 * d2;
    return (std::fabs(d1) + std::fabs(d0) + std::fabs(d2)) / 3.0f;
}

}  // namespace

void FilterRowScalar(const SParams& par, const CImage2D<NColor::CColorRGB<float>>& imgGuide,
                     const CImage2D<float>& imgSrc, int y, float* pDstRow)
{
    const int iW = imgGuide.GetWidth();
    const int iH = imgGuide.GetHeight();
    const int r = par.iRadius;
    if (r < 0) {  // every window is empty: 0 / 0
        std::fill(pDstRow, pDstRow + iW, std::numeric_limits<float>::quiet_NaN());
        return;
    }
    const bool bSquared = par.iP == 2;
    const bool bSqrt = par.iP == 1;
    // Clipped without forming y + r or x + r, which overflow for huge radii.
    const int y0 = y - std::min(r, y);
    const int y1 = y + std::min(r, iH - 1 - y);
    for (int x = 0; x < iW; ++x) {
        const int x0 = x - std::min(r, x);
        const int x1 = x + std::min(r, iW - 1 - x);
        const NColor::CColorRGB<float> c = imgGuide.At(x, y);
        float fSw = 0.0f;
        float fSv = 0.0f;
        for (int yy = y0; yy <= y1; ++yy) {
            const NColor::CColorRGB<float>* pGuide = imgGuide.GetRow(yy);
            const float* pSrc = imgSrc.GetRow(yy);
            const float fDy = static_cast<float>(yy - y);
            for (int xx = x0; xx <= x1; ++xx) {
                const float fDx = static_cast<float>(xx - x);
                float fS = fDx * fDx + fDy * fDy;
                if (bSqrt) fS = std::sqrt(fS);
                const float fR = ColourDistance(pGuide[xx], c, bSquared);
                const float fW = std::exp(-(fS / par.fDivS) - (fR / par.fDivR));
                fSw += fW;
                fSv += fW * pSrc[xx];
            }
        }
        pDstRow[x] = fSv / fSw;
    }
}

}  // namespace NBilatKernel
