// The inner loop of the sampled blur in both directions: an accumulator row
// plus a weighted sum of shifted input rows, each element formed as
// ((acc + w0 * in0) + w1 * in1) + ... in this order.
#ifndef QMV_SYSAPPLY_SCALED_ROW_SUMS_H
#define QMV_SYSAPPLY_SCALED_ROW_SUMS_H

#include "WiderRegisters.h"

#include <cstddef>

namespace NSysApply {

// pAcc[m] = pAcc[m] + pTap[0] * ppIn[0][m] + ... + pTap[iTaps-1] * ppIn[iTaps-1][m],
// m < iCount, with the widest registers the processor has.
void AddScaledRows(double* pAcc, const double* const* ppIn, const double* pTap, int iTaps, std::size_t iCount);

// The plain x86-64 form, and (where built: QMV_HAVE_AVX2_CLONES) the AVX2
// form, which must give the same bits; AddScaledRows picks one.
void AddScaledRowsPortable(double* pAcc, const double* const* ppIn, const double* pTap, int iTaps, std::size_t iCount);
#if QMV_HAVE_AVX2_CLONES
void AddScaledRowsAvx2(double* pAcc, const double* const* ppIn, const double* pTap, int iTaps, std::size_t iCount);
#endif

}  // namespace NSysApply

#endif
