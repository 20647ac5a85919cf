// Summing the lists of sources into the output planes (see
// ContributionLists.h). Up to four planes share one pass over the list, and
// no entry costs a branch: random maps give lists of random lengths.
#include "ContributionLists.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace NContributionLists {

namespace {

constexpr qelMInt kMaxPlanesPerPass = 4;

// The running sums of two planes (or one, with the single-plane Load and
// Store), in one register where SSE2 is there: the masks then stay beside the
// sums, and the chain from one sum to the next is an and and an addition.
#if defined(__SSE2__)
class CSumPair {
public:
    CSumPair() : m_v(_mm_setzero_pd()) {}

    static CSumPair Load(const double* p0, const double* p1) { return CSumPair(_mm_loadh_pd(_mm_load_sd(p0), p1)); }
    static CSumPair Load(const double* p0) { return CSumPair(_mm_load_sd(p0)); }
    // Both lanes set to the bit pattern iMask.
    static CSumPair Mask(std::uint64_t iMask)
    {
        return CSumPair(_mm_castsi128_pd(_mm_set1_epi64x(static_cast<long long>(iMask))));
    }
    CSumPair operator&(const CSumPair& o) const { return CSumPair(_mm_and_pd(m_v, o.m_v)); }
    CSumPair operator+(const CSumPair& o) const { return CSumPair(_mm_add_pd(m_v, o.m_v)); }
    void Store(double* p0, double* p1) const
    {
        _mm_storel_pd(p0, m_v);
        _mm_storeh_pd(p1, m_v);
    }
    void Store(double* p0) const { _mm_storel_pd(p0, m_v); }

private:
    explicit CSumPair(__m128d v) : m_v(v) {}
    __m128d m_v;
};
#else
class CSumPair {
public:
    CSumPair() : m_a(0), m_b(0) {}

    static CSumPair Load(const double* p0, const double* p1) { return CSumPair(Bits(*p0), Bits(*p1)); }
    static CSumPair Load(const double* p0) { return CSumPair(Bits(*p0), 0); }
    static CSumPair Mask(std::uint64_t iMask) { return CSumPair(iMask, iMask); }
    CSumPair operator&(const CSumPair& o) const { return CSumPair(m_a & o.m_a, m_b & o.m_b); }
    CSumPair operator+(const CSumPair& o) const
    {
        return CSumPair(Bits(Value(m_a) + Value(o.m_a)), Bits(Value(m_b) + Value(o.m_b)));
    }
    void Store(double* p0, double* p1) const
    {
        *p0 = Value(m_a);
        *p1 = Value(m_b);
    }
    void Store(double* p0) const { *p0 = Value(m_a); }

private:
    CSumPair(std::uint64_t a, std::uint64_t b) : m_a(a), m_b(b) {}
    static std::uint64_t Bits(double v)
    {
        std::uint64_t i;
        std::memcpy(&i, &v, sizeof i);
        return i;
    }
    static double Value(std::uint64_t i)
    {
        double v;
        std::memcpy(&v, &i, sizeof v);
        return v;
    }
    std::uint64_t m_a;
    std::uint64_t m_b;
};
#endif

inline void PrefetchForRead(const double* p)
{
#if defined(__GNUC__)
    __builtin_prefetch(p, 0);
#else
    static_cast<void>(p);
#endif
}

// Entry pairs sampled to tell lists that jump between distant sources.
constexpr std::ptrdiff_t kSamplePairs = 1024;

// True when most sampled pairs of consecutive entries name sources more than
// iNear elements apart (empty entries aside), as random maps give them; a
// motion map's lists walk the planes in order, which the processor follows.
template <class TIndex>
bool ScatteredSources(const CLists<TIndex>& lists, std::ptrdiff_t iNear)
{
    using CBits = CEntryBits<TIndex>;
    const TIndex* pEntries = lists.pEntries.get();
    const std::ptrdiff_t iStep = std::max<std::ptrdiff_t>(1, lists.iEntries / kSamplePairs);
    std::ptrdiff_t iFar = 0, iPairs = 0;
    for (std::ptrdiff_t j = 0; j + 1 < lists.iEntries; j += iStep) {
        const TIndex a = pEntries[j], b = pEntries[j + 1];
        if ((a | b) & CBits::kEmpty) {
            continue;
        }
        const TIndex iA = a & CBits::kIndex, iB = b & CBits::kIndex;
        iFar += static_cast<std::ptrdiff_t>(iA > iB ? iA - iB : iB - iA) > iNear;
        ++iPairs;
    }
    return 2 * iFar > iPairs;
}

// Reads one element of every cache line of the planes, in memory order, so
// that the sources are in the processor's caches when the lists name them:
// at random, as random maps do, each line would otherwise come from memory
// on its own, which the processor neither predicts nor prefetches. The bits
// are combined only so that the reads are not optimised away.
void LoadPlanes(const double* const* ppSrc, qelMInt iPlanes, std::ptrdiff_t iPlane)
{
    constexpr std::ptrdiff_t iLine = 64 / sizeof(double);
    std::uint64_t iBits = 0;
    for (qelMInt p = 0; p < iPlanes; ++p) {
        for (std::ptrdiff_t i = 0; i < iPlane; i += iLine) {
            std::uint64_t iElement;
            std::memcpy(&iElement, ppSrc[p] + i, sizeof iElement);
            iBits ^= iElement;
        }
    }
    volatile std::uint64_t iSink = iBits;
    static_cast<void>(iSink);
}

// Sums of the lists for kPlanes planes at once. An entry with kFirst starts
// the next output element from 0.0 (the running sum masked away); one with
// kEmpty adds 0.0 (its value masked away). The running sum is stored at every
// entry, so an element's last entry leaves its total.
template <class TIndex, int kPlanes>
void SumPlanes(const TIndex* pEntries, std::ptrdiff_t iEntries, const double* const* ppSrc, double* const* ppOut)
{
    using CBits = CEntryBits<TIndex>;
    constexpr int iFirstShift = sizeof(TIndex) * 8 - 1;
    constexpr int iEmptyShift = sizeof(TIndex) * 8 - 2;
    constexpr int iPairs = kPlanes / 2;
    constexpr bool bSingle = kPlanes % 2 != 0;
    const double* apSrc[kPlanes];
    double* apOut[kPlanes];
    std::copy_n(ppSrc, kPlanes, apSrc);
    std::copy_n(ppOut, kPlanes, apOut);
    CSumPair aSum[iPairs + 1];
    std::ptrdiff_t iOut = -1;
    for (std::ptrdiff_t j = 0; j < iEntries; ++j) {
        const std::ptrdiff_t iAhead = static_cast<std::ptrdiff_t>(pEntries[j + kAhead] & CBits::kIndex);
        for (int p = 0; p < kPlanes; ++p) {
            PrefetchForRead(apSrc[p] + iAhead);
        }
        const TIndex e = pEntries[j];
        const std::uint64_t iFirst = static_cast<std::uint64_t>(e >> iFirstShift);
        const CSumPair keepSum = CSumPair::Mask(iFirst - 1);
        const CSumPair keepValue = CSumPair::Mask(static_cast<std::uint64_t>((e >> iEmptyShift) & 1) - 1);
        const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(e & CBits::kIndex);
        iOut += static_cast<std::ptrdiff_t>(iFirst);
        for (int q = 0; q < iPairs; ++q) {
            const double* p0 = apSrc[2 * q] + i;
            const double* p1 = apSrc[2 * q + 1] + i;
            aSum[q] = (CSumPair::Load(p0, p1) & keepValue) + (aSum[q] & keepSum);
            aSum[q].Store(apOut[2 * q] + iOut, apOut[2 * q + 1] + iOut);
        }
        if (bSingle) {
            const double* p0 = apSrc[kPlanes - 1] + i;
            aSum[iPairs] = (CSumPair::Load(p0) & keepValue) + (aSum[iPairs] & keepSum);
            aSum[iPairs].Store(apOut[kPlanes - 1] + iOut);
        }
    }
}

template <class TIndex>
void SumPlaneGroup(const CLists<TIndex>& lists, const double* const* ppSrc, double* const* ppOut, qelMInt iPlanes)
{
    const TIndex* pEntries = lists.pEntries.get();
    switch (iPlanes) {
        case 1:
            SumPlanes<TIndex, 1>(pEntries, lists.iEntries, ppSrc, ppOut);
            break;
        case 2:
            SumPlanes<TIndex, 2>(pEntries, lists.iEntries, ppSrc, ppOut);
            break;
        case 3:
            SumPlanes<TIndex, 3>(pEntries, lists.iEntries, ppSrc, ppOut);
            break;
        default:
            SumPlanes<TIndex, kMaxPlanesPerPass>(pEntries, lists.iEntries, ppSrc, ppOut);
            break;
    }
}

}  // namespace

template <class TIndex>
void SumLists(const CLists<TIndex>& lists, const double* pSrc, double* pOut, qelMInt iWidth, qelMInt iHeight,
              qelMInt iChannels)
{
    const std::ptrdiff_t iPlane = std::ptrdiff_t(iWidth) * iHeight;
    // Sources more than a few columns apart lie on other memory pages.
    const bool bLoadPlanes = ScatteredSources(lists, 4 * std::ptrdiff_t(iHeight));
    for (qelMInt k0 = 0; k0 < iChannels; k0 += kMaxPlanesPerPass) {
        const qelMInt iPlanes = std::min(kMaxPlanesPerPass, iChannels - k0);
        const double* apSrc[kMaxPlanesPerPass];
        double* apOut[kMaxPlanesPerPass];
        for (qelMInt p = 0; p < iPlanes; ++p) {
            apSrc[p] = pSrc + (k0 + p) * iPlane;
            apOut[p] = pOut + (k0 + p) * iPlane;
        }
        if (bLoadPlanes) {
            LoadPlanes(apSrc, iPlanes, iPlane);
        }
        SumPlaneGroup(lists, apSrc, apOut, iPlanes);
    }
}

template void SumLists(const CLists<std::uint32_t>&, const double*, double*, qelMInt, qelMInt, qelMInt);
template void SumLists(const CLists<std::uint64_t>&, const double*, double*, qelMInt, qelMInt, qelMInt);

}  // namespace NContributionLists
