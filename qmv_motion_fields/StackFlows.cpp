// Frames in parallel: each thread takes whole frames (dynamic schedule, since
// frames cost about the same but threads may be slowed by other work), and a
// failure is kept per frame so that the reported one does not depend on which
// thread met it first.
#include "StackFlows.h"

#include <algorithm>
#include <vector>

#include <omp.h>
#include <opencv2/core.hpp>

#include "FlowFailure.h"
#include "FlowToPlanes.h"
#include "MotionField.h"

namespace {

// Each thread's working images, kept from one call to the next (fresh pages
// cost a tenth of a flow); sized on the calling thread before the region.
std::vector<SFlowBuffers> s_vBuffers;

std::string FrameFlow(const SFrameStacks& stacks, std::size_t k, double* pFlow, SFlowBuffers& buffers)
{
    const int iHeight = static_cast<int>(stacks.shape.nHeight);
    const int iWidth = static_cast<int>(stacks.shape.nWidth);
    const cv::Mat& matFlow = buffers.matFlow;
    std::string sFailure =
        FlowFailure([&] { MotionFieldFromArrays(stacks.From(k), stacks.To(k), iHeight, iWidth, buffers); });
    if (!sFailure.empty()) return sFailure;
    if (matFlow.type() != CV_32FC2 || matFlow.rows != iHeight || matFlow.cols != iWidth)
        return "Error: qmv_motion_fields failed, the solver returned a flow of another size!";
    return FlowFailure([&] { FlowToPlanes(matFlow, pFlow); });
}

}  // namespace

void ReleaseStackFlowBuffers() { std::vector<SFlowBuffers>().swap(s_vBuffers); }

std::string ComputeStackFlows(const SFrameStacks& stacks, double* pFlows)
{
    const long iFrames = static_cast<long>(stacks.shape.nFrames);
    std::vector<std::string> vFailures;
    std::vector<char> vOutOfMemory;
    const int iThreads = omp_get_max_threads();
    const std::string sSetUp = FlowFailure([&] {
        vFailures.resize(stacks.shape.nFrames);
        vOutOfMemory.assign(stacks.shape.nFrames, 0);
        if (s_vBuffers.size() < static_cast<std::size_t>(iThreads)) s_vBuffers.resize(iThreads);
    });
    if (!sSetUp.empty()) return sSetUp;
#pragma omp parallel for num_threads(iThreads) schedule(dynamic, 1)
    for (long k = 0; k < iFrames; ++k) {
        const std::size_t n = static_cast<std::size_t>(k);
        SFlowBuffers& buffers = s_vBuffers[static_cast<std::size_t>(omp_get_thread_num())];
        try {
            vFailures[n] = FrameFlow(stacks, n, pFlows + n * stacks.FlowValues(), buffers);
        } catch (...) {  // only the failure text's own allocation can throw here
            vOutOfMemory[n] = 1;
        }
    }
    if (std::any_of(vFailures.begin(), vFailures.end(), [](const std::string& s) { return !s.empty(); }) ||
        std::find(vOutOfMemory.begin(), vOutOfMemory.end(), 1) != vOutOfMemory.end())
        s_vBuffers.clear();  // working images released before the error is raised
    for (std::size_t n = 0; n < vFailures.size(); ++n) {
        if (vOutOfMemory[n]) return "Error: out of memory!";
        if (!vFailures[n].empty()) return vFailures[n];
    }
    return std::string();
}
