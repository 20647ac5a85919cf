// Small statistics that the per-frame functions share with the M-code they
// replaced: the median as Octave and MATLAB take it, and the 3 x 3 mean of a
// plane as conv2(plane, ones(3) / 9, 'same') gives it.
#ifndef QMV_FRAMETERMS_LOCAL_STATISTICS_H
#define QMV_FRAMETERMS_LOCAL_STATISTICS_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace NSysApply {

namespace NMedianDetail {

// The bits of a double as an unsigned key in the order of the values
// (negative values reversed below the positive ones; NaN above +Inf).
inline std::uint64_t OrderKey(double d)
{
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return (u >> 63) != 0 ? ~u : u | (std::uint64_t{1} << 63);
}

// The double whose key OrderKey gives.
inline double FromOrderKey(std::uint64_t u)
{
    u = (u >> 63) != 0 ? u & ~(std::uint64_t{1} << 63) : ~u;
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

constexpr int BUCKET_BITS = 16;
constexpr std::size_t BUCKETS = std::size_t{1} << BUCKET_BITS;

// The value at iAt of vecValues were they sorted, or for an even count the
// mean of it and the next value, which is dNext when vecValues holds no more.
inline double MiddleOf(std::vector<double>& vecValues, std::size_t iAt, bool bEven, double dNext)
{
    const auto itAt = vecValues.begin() + static_cast<std::ptrdiff_t>(iAt);
    std::nth_element(vecValues.begin(), itAt, vecValues.end());
    if (!bEven) return *itAt;
    if (itAt + 1 < vecValues.end()) dNext = *std::min_element(itAt + 1, vecValues.end());
    return (*itAt + dNext) / 2;
}

}  // namespace NMedianDetail

// The median of the values that fnEach hands on (the mean of the two middle
// values for an even count; NaN for none), without a copy of them all:
// fnEach(visit) calls visit(d) for each value, the same values each time it
// runs. A first run counts the values per bucket of their 16 leading key
// bits; a second keeps the middle value's bucket, which alone is then
// partially sorted, and the least value of the buckets above it.
template <class FN>
double MedianOfEach(const FN& fnEach)
{
    using namespace NMedianDetail;
    std::vector<std::size_t> vecCount(BUCKETS, 0);
    std::size_t* pCount = vecCount.data();
    fnEach([pCount](double d) { ++pCount[OrderKey(d) >> (64 - BUCKET_BITS)]; });
    std::size_t n = 0;
    for (std::size_t iCount : vecCount) n += iCount;
    if (n == 0) return std::numeric_limits<double>::quiet_NaN();
    const std::size_t iMid = (n - 1) / 2;
    std::size_t iBucket = 0, iBelow = 0;
    while (iBelow + vecCount[iBucket] <= iMid) iBelow += vecCount[iBucket++];
    std::vector<double> vecIn;
    vecIn.reserve(vecCount[iBucket]);
    std::uint64_t uAbove = std::numeric_limits<std::uint64_t>::max();
    fnEach([&](double d) {
        const std::uint64_t u = OrderKey(d);
        const std::size_t b = static_cast<std::size_t>(u >> (64 - BUCKET_BITS));
        if (b == iBucket) vecIn.push_back(d);
        uAbove = std::min(uAbove, b > iBucket ? u : std::numeric_limits<std::uint64_t>::max());  // no branch
    });
    const double dAbove = FromOrderKey(uAbove);  // read only when the bucket holds no next value: then one exists
    return MiddleOf(vecIn, iMid - iBelow, n % 2 == 0, dAbove);
}

// The median of vecValues (as MedianOfEach takes it); they may be reordered.
inline double Median(std::vector<double>& vecValues)
{
    const std::size_t n = vecValues.size();
    if (n == 0) return std::numeric_limits<double>::quiet_NaN();
    if (n > NMedianDetail::BUCKETS)
        return MedianOfEach([&](const auto& fnVisit) {
            for (double d : vecValues) fnVisit(d);
        });
    // No more values than buckets: partially sorting them all is cheaper.
    return NMedianDetail::MiddleOf(vecValues, (n - 1) / 2, n % 2 == 0, 0);
}

// pOut = the mean of each pixel's 3 x 3 neighbourhood of the h x w plane pIn
// (column-major), zero outside the plane, each neighbour weighted by the
// double nearest 1/9 as ones(3) / 9 holds it. Every pixel sums its
// neighbours in the same order (column by column, top to bottom); pixels
// off the border need no clamping, which lets the compiler vectorise them.
inline void BoxMean3(const double* pIn, int h, int w, double* pOut)
{
    constexpr double NINTH = 1.0 / 9;
    const auto fnClamped = [&](int i, int j) {
        double dSum = 0;
        for (int jj = std::max(j - 1, 0); jj <= std::min(j + 1, w - 1); ++jj)
            for (int ii = std::max(i - 1, 0); ii <= std::min(i + 1, h - 1); ++ii)
                dSum += pIn[static_cast<std::size_t>(ii) + static_cast<std::size_t>(jj) * h] * NINTH;
        pOut[static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * h] = dSum;
    };
    for (int j = 0; j < w; ++j) {
        if (j == 0 || j == w - 1 || h < 3) {
            for (int i = 0; i < h; ++i) fnClamped(i, j);
            continue;
        }
        const double* pL = pIn + static_cast<std::size_t>(j - 1) * h;
        const double* pM = pL + h;
        const double* pR = pM + h;
        double* pO = pOut + static_cast<std::size_t>(j) * h;
        fnClamped(0, j);
        for (int i = 1; i < h - 1; ++i) {
            double dSum = 0;
            dSum += pL[i - 1] * NINTH;
            dSum += pL[i] * NINTH;
            dSum += pL[i + 1] * NINTH;
            dSum += pM[i - 1] * NINTH;
            dSum += pM[i] * NINTH;
            dSum += pM[i + 1] * NINTH;
            dSum += pR[i - 1] * NINTH;
            dSum += pR[i] * NINTH;
            dSum += pR[i + 1] * NINTH;
            pO[i] = dSum;
        }
        fnClamped(h - 1, j);
    }
}

}  // namespace NSysApply

#endif
