// Sums of shifted rows (see the header).
#include "ScaledRowSums.h"

#include "WiderRegisters.h"

namespace NSysApply {

namespace {

// pAcc[m] += dTap[0] * pIn[0][m], then += dTap[1] * pIn[1][m], ...: the inner
// loop of both directions. Up to four taps share one pass over the
// accumulator (the sums are formed in the same order as one tap at a time).
template <int TAPS>
QMV_ALWAYS_INLINE void AddScaledTaps(double* __restrict pAcc, const double* const* ppIn, const double* pTap, std::size_t iCount)
{
    const double* __restrict p0 = ppIn[0];
    const double* __restrict p1 = ppIn[TAPS > 1 ? 1 : 0];
    const double* __restrict p2 = ppIn[TAPS > 2 ? 2 : 0];
    const double* __restrict p3 = ppIn[TAPS > 3 ? 3 : 0];
    const double d0 = pTap[0], d1 = pTap[TAPS > 1 ? 1 : 0], d2 = pTap[TAPS > 2 ? 2 : 0], d3 = pTap[TAPS > 3 ? 3 : 0];
    for (std::size_t m = 0; m < iCount; ++m) {
        double dAcc = pAcc[m] + d0 * p0[m];
        if (TAPS > 1) dAcc = dAcc + d1 * p1[m];
        if (TAPS > 2) dAcc = dAcc + d2 * p2[m];
        if (TAPS > 3) dAcc = dAcc + d3 * p3[m];
        pAcc[m] = dAcc;
    }
}

// Adds iTaps shifted rows, four at a time.
QMV_ALWAYS_INLINE void AddScaledRowsBody(double* pAcc, const double* const* ppIn, const double* pTap, int iTaps, std::size_t iCount)
{
    int t = 0;
    for (; t + 4 <= iTaps; t += 4) AddScaledTaps<4>(pAcc, ppIn + t, pTap + t, iCount);
    switch (iTaps - t) {
    case 3: AddScaledTaps<3>(pAcc, ppIn + t, pTap + t, iCount); break;
    case 2: AddScaledTaps<2>(pAcc, ppIn + t, pTap + t, iCount); break;
    case 1: AddScaledTaps<1>(pAcc, ppIn + t, pTap + t, iCount); break;
    default: break;
    }
}

}  // namespace

void AddScaledRowsPortable(double* pAcc, const double* const* ppIn, const double* pTap, int iTaps, std::size_t iCount)
{
    AddScaledRowsBody(pAcc, ppIn, pTap, iTaps, iCount);
}

#if QMV_HAVE_AVX2_CLONES
// The same operations in the same order on wider registers (no fused
// multiply-add), so both give the same bits.
QMV_TARGET_AVX2 void AddScaledRowsAvx2(double* pAcc, const double* const* ppIn, const double* pTap, int iTaps, std::size_t iCount)
{
    AddScaledRowsBody(pAcc, ppIn, pTap, iTaps, iCount);
}
#endif

void AddScaledRows(double* pAcc, const double* const* ppIn, const double* pTap, int iTaps, std::size_t iCount)
{
#if QMV_HAVE_AVX2_CLONES
    static const bool bAvx2 = CpuHasAvx2();
    if (bAvx2) {
        AddScaledRowsAvx2(pAcc, ppIn, pTap, iTaps, iCount);
        return;
    }
#endif
    AddScaledRowsPortable(pAcc, ppIn, pTap, iTaps, iCount);
}

}  // namespace NSysApply
