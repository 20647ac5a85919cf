// Building the lists of sources per output element (see the header): the
// targets are found in one pass over the map in its own column-major order,
// stored row by row and counted; the counts give each element's place in the
// list; a pass in visiting order then appends every source to its target's
// list.
#include "ContributionLists.h"

#include "MapTargets.h"

#include <algorithm>

namespace NContributionLists {

namespace {

// Each count replaced by the place of its element's next entry: the first of
// its places, or for an element without sources the place after the one
// entry, kFirst | kEmpty, written here for it. Once the sources are appended,
// every element's place is where its entries end. Returns the number of
// entries. Written without branches: random maps leave about a third of the
// elements empty, at random.
template <class TIndex>
std::ptrdiff_t PlaceElements(TIndex* pCounts, std::ptrdiff_t iElements, TIndex* pEntries)
{
    TIndex iNext = 0;
    for (std::ptrdiff_t t = 0; t < iElements; ++t) {
        const TIndex iCount = pCounts[t];
        const TIndex iEmpty = TIndex(iCount == 0);
        pCounts[t] = iNext + iEmpty;
        pEntries[iNext] = CEntryBits<TIndex>::kFirst | CEntryBits<TIndex>::kEmpty;
        iNext += iCount + iEmpty;
    }
    return static_cast<std::ptrdiff_t>(iNext);
}

// Every source appended to its target's list, in visiting order; pNext holds
// the place of each list's next entry and ends as the place after its last.
template <class TIndex>
void AppendSources(const TIndex* pTargets, std::ptrdiff_t iPitch, qelMInt iWidth, qelMInt iHeight, TIndex* pNext,
                   TIndex* pEntries, std::vector<CIllegalVector>& vIllegal)
{
    for (qelMInt y = 0; y < iHeight; ++y) {
        const TIndex* pRow = pTargets + y * iPitch;
        TIndex iSource = static_cast<TIndex>(y);
        for (qelMInt x = 0; x < iWidth; ++x, iSource += TIndex(iHeight)) {
            const TIndex t = pRow[x];
            if (t == kNoTarget<TIndex>) {
                vIllegal.push_back(CIllegalVector{x, y});
                continue;
            }
            pEntries[pNext[t]++] = iSource;
        }
    }
}

// kFirst set on the first entry of every element, which is where the
// previous element's entries end.
template <class TIndex>
void MarkFirstEntries(const TIndex* pEnds, std::ptrdiff_t iElements, TIndex* pEntries)
{
    pEntries[0] |= CEntryBits<TIndex>::kFirst;
    for (std::ptrdiff_t t = 1; t < iElements; ++t) {
        pEntries[pEnds[t - 1]] |= CEntryBits<TIndex>::kFirst;
    }
}

}  // namespace

template <class TIndex>
CLists<TIndex> BuildLists(const double* pMap, qelMInt iWidth, qelMInt iHeight, std::vector<CIllegalVector>& vIllegal)
{
    const std::ptrdiff_t iElements = std::ptrdiff_t(iWidth) * iHeight;
    const std::ptrdiff_t iPitch = TargetPitch<TIndex>(iWidth);
    std::unique_ptr<TIndex[]> pTargets(new TIndex[static_cast<size_t>(iHeight * iPitch)]);
    std::vector<TIndex> vCounts(static_cast<size_t>(iElements), 0);
    const std::ptrdiff_t iLegal = FindTargets(pMap, iWidth, iHeight, pTargets.get(), iPitch, vCounts.data());

    // Each source is in one list at most, and each empty element adds one entry.
    CLists<TIndex> lists;
    lists.pEntries.reset(new TIndex[static_cast<size_t>(iLegal + iElements + kAhead)]);
    TIndex* pEntries = lists.pEntries.get();
    lists.iEntries = PlaceElements(vCounts.data(), iElements, pEntries);
    std::fill_n(pEntries + lists.iEntries, kAhead, TIndex(0));
    AppendSources(pTargets.get(), iPitch, iWidth, iHeight, vCounts.data(), pEntries, vIllegal);
    MarkFirstEntries(vCounts.data(), iElements, pEntries);
    return lists;
}

template CLists<std::uint32_t> BuildLists(const double*, qelMInt, qelMInt, std::vector<CIllegalVector>&);
template CLists<std::uint64_t> BuildLists(const double*, qelMInt, qelMInt, std::vector<CIllegalVector>&);

}  // namespace NContributionLists
