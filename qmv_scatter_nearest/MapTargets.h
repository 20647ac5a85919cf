// Target elements of all sources, from the map in its own column-major order.
#ifndef QMV_SCATTER_NEAREST_MAPTARGETS_H
#define QMV_SCATTER_NEAREST_MAPTARGETS_H

#include "QELLib/NImage.h"

#include <cstddef>
#include <cstdint>

namespace NContributionLists {

// Target of a source whose map vector is not finite.
template <class TIndex>
constexpr TIndex kNoTarget = ~TIndex(0);

// Elements per row of the target array for iWidth columns: whole cache lines
// plus one, so that writing it column by column does not hit one cache set
// per row when the width is a power of two.
template <class TIndex>
std::ptrdiff_t TargetPitch(qelMInt iWidth)
{
    constexpr std::ptrdiff_t iLine = 64 / sizeof(TIndex);
    return (std::ptrdiff_t(iWidth) + iLine - 1) / iLine * iLine + iLine;
}

// For the source at row y, column x: the column-major index ty + tx * iHeight
// of its target into pTargets[y * iPitch + x] (row by row, as the scatter
// visits sources), or kNoTarget, where tx and ty come from pMap (iHeight x
// iWidth x 2, column-major: 1-based target columns, then rows) with 1.0
// subtracted, then rounded half up and clamped to the plane as
// NMexGlue::NearestIndex does. Counts each target in pCounts (iWidth * iHeight
// elements, zero on entry) and returns the number of legal sources.
template <class TIndex>
std::ptrdiff_t FindTargets(const double* pMap, qelMInt iWidth, qelMInt iHeight, TIndex* pTargets, std::ptrdiff_t iPitch,
                           TIndex* pCounts);

// The same, computed one element at a time, whatever the processor offers.
template <class TIndex>
std::ptrdiff_t FindTargetsPortable(const double* pMap, qelMInt iWidth, qelMInt iHeight, TIndex* pTargets,
                                   std::ptrdiff_t iPitch, TIndex* pCounts);

}  // namespace NContributionLists

#endif  // QMV_SCATTER_NEAREST_MAPTARGETS_H
