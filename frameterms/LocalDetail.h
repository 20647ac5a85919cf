// The local detail of the blurred estimate that both weight functions
// tolerate as misregistration: a frame registered a tenth of a low-resolution
// pixel off misfits by about a tenth of the detail where its samples land.
#ifndef QMV_FRAMETERMS_LOCAL_DETAIL_H
#define QMV_FRAMETERMS_LOCAL_DETAIL_H

#include "BilinearReader.h"
#include "contract/OperatorArguments.h"

#include <cmath>
#include <cstddef>
#include <vector>

namespace NSysApply {

constexpr double MISREGISTRATION = 0.1;  // tolerated, in low-resolution pixels of local detail

// The blurred estimate's local detail: its periodic central differences,
// RMS over the planes, in low-resolution pixels (H x W). Columns run in
// parallel; each pixel sums its planes in order, so the bits do not depend
// on the thread count.
inline std::vector<double> Detail(const CPlanarView& imgB, int s)
{
    const int H = imgB.iRows, W = imgB.iCols, P = imgB.iPlanes;
    std::vector<double> vecG(static_cast<std::size_t>(H) * W, 0.0);
#pragma omp parallel for schedule(static)
    for (int j = 0; j < W; ++j) {
        double* pG = vecG.data() + static_cast<std::size_t>(j) * H;
        for (int c = 0; c < P; ++c) {
            const double* pB = imgB.Plane(c);
            const double* pRight = pB + static_cast<std::size_t>((j + 1) % W) * H;
            const double* pLeft = pB + static_cast<std::size_t>((j + W - 1) % W) * H;
            const double* pCol = pB + static_cast<std::size_t>(j) * H;
            for (int i = 0; i < H; ++i) {
                const int iDown = i + 1 < H ? i + 1 : 0, iUp = i > 0 ? i - 1 : H - 1;
                const double gx = (pRight[i] - pLeft[i]) / 2;
                const double gy = (pCol[iDown] - pCol[iUp]) / 2;
                pG[i] += gx * gx + gy * gy;
            }
        }
        for (int i = 0; i < H; ++i) pG[i] = std::sqrt(pG[i] / P) * s;
    }
    return vecG;
}

// The larger of two values, a value rather than NaN when there is one (as
// Octave's max takes it).
inline double MaxOfNumbers(double a, double b) { return std::isnan(a) || b > a ? b : a; }

// pMax = the largest value of pA over each sample's 3 x 3 neighbourhood
// (periodic; NaN only where all nine are NaN): the largest of three columns
// first, then, in place, of three rows of those. No buffer: callers run it
// on worker threads.
inline void Max3(const double* pA, int h, int w, double* pMax)
{
    for (int j = 0; j < w; ++j) {
        const double* pMid = pA + static_cast<std::size_t>(j) * h;
        const double* pLeft = pA + static_cast<std::size_t>((j + w - 1) % w) * h;
        const double* pRight = pA + static_cast<std::size_t>((j + 1) % w) * h;
        double* pOut = pMax + static_cast<std::size_t>(j) * h;
        for (int i = 0; i < h; ++i) pOut[i] = MaxOfNumbers(MaxOfNumbers(pMid[i], pLeft[i]), pRight[i]);
        double dAbove = pOut[h - 1];
        const double dFirst = pOut[0];
        for (int i = 0; i < h; ++i) {
            const double dHere = pOut[i];
            const double dBelow = i + 1 < h ? pOut[i + 1] : dFirst;
            pOut[i] = MaxOfNumbers(MaxOfNumbers(dHere, dAbove), dBelow);
            dAbove = dHere;
        }
    }
}

// The detail (H x W, from Detail) where frame k's h x w samples land, the
// largest over each sample's 3 x 3 neighbourhood, into pOut: read
// bilinearly at the frame's map at 1:s:end (clamped to the grid) into
// pScratch first. Both are h x w and belong to the calling worker.
inline void DetailNearSamples(const COperatorArguments& args, const std::vector<double>& vecDetail, int k, int h, int w,
                              double* pScratch, double* pOut)
{
    const CPlanarView& map = args.vecMaps[k];
    const int H = args.viewX.iRows, s = args.iScale;
    const CBilinearReader reader(H, args.viewX.iCols);
    for (int j = 0; j < w; ++j)
        for (int i = 0; i < h; ++i) {
            const std::size_t iAt =
                static_cast<std::size_t>(i) * s + static_cast<std::size_t>(j) * s * static_cast<std::size_t>(H);
            double dX = map.Plane(0)[iAt], dY = map.Plane(1)[iAt];
            reader.Clamp(dX, dY);
            pScratch[static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * h] =
                reader.Read(vecDetail.data(), dX, dY);
        }
    Max3(pScratch, h, w, pOut);
}

}  // namespace NSysApply

#endif
