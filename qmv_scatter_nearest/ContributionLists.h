// The scatter turned into a gather. For every element of an output plane,
// the list of the sources whose map vectors name it, in the order in which
// the scatter visits sources (row by row, each row column by column). Summing
// each list from 0.0 in that order performs the scatter's additions, one for
// one and in the same order, so the sums agree bit for bit; the output is
// then written once, in its own column-major order, and the sources are read
// where they lie instead of being transposed to row order.
#ifndef QMV_SCATTER_NEAREST_CONTRIBUTIONLISTS_H
#define QMV_SCATTER_NEAREST_CONTRIBUTIONLISTS_H

#include "ScatterNearest.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace NContributionLists {

// One entry per source, the entries of one output element after one another,
// the elements in column-major order. The first entry of an element carries
// kFirst; an element that no source names has one entry, kFirst | kEmpty,
// which contributes 0.0. The remaining bits hold the column-major index of
// the source within its plane.
template <class TIndex>
struct CEntryBits {
    static constexpr TIndex kFirst = TIndex(1) << (sizeof(TIndex) * 8 - 1);
    static constexpr TIndex kEmpty = TIndex(1) << (sizeof(TIndex) * 8 - 2);
    static constexpr TIndex kIndex = kEmpty - 1;
};

// Entries read ahead of the one being summed, so that its source is
// prefetched: the list ends with this many zero entries.
constexpr std::ptrdiff_t kAhead = 32;

template <class TIndex>
struct CLists {
    std::unique_ptr<TIndex[]> pEntries;
    std::ptrdiff_t iEntries = 0;  // without the kAhead zero entries
};

// True when the 32-bit entries can index every element of a plane of
// iElements and count the entries of its lists.
inline bool FitsIn32Bits(std::ptrdiff_t iElements)
{
    return iElements <= std::ptrdiff_t(CEntryBits<std::uint32_t>::kIndex);
}

// The lists of a plane of iHeight rows and iWidth columns, from pMap
// (iHeight x iWidth x 2, column-major: 1-based target columns, then rows),
// each coordinate with 1.0 subtracted, then rounded and clamped as
// NMexGlue::NearestIndex does. Sources with a non-finite vector are in no list and
// are appended to vIllegal in visiting order. TIndex is std::uint32_t, for
// planes that FitsIn32Bits, or std::uint64_t.
template <class TIndex>
CLists<TIndex> BuildLists(const double* pMap, qelMInt iWidth, qelMInt iHeight, std::vector<CIllegalVector>& vIllegal);

// Each of the iChannels planes of pOut (iHeight x iWidth, column-major) set
// to the sums of its lists over the same plane of pSrc, every sum formed from
// 0.0 in list order as value + sum. Every element of pOut is written.
template <class TIndex>
void SumLists(const CLists<TIndex>& lists, const double* pSrc, double* pOut, qelMInt iWidth, qelMInt iHeight,
              qelMInt iChannels);

}  // namespace NContributionLists

#endif  // QMV_SCATTER_NEAREST_CONTRIBUTIONLISTS_H
