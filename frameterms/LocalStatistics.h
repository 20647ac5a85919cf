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

constexpr int BUCKET_BITS = 16;
constexpr std::size_t BUCKETS = std::size_t{1} << BUCKET_BITS;

inline std::size_t Bucket(double d) { return static_cast<std::size_t>(OrderKey(d) >> (64 - BUCKET_BITS)); }

}  // namespace NMedianDetail

// The median (the mean of the two middle values for an even count; NaN for
// none). The values are reordered. Large counts are first narrowed to the
// values whose 16 leading key bits are the middle value's (two passes), so
// that only those are partially sorted; the result is the same value.
inline double Median(std::vector<double>& vecValues)
{
    using namespace NMedianDetail;
    const std::size_t n = vecValues.size();
    if (n == 0) return std::numeric_limits<double>::quiet_NaN();
    const std::size_t iMid = (n - 1) / 2;
    if (n <= BUCKETS) {  // no more values than buckets: sort them partially
        const auto itMid = vecValues.begin() + static_cast<std::ptrdiff_t>(iMid);
        std::nth_element(vecValues.begin(), itMid, vecValues.end());
        if (n % 2 == 1) return *itMid;
        return (*itMid + *std::min_element(itMid + 1, vecValues.end())) / 2;
    }
    std::vector<std::size_t> vecCount(BUCKETS, 0);
    for (double d : vecValues) ++vecCount[Bucket(d)];
    std::size_t iBucket = 0, iBelow = 0;
    while (iBelow + vecCount[iBucket] <= iMid) iBelow += vecCount[iBucket++];
    // The middle value's bucket moves to the front; the least value of the
    // buckets above is the next value when the bucket holds no more.
    std::size_t iIn = 0;
    double dAbove = 0;
    std::uint64_t uAbove = std::numeric_limits<std::uint64_t>::max();
    for (std::size_t i = 0; i < n; ++i) {
        const double d = vecValues[i];
        const std::uint64_t u = OrderKey(d);
        const std::size_t b = static_cast<std::size_t>(u >> (64 - BUCKET_BITS));
        if (b == iBucket) {
            std::swap(vecValues[iIn++], vecValues[i]);
        } else if (b > iBucket && u <= uAbove) {
            uAbove = u;
            dAbove = d;
        }
    }
    const auto itBegin = vecValues.begin(), itEnd = itBegin + static_cast<std::ptrdiff_t>(iIn);
    const auto itMid = itBegin + static_cast<std::ptrdiff_t>(iMid - iBelow);
    std::nth_element(itBegin, itMid, itEnd);
    if (n % 2 == 1) return *itMid;
    const double dNext = itMid + 1 < itEnd ? *std::min_element(itMid + 1, itEnd) : dAbove;
    return (*itMid + dNext) / 2;
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
