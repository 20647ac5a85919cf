// Target elements from the map (see the header): one element at a time, or
// four rows of four columns at a time where the processor has AVX2.
#include "MapTargets.h"

#include "MapTargetRule.h"
#include "MapTargetsAvx2.h"

namespace NContributionLists {

template <class TIndex>
std::ptrdiff_t FindTargetsPortable(const double* pMap, qelMInt iWidth, qelMInt iHeight, TIndex* pTargets,
                                   std::ptrdiff_t iPitch, TIndex* pCounts)
{
    const std::ptrdiff_t iPlane = std::ptrdiff_t(iWidth) * iHeight;
    const double dLastX = iWidth - 1.0, dLastY = iHeight - 1.0;
    std::ptrdiff_t iLegal = 0;
    for (qelMInt x = 0; x < iWidth; ++x) {
        const double* pX = pMap + std::ptrdiff_t(x) * iHeight;
        const double* pY = pX + iPlane;
        TIndex* pTarget = pTargets + x;
        for (qelMInt y = 0; y < iHeight; ++y, pTarget += iPitch) {
            const TIndex t = TargetOf<TIndex>(pX[y], pY[y], dLastX, dLastY, iHeight);
            *pTarget = t;
            if (t != kNoTarget<TIndex>) {
                ++pCounts[t];
                ++iLegal;
            }
        }
    }
    return iLegal;
}

template <>
std::ptrdiff_t FindTargets(const double* pMap, qelMInt iWidth, qelMInt iHeight, std::uint32_t* pTargets,
                           std::ptrdiff_t iPitch, std::uint32_t* pCounts)
{
    if (HasAvx2()) {
        return FindTargetsAvx2(pMap, iWidth, iHeight, pTargets, iPitch, pCounts);
    }
    return FindTargetsPortable(pMap, iWidth, iHeight, pTargets, iPitch, pCounts);
}

template <>
std::ptrdiff_t FindTargets(const double* pMap, qelMInt iWidth, qelMInt iHeight, std::uint64_t* pTargets,
                           std::ptrdiff_t iPitch, std::uint64_t* pCounts)
{
    return FindTargetsPortable(pMap, iWidth, iHeight, pTargets, iPitch, pCounts);
}

template std::ptrdiff_t FindTargetsPortable(const double*, qelMInt, qelMInt, std::uint32_t*, std::ptrdiff_t,
                                            std::uint32_t*);
template std::ptrdiff_t FindTargetsPortable(const double*, qelMInt, qelMInt, std::uint64_t*, std::ptrdiff_t,
                                            std::uint64_t*);

}  // namespace NContributionLists
