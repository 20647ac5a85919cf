// The inner loop of the sampled blur in both directions: a weighted sum of
// shifted input rows, each element formed as ((0.0 + w0 * in0) + w1 * in1) + ...
// in this order, as an accumulator cleared to 0.0 and then added to would
// form it (0.0 + -0.0 is +0.0), without the pass that clears it.
#ifndef QMV_SYSAPPLY_SCALED_ROW_SUMS_H
#define QMV_SYSAPPLY_SCALED_ROW_SUMS_H

#include "cpu/WiderRegisters.h"

#include <cstddef>

namespace NSysApply {

// pOut[m] = 0.0 + pTap[0] * ppIn[0][m] + ... + pTap[iTaps-1] * ppIn[iTaps-1][m],
// m < iCount, with the widest registers the processor has.
void SumScaledRows(double* pOut, const double* const* ppIn, const double* pTap, int iTaps, std::size_t iCount);

// The plain x86-64 form, and (where built: QMV_HAVE_AVX2_CLONES) the AVX2
// form, which must give the same bits; SumScaledRows picks one.
void SumScaledRowsPortable(double* pOut, const double* const* ppIn, const double* pTap, int iTaps, std::size_t iCount);
#if QMV_HAVE_AVX2_CLONES
void SumScaledRowsAvx2(double* pOut, const double* const* ppIn, const double* pTap, int iTaps, std::size_t iCount);
#endif

}  // namespace NSysApply

#endif
