// What this machine's cores give when they work together: the ceiling of
// every thread-count ratio in the other benchmarks. Two loops, each timed on
// all threads against one thread, interleaved:
//  - a streaming loop over three 48 MB arrays (the size of 8 colour frames of
//    512 x 512 in doubles), which, like most image passes, is bound by memory
//    bandwidth;
//  - a loop of square roots on registers, bound by the cores alone.
// A streaming ratio well below the thread count caps what frame-parallel
// image code can reach here, whatever the code.
#include "BenchTiming.h"

#include <omp.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr std::size_t STREAM_VALUES = std::size_t(6) << 20;  // 48 MB of doubles
constexpr long COMPUTE_STEPS = 100000000L;

double Stream(std::vector<double>& a, const std::vector<double>& b, const std::vector<double>& c)
{
    const long n = static_cast<long>(a.size());
#pragma omp parallel for schedule(static)
    for (long i = 0; i < n; ++i) a[i] = b[i] + 0.5 * c[i];
    return a[n / 2];
}

double Compute()
{
    double dSum = 0;
#pragma omp parallel for schedule(static) reduction(+ : dSum)
    for (long i = 0; i < COMPUTE_STEPS; ++i) dSum += std::sqrt(static_cast<double>(i));
    return dSum;
}

// Median ms of fn on iThreads threads and on one, interleaved after a warm-up.
template <class F>
void Report(const char* pCase, int iThreads, F&& fn)
{
    volatile double dSink = 0;
    std::vector<double> vAll, vOne;
    for (int i = 0; i <= NBench::RunCount(); ++i) {
        for (int t : {iThreads, 1}) {
            omp_set_num_threads(t);
            const double t0 = NBench::WallMs();
            dSink = dSink + fn();
            if (i > 0) (t == 1 ? vOne : vAll).push_back(NBench::WallMs() - t0);
        }
    }
    const double dAll = NBench::Median(vAll), dOne = NBench::Median(vOne);
    std::printf("BENCH machine %s %.3f 1thread %.3f %.3f threads=%d\n", pCase, dAll, dOne, dOne / dAll, iThreads);
}

}  // namespace

int main()
{
    const int iThreads = omp_get_max_threads();
    std::vector<double> a(STREAM_VALUES, 0.0), b(STREAM_VALUES, 1.0), c(STREAM_VALUES, 2.0);
    Report("stream_3x48MB", iThreads, [&] { return Stream(a, b, c); });
    Report("compute_sqrt", iThreads, Compute);
    return 0;
}
