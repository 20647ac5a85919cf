// Timing helpers shared by the benchmark programs (see README.md for the
// output convention they serve).
#ifndef QMV_BENCH_TIMING_H
#define QMV_BENCH_TIMING_H

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace NBench {

// Timed runs per case: QMV_BENCH_RUNS, at least 5 (default 11).
inline int RunCount()
{
    const char* pRuns = std::getenv("QMV_BENCH_RUNS");
    return std::max(pRuns ? std::atoi(pRuns) : 11, 5);
}

inline double ClockMs(clockid_t clock)
{
    timespec t;
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

inline double WallMs() { return ClockMs(CLOCK_MONOTONIC); }

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace NBench

#endif
