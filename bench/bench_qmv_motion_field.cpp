// Benchmark of qmv_motion_field: the whole call through the stand-in host
// (array copies, colour to bytes, grey frames, solver, result array) against
// cv::calcOpticalFlowFarneback called directly on the same grey frames.
// Cases: the real 584x388 frame pair, and the pair resized to 1280x720; each
// with the allocator's usual thresholds and with freed blocks kept.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include "BenchTiming.h"
#include "mex_standin.h"
#include "qmv_heap_reuse/HeapReuse.h"

namespace {

using NBench::ClockMs;
using NBench::Median;
using NBench::RunCount;
using NMexStandIn::CArrayPtr;

// The sample frames lie in data/ of the source tree (__FILE__ alone is
// relative when the build rewrites paths, as ccache with a base folder does).
std::string DataPath(const std::string& sName)
{
#ifdef QMV_SOURCE_DIR
    return std::string(QMV_SOURCE_DIR) + "/data/" + sName;
#endif
    const std::string sThis = __FILE__;
    const std::string sBench = sThis.substr(0, sThis.find_last_of('/'));
    return sBench.substr(0, sBench.find_last_of('/')) + "/data/" + sName;
}

cv::Mat LoadRGB(const std::string& sName, cv::Size size)
{
    cv::Mat matBGR = cv::imread(DataPath(sName), cv::IMREAD_COLOR);
    if (matBGR.empty()) return matBGR;
    if (matBGR.size() != size) cv::resize(matBGR, matBGR, size, 0, 0, cv::INTER_LINEAR);
    cv::Mat matRGB;
    cv::cvtColor(matBGR, matRGB, cv::COLOR_BGR2RGB);
    return matRGB;
}

// The frame as a user passes it: H x W x 3 doubles on a 0..1 scale.
CArrayPtr FrameArray(const cv::Mat& matRGB)
{
    const size_t nH = matRGB.rows, nW = matRGB.cols;
    std::vector<double> vValues(nH * nW * 3);
    for (size_t y = 0; y < nH; ++y)
        for (size_t x = 0; x < nW; ++x)
            for (size_t c = 0; c < 3; ++c)
                vValues[y + x * nH + c * nH * nW] = matRGB.at<cv::Vec3b>(int(y), int(x))[int(c)] / 255.0;
    return NMexStandIn::MakeDouble({nH, nW, 3}, vValues);
}

// The grey frame the module gives the solver (single-precision luminance,
// truncated), which is what a direct caller would pass.
cv::Mat GreyFrame(const cv::Mat& matRGB)
{
    cv::Mat matGrey(matRGB.size(), CV_8UC1);
    for (int y = 0; y < matRGB.rows; ++y)
        for (int x = 0; x < matRGB.cols; ++x) {
            const cv::Vec3b p = matRGB.at<cv::Vec3b>(y, x);
            float g = static_cast<float>(p[0]) * 0.299f;
            g = g + static_cast<float>(p[1]) * 0.587f;
            g = g + static_cast<float>(p[2]) * 0.114f;
            matGrey.at<unsigned char>(y, x) = static_cast<unsigned char>(std::min(g, 255.0f));
        }
    return matGrey;
}

// Wall time and process CPU time of one run, in ms. On a shared machine the
// CPU time is the steadier figure: other users' load stretches wall time only.
struct STiming {
    std::vector<double> vWall, vCpu;
};

template <class FN>
void Time(STiming& timing, FN&& fn)
{
    const double dCpu0 = ClockMs(CLOCK_PROCESS_CPUTIME_ID), dWall0 = ClockMs(CLOCK_MONOTONIC);
    fn();
    timing.vWall.push_back(ClockMs(CLOCK_MONOTONIC) - dWall0);
    timing.vCpu.push_back(ClockMs(CLOCK_PROCESS_CPUTIME_ID) - dCpu0);
}

// Largest difference between the module's result and the direct call's flow.
double MaxDifference(const mxArray* pmxFlow, const cv::Mat& matFlow)
{
    const std::vector<double> vFlow = NMexStandIn::Values(pmxFlow);
    const size_t nH = matFlow.rows, nW = matFlow.cols;
    double dMax = 0.0;
    for (size_t y = 0; y < nH; ++y)
        for (size_t x = 0; x < nW; ++x) {
            const cv::Vec2f v = matFlow.at<cv::Vec2f>(int(y), int(x));
            dMax = std::max(dMax, std::abs(vFlow[y + x * nH] - v[0]));
            dMax = std::max(dMax, std::abs(vFlow[y + x * nH + nH * nW] - v[1]));
        }
    return dMax;
}

bool RunCase(const std::string& sCase, cv::Size size, int iRuns)
{
    const cv::Mat matRGB1 = LoadRGB("rubberwhale1.png", size);
    const cv::Mat matRGB2 = LoadRGB("rubberwhale2.png", size);
    if (matRGB1.empty() || matRGB2.empty()) {
        std::printf("%s: sample frames not found\n", sCase.c_str());
        return false;
    }
    CArrayPtr pmx1 = FrameArray(matRGB1), pmx2 = FrameArray(matRGB2);
    const cv::Mat matGrey1 = GreyFrame(matRGB1), matGrey2 = GreyFrame(matRGB2);

    cv::Mat matFlow;
    auto fnReference = [&] { cv::calcOpticalFlowFarneback(matGrey1, matGrey2, matFlow, 0.5, 5, 13, 10, 5, 1.1, 0); };
    auto fnOurs = [&] { return NMexStandIn::CallMex(1, {pmx1.get(), pmx2.get()}); };

    NMexStandIn::CCallResult warm = fnOurs();
    fnReference();
    if (!warm.bOk) {
        std::printf("%s: qmv_motion_field failed: %s\n", sCase.c_str(), warm.sError.c_str());
        return false;
    }
    const double dMaxDiff = MaxDifference(warm.Output(), matFlow);

    // Interleaved, and the order swapped every other run: a call leaves the
    // allocator and caches in a state that the next call inherits, and that
    // should fall on both sides alike.
    STiming ours, reference;
    for (int i = 0; i < iRuns; ++i) {
        if (i % 2 == 0) {
            Time(ours, [&] { fnOurs(); });
            Time(reference, fnReference);
        } else {
            Time(reference, fnReference);
            Time(ours, [&] { fnOurs(); });
        }
    }
    const double dOurs = Median(ours.vWall), dReference = Median(reference.vWall);
    const double dOursCpu = Median(ours.vCpu), dReferenceCpu = Median(reference.vCpu);
    std::printf(
        "BENCH qmv_motion_field %s %.3f calcOpticalFlowFarneback %.3f %.4f maxabs=%g "
        "cpu_ms=%.3f ref_cpu_ms=%.3f cpu_ratio=%.4f opencv_threads=%d runs=%d target=0.952\n",
        sCase.c_str(), dOurs, dReference, dReference / dOurs, dMaxDiff, dOursCpu, dReferenceCpu,
        dReferenceCpu / dOursCpu, cv::getNumThreads(), iRuns);
    return true;
}

}  // namespace

int main()
{
    const int iRuns = RunCount();
    bool bOk = RunCase("584x388", cv::Size(584, 388), iRuns);
    bOk = RunCase("1280x720", cv::Size(1280, 720), iRuns) && bOk;
    // Again with freed blocks kept by the process, as in a session after
    // sr_reconstruct (qmv_heap_reuse): with the usual thresholds, the
    // module's array copies change when the allocator gives the solver's
    // large buffers back, and both sides refault them.
    SetHeapReuse(true);
    bOk = RunCase("584x388_heap_kept", cv::Size(584, 388), iRuns) && bOk;
    bOk = RunCase("1280x720_heap_kept", cv::Size(1280, 720), iRuns) && bOk;
    return bOk ? 0 : 1;
}
