// Target elements four rows of four columns at a time, with AVX2 where the
// processor has it (checked at run time: the module is built for the
// baseline instruction set).
#ifndef QMV_SCATTER_NEAREST_MAPTARGETSAVX2_H
#define QMV_SCATTER_NEAREST_MAPTARGETSAVX2_H

#include "QELLib/NImage.h"

#include <cstddef>
#include <cstdint>

namespace NContributionLists {

// True when FindTargetsAvx2 may run on this processor.
bool HasAvx2();

// FindTargets for 32-bit targets, with the same results.
std::ptrdiff_t FindTargetsAvx2(const double* pMap, qelMInt iWidth, qelMInt iHeight, std::uint32_t* pTargets,
                               std::ptrdiff_t iPitch, std::uint32_t* pCounts);

}  // namespace NContributionLists

#endif  // QMV_SCATTER_NEAREST_MAPTARGETSAVX2_H
