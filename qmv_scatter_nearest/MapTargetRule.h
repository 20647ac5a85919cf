// The target of one source: the rule that every way of finding targets
// shares.
#ifndef QMV_SCATTER_NEAREST_MAPTARGETRULE_H
#define QMV_SCATTER_NEAREST_MAPTARGETRULE_H

#include "MapTargets.h"

#include <algorithm>
#include <cmath>

namespace NContributionLists {

// Nearest index within [0, dLast] of the 0-based coordinate v: the value of
// NMexGlue::NearestIndex(v, dLast + 1), computed with min/max instead of branches,
// which random maps would mispredict. Clamping v + 0.5 to [0, dLast] before
// truncating equals flooring and clamping after; a non-finite v gives some
// index in range (the caller drops it), never an out-of-range conversion:
// std::max(0.0, NaN) is 0.0.
inline std::ptrdiff_t NearestInRange(double v, double dLast)
{
    return static_cast<std::ptrdiff_t>(std::min(dLast, std::max(0.0, v + 0.5)));
}

// Target of the source whose map entries (1-based column, row) are dMapX and
// dMapY, in a plane whose last column and row are dLastX and dLastY.
template <class TIndex>
TIndex TargetOf(double dMapX, double dMapY, double dLastX, double dLastY, qelMInt iHeight)
{
    const double vx = dMapX - 1.0;
    const double vy = dMapY - 1.0;
    const bool bLegal = std::isfinite(vx) && std::isfinite(vy);
    const TIndex t = static_cast<TIndex>(NearestInRange(vy, dLastY) + NearestInRange(vx, dLastX) * iHeight);
    return bLegal ? t : kNoTarget<TIndex>;
}

}  // namespace NContributionLists

#endif  // QMV_SCATTER_NEAREST_MAPTARGETRULE_H
