// OpenCV's BTV-L1 reads frames from a source and, on its first call,
// reconstructs every frame of the temporal window around the first one
// (each from all frames of the window). With the window radius set to the
// number of frames minus one, the first result is the reference frame's,
// computed from all frames; the time of one reconstruction is the flows of
// that call plus its solve time divided by the frames it solved for.
#include "Btvl1Runner.h"

#include <opencv2/superres.hpp>
#include <opencv2/superres/optical_flow.hpp>

#include <chrono>
#include <stdexcept>

namespace NBtvl1 {
namespace {

// Hands out the given frames in order, reference first.
class CFrameList : public cv::superres::FrameSource {
public:
    explicit CFrameList(const std::vector<cv::Mat>& vecFrames) : m_vecFrames(vecFrames) {}
    void nextFrame(cv::OutputArray oaFrame) override
    {
        if (m_iNext < m_vecFrames.size()) {
            m_vecFrames[m_iNext++].copyTo(oaFrame);
        } else {
            oaFrame.release();
        }
    }
    void reset() override { m_iNext = 0; }

private:
    const std::vector<cv::Mat>& m_vecFrames;
    size_t m_iNext = 0;
};

double Seconds(std::chrono::steady_clock::time_point tStart)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
}

void CheckInput(const std::vector<cv::Mat>& vecFrames, const SOptions& sOptions)
{
    // OpenCV's BTV-L1 crashes on a single frame (no motion to compute).
    if (vecFrames.size() < 2) {
        throw std::invalid_argument("btvl1: at least 2 frames are needed");
    }
    if (sOptions.iScale < 1 || sOptions.iIterations < 1 || sOptions.iBlurKernelSize < 1 ||
        sOptions.iBlurKernelSize % 2 == 0 || !(sOptions.dBlurSigma > 0)) {
        throw std::invalid_argument("btvl1: scale and iterations must be positive, blur size odd");
    }
    for (const cv::Mat& img : vecFrames) {
        if (img.empty() || img.depth() != CV_8U || (img.channels() != 1 && img.channels() != 3) ||
            img.size() != vecFrames[0].size() || img.type() != vecFrames[0].type()) {
            throw std::invalid_argument("btvl1: frames must be non-empty 8-bit images of one size and type");
        }
    }
}

// The time of the flows BTV-L1 computes: forward and backward between
// consecutive frames, with its own flow object.
double FlowSeconds(const std::vector<cv::Mat>& vecFrames)
{
    cv::Ptr<cv::superres::FarnebackOpticalFlow> pFlow = cv::superres::createOptFlow_Farneback();
    cv::Mat imgFlow1;
    cv::Mat imgFlow2;
    auto tStart = std::chrono::steady_clock::now();
    for (size_t i = 1; i < vecFrames.size(); ++i) {
        pFlow->calc(vecFrames[i - 1], vecFrames[i], imgFlow1, imgFlow2);
        pFlow->calc(vecFrames[i], vecFrames[i - 1], imgFlow1, imgFlow2);
    }
    return Seconds(tStart);
}

}  // namespace

SResult Reconstruct(const std::vector<cv::Mat>& vecFrames, const SOptions& sOptions)
{
    CheckInput(vecFrames, sOptions);
    const int iFrames = static_cast<int>(vecFrames.size());
    cv::Ptr<cv::superres::SuperResolution> pSr = cv::superres::createSuperResolution_BTVL1();
    pSr->setScale(sOptions.iScale);
    pSr->setIterations(sOptions.iIterations);
    pSr->setBlurKernelSize(sOptions.iBlurKernelSize);
    pSr->setBlurSigma(sOptions.dBlurSigma);
    pSr->setTemporalAreaRadius(iFrames - 1);
    pSr->setInput(cv::makePtr<CFrameList>(vecFrames));

    SResult sResult;
    auto tStart = std::chrono::steady_clock::now();
    pSr->nextFrame(sResult.imgRecon);
    sResult.dSecondsTotal = Seconds(tStart);
    if (sResult.imgRecon.empty()) {
        throw std::runtime_error("btvl1: no result");
    }
    sResult.dSecondsFlow = FlowSeconds(vecFrames);
    const double dSolves = iFrames;
    sResult.dSecondsOne = sResult.dSecondsFlow + std::max(sResult.dSecondsTotal - sResult.dSecondsFlow, 0.0) / dSolves;
    return sResult;
}

}  // namespace NBtvl1
