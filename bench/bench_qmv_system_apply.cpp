// Benchmark of qmv_system_apply, N = 8 frames, HR 256x256x3 and 512x512x3
// (255 and 510 for s = 3), s = 2 and 3, kernels 5x5 and 9x9:
//  - the module's computation against the straightforward one (full-resolution
//    cv::filter2D, then decimation; zero fill, then filter2D) on the same
//    arguments, at the default thread count;
//  - the whole call through the stand-in host on two threads against one;
//  - the heap the call needs at its peak, in high-resolution images, against
//    the budget N + 2 * threads + 4.
#include "SystemOperator.h"
#include "contract/ArgumentContract.h"
#include "conversions/MatConversion.h"
#include "frameloop/LargeBuffers.h"
#include "tests/reference/ReferenceSystemOperator.h"

#include "BenchTiming.h"
#include "mex_standin.h"
#include "tests/sysapply/AllocationMeter.h"

#include <omp.h>
#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

using namespace NMexStandIn;
using namespace NSysApply;
using NBench::Median;
using NBench::RunCount;

const int N = 8, P = 3;

// Inputs shaped like a reconstruction's: frame 1 is the reference, the others
// move by sub-pixel shifts and small rotations with jitter (so some entries
// leave the image and clamp), Gaussian kernels, positive weights.
struct CProblem {
    CArrayPtr imgI, param;
};

CProblem MakeProblem(int iSize, int iScale, int iKernel)
{
    cv::RNG rng(42);
    CProblem pr;
    pr.imgI = MakeDoubleFrom(iSize, iSize, P, [&](int, int, int) { return rng.uniform(0.0, 1.0); });
    std::vector<CArrayPtr> kers, weights, maps;
    const double dCentre = (iSize - 1) / 2.0;
    for (int k = 0; k < N; ++k) {
        const double dSigma = (0.6 + 0.4 * rng.uniform(0.0, 1.0)) * iKernel / 4.0;
        const int r = iKernel / 2;
        kers.push_back(MakeDoubleFrom(iKernel, iKernel, 1, [&](int i, int j, int) {
            return std::exp(-((i - r) * (i - r) + (j - r) * (j - r)) / (2 * dSigma * dSigma));
        }));
        weights.push_back(MakeDoubleFrom(iSize / iScale, iSize / iScale, P,
                                         [&](int, int, int) { return 0.2 + 0.8 * rng.uniform(0.0, 1.0); }));
        const double a = 0.01 * rng.gaussian(1.0), dx = rng.uniform(-3.0, 3.0), dy = rng.uniform(-3.0, 3.0);
        maps.push_back(MakeDoubleFrom(iSize, iSize, 2, [&](int y, int x, int c) {
            const double u = x - dCentre, v = y - dCentre;
            return 1 +
                   (c == 0 ? dCentre + std::cos(a) * u - std::sin(a) * v + dx
                           : dCentre + std::sin(a) * u + std::cos(a) * v + dy) +
                   0.3 * rng.gaussian(1.0);
        }));
    }
    std::vector<std::pair<std::string, CArrayPtr>> fields;
    fields.emplace_back("idx0", MakeScalar(1));
    fields.emplace_back("numFrames", MakeScalar(N));
    fields.emplace_back("scaleFactor", MakeScalar(iScale));
    fields.emplace_back("vecKers", MakeCellFrom(std::move(kers)));
    fields.emplace_back("imgWs",
                        MakeDoubleFrom(iSize, iSize, P, [&](int, int, int) { return 0.1 + rng.uniform(0.0, 1.0); }));
    fields.emplace_back("vecImgW", MakeCellFrom(std::move(weights)));
    fields.emplace_back("vecMapB", MakeCellFrom(std::move(maps)));
    fields.emplace_back("dataTermScale", MakeScalar(1.0));
    fields.emplace_back("eta", MakeScalar(0.02));
    pr.param = MakeStructFrom(std::move(fields));
    return pr;
}

// Process CPU time: on a shared machine, load from other users stretches the
// wall time of a two-thread run far more than its CPU time.
double CpuMs() { return NBench::ClockMs(CLOCK_PROCESS_CPUTIME_ID); }

struct CTiming {
    double dWall = 0, dCpu = 0;  // medians, ms
};

// Medians of interleaved timed runs of two functions, after one warm-up each.
template <class TA, class TB>
void TimeInterleaved(int iRuns, const TA& fnA, const TB& fnB, CTiming& a, CTiming& b)
{
    fnA();
    fnB();
    std::vector<double> vWallA, vWallB, vCpuA, vCpuB;
    auto fnTime = [](const auto& fn, std::vector<double>& vWall, std::vector<double>& vCpu) {
        const double dWall = NBench::WallMs(), dCpu = CpuMs();
        fn();
        vWall.push_back(NBench::WallMs() - dWall);
        vCpu.push_back(CpuMs() - dCpu);
    };
    for (int i = 0; i < iRuns; ++i) {
        fnTime(fnA, vWallA, vCpuA);
        fnTime(fnB, vWallB, vCpuB);
    }
    a = CTiming{Median(vWallA), Median(vCpuA)};
    b = CTiming{Median(vWallB), Median(vCpuB)};
}

template <class TFn>
void WithThreads(int iThreads, const TFn& fn)
{
    const int iBefore = omp_get_max_threads();
    omp_set_num_threads(iThreads);
    fn();
    omp_set_num_threads(iBefore);
}

double RelativeDifference(const cv::Mat& a, const cv::Mat& b)
{
    double dDiff = 0, dMax = 0;
    cv::minMaxLoc(cv::abs(cv::Mat(a - b).reshape(1)), nullptr, &dDiff);
    cv::minMaxLoc(cv::abs(b.reshape(1)), nullptr, &dMax);
    return dDiff / dMax;
}

bool RunCase(int iSize, int iScale, int iKernel, int iRuns)
{
    const CProblem pr = MakeProblem(iSize, iScale, iKernel);
    const std::string sCase = std::to_string(iSize) + "x" + std::to_string(iSize) + "x3_N8_s" + std::to_string(iScale) +
                              "_k" + std::to_string(iKernel);
    const mxArray* prhs[2] = {pr.imgI.get(), pr.param.get()};
    COperatorArguments args;
    ReadOperatorArguments(1, 2, prhs, args);
    const int iThreads = omp_get_max_threads();

    // The sampled computation against the straightforward one, same arguments.
    cv::Mat imgStraight;
    std::vector<double> vecFast(args.viewX.PlaneSize() * args.viewX.iPlanes);
    CFrameWarnings warnings;
    CTiming fast, straight;
    TimeInterleaved(
        iRuns, [&] { ApplySystemOperator(args, vecFast.data(), warnings); },
        [&] { ApplySystemOperatorReference(args, imgStraight, warnings); }, fast, straight);
    const cv::Mat imgFast =
        view2cv(CPlanarView{vecFast.data(), args.viewX.iRows, args.viewX.iCols, args.viewX.iPlanes, false});
    const bool bTarget = iScale == 3 || iKernel == 9;
    std::printf(
        "BENCH qmv_system_apply %s %.3f straightforward %.3f %.3f threads=%d maxrel=%.2g cpu_ms=%.3f "
        "ref_cpu_ms=%.3f%s\n",
        sCase.c_str(), fast.dWall, straight.dWall, straight.dWall / fast.dWall, iThreads,
        RelativeDifference(imgFast, imgStraight), fast.dCpu, straight.dCpu, bTarget ? " target=2" : "");

    // Peak heap of one call, in high-resolution images.
    const double dImage = static_cast<double>(iSize) * iSize * P * sizeof(double);
    double pPeak[3] = {0, 0, 0};
    for (int t : {1, 2}) {
        long long iPeak = 0;
        ReleaseKeptBuffers();  // buffers kept from earlier calls would hide the call's own need
        WithThreads(t, [&] { iPeak = NAllocationMeter::PeakBytesOf([&] { CallMex(1, {prhs[0], prhs[1]}); }); });
        pPeak[t] = iPeak / dImage;
        std::printf("%s: peak heap with %d thread(s): %.2f HR images (budget %d)\n", sCase.c_str(), t, pPeak[t],
                    N + 2 * t + 4);
    }

    // The whole call, two threads against one; the results must be identical.
    // cpu_ms over wall time shows how much of the second core the run got.
    CCallResult one, two;
    CTiming timeOne, timeTwo;
    TimeInterleaved(
        iRuns, [&] { WithThreads(2, [&] {
                         two = CallMex(1, {prhs[0], prhs[1]});
                     }); },
        [&] { WithThreads(1, [&] {
                  one = CallMex(1, {prhs[0], prhs[1]});
              }); }, timeTwo, timeOne);
    const bool bSame = one.bOk && two.bOk && Values(one.Output()) == Values(two.Output());
    std::printf(
        "BENCH qmv_system_apply %s_2threads %.3f 1thread %.3f %.3f identical=%s cpu_ms=%.3f ref_cpu_ms=%.3f "
        "peak_images=%.2f budget=%d target=1.7\n",
        sCase.c_str(), timeTwo.dWall, timeOne.dWall, timeOne.dWall / timeTwo.dWall, bSame ? "yes" : "NO", timeTwo.dCpu,
        timeOne.dCpu, pPeak[2], N + 2 * 2 + 4);
    return bSame;
}

}  // namespace

// Without arguments every case runs; "<size> <s> <kernel>" runs one.
int main(int argc, char** argv)
{
    const int iRuns = RunCount();
    if (argc == 4) {
        const int iScale = std::atoi(argv[2]);
        return RunCase(iScale * (std::atoi(argv[1]) / iScale), iScale, std::atoi(argv[3]), iRuns) ? 0 : 1;
    }
    bool bOk = true;
    for (int iSize : {256, 512})
        for (int iScale : {2, 3})
            for (int iKernel : {5, 9}) bOk = RunCase(iScale * (iSize / iScale), iScale, iKernel, iRuns) && bOk;
    return bOk ? 0 : 1;
}
