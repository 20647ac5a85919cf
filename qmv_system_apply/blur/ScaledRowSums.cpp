// Sums of shifted rows (see the header).
#include "blur/ScaledRowSums.h"

#include "cpu/WiderRegisters.h"

#include <algorithm>

namespace NSysApply {

namespace {

// pAcc[m] += dTap[0] * pIn[0][m], then += dTap[1] * pIn[1][m], ...: the inner
// loop of both directions. Up to four taps share one pass over the
// accumulator (the sums are formed in the same order as one tap at a time).
// FROM_ZERO starts from 0.0 instead of reading the accumulator.
template <int TAPS, bool FROM_ZERO>
QMV_ALWAYS_INLINE void AddScaledTaps(double* __restrict pAcc, const double* const* ppIn, const double* pTap,
                                     std::size_t iCount)
{
    const double* __restrict p0 = ppIn[0];
    const double* __restrict p1 = ppIn[TAPS > 1 ? 1 : 0];
    const double* __restrict p2 = ppIn[TAPS > 2 ? 2 : 0];
    const double* __restrict p3 = ppIn[TAPS > 3 ? 3 : 0];
    const double d0 = pTap[0], d1 = pTap[TAPS > 1 ? 1 : 0], d2 = pTap[TAPS > 2 ? 2 : 0], d3 = pTap[TAPS > 3 ? 3 : 0];
    for (std::size_t m = 0; m < iCount; ++m) {
        double dAcc = (FROM_ZERO ? 0.0 : pAcc[m]) + d0 * p0[m];
        if (TAPS > 1) dAcc = dAcc + d1 * p1[m];
        if (TAPS > 2) dAcc = dAcc + d2 * p2[m];
        if (TAPS > 3) dAcc = dAcc + d3 * p3[m];
        pAcc[m] = dAcc;
    }
}

// Sums iTaps shifted rows from 0.0, four at a time.
QMV_ALWAYS_INLINE void SumScaledRowsBody(double* pOut, const double* const* ppIn, const double* pTap, int iTaps,
                                         std::size_t iCount)
{
    switch (std::min(iTaps, 4)) {
        case 4:
            AddScaledTaps<4, true>(pOut, ppIn, pTap, iCount);
            break;
        case 3:
            AddScaledTaps<3, true>(pOut, ppIn, pTap, iCount);
            break;
        case 2:
            AddScaledTaps<2, true>(pOut, ppIn, pTap, iCount);
            break;
        case 1:
            AddScaledTaps<1, true>(pOut, ppIn, pTap, iCount);
            break;
        default:
            std::fill(pOut, pOut + iCount, 0.0);
            return;
    }
    int t = 4;  // taps added so far
    for (; t + 4 <= iTaps; t += 4) AddScaledTaps<4, false>(pOut, ppIn + t, pTap + t, iCount);
    switch (iTaps - t) {
        case 3:
            AddScaledTaps<3, false>(pOut, ppIn + t, pTap + t, iCount);
            break;
        case 2:
            AddScaledTaps<2, false>(pOut, ppIn + t, pTap + t, iCount);
            break;
        case 1:
            AddScaledTaps<1, false>(pOut, ppIn + t, pTap + t, iCount);
            break;
        default:
            break;
    }
}

}  // namespace

void SumScaledRowsPortable(double* pOut, const double* const* ppIn, const double* pTap, int iTaps, std::size_t iCount)
{
    SumScaledRowsBody(pOut, ppIn, pTap, iTaps, iCount);
}

#if QMV_HAVE_AVX2_CLONES
// The same operations in the same order on wider registers (no fused
// multiply-add), so both give the same bits.
QMV_TARGET_AVX2 void SumScaledRowsAvx2(double* pOut, const double* const* ppIn, const double* pTap, int iTaps,
                                       std::size_t iCount)
{
    SumScaledRowsBody(pOut, ppIn, pTap, iTaps, iCount);
}
#endif

void SumScaledRows(double* pOut, const double* const* ppIn, const double* pTap, int iTaps, std::size_t iCount)
{
#if QMV_HAVE_AVX2_CLONES
    static const bool bAvx2 = CpuHasAvx2();
    if (bAvx2) {
        SumScaledRowsAvx2(pOut, ppIn, pTap, iTaps, iCount);
        return;
    }
#endif
    SumScaledRowsPortable(pOut, ppIn, pTap, iTaps, iCount);
}

}  // namespace NSysApply
