// Small statistics that the per-frame functions share with the M-code they
// replaced: the median as Octave and MATLAB take it, and the 3 x 3 mean of a
// plane as conv2(plane, ones(3) / 9, 'same') gives it.
#ifndef QMV_FRAMETERMS_LOCAL_STATISTICS_H
#define QMV_FRAMETERMS_LOCAL_STATISTICS_H

#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

namespace NSysApply {

// The median (the mean of the two middle values for an even count; NaN for
// none). The values are reordered.
inline double Median(std::vector<double>& vecValues)
{
    const std::size_t n = vecValues.size();
    if (n == 0) return std::numeric_limits<double>::quiet_NaN();
    const auto itMid = vecValues.begin() + static_cast<std::ptrdiff_t>((n - 1) / 2);
    std::nth_element(vecValues.begin(), itMid, vecValues.end());
    if (n % 2 == 1) return *itMid;
    return (*itMid + *std::min_element(itMid + 1, vecValues.end())) / 2;
}

// pOut = the mean of each pixel's 3 x 3 neighbourhood of the h x w plane pIn
// (column-major), zero outside the plane, each neighbour weighted by the
// double nearest 1/9 as ones(3) / 9 holds it.
inline void BoxMean3(const double* pIn, int h, int w, double* pOut)
{
    constexpr double NINTH = 1.0 / 9;
    for (int j = 0; j < w; ++j)
        for (int i = 0; i < h; ++i) {
            double dSum = 0;
            for (int jj = std::max(j - 1, 0); jj <= std::min(j + 1, w - 1); ++jj)
                for (int ii = std::max(i - 1, 0); ii <= std::min(i + 1, h - 1); ++ii)
                    dSum += pIn[static_cast<std::size_t>(ii) + static_cast<std::size_t>(jj) * h] * NINTH;
            pOut[static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * h] = dSum;
        }
}

}  // namespace NSysApply

#endif
