// Farneback run: grey frames from the RGBA frames, OpenCV's dense flow on them,
// and the result copied back into the library's vector image.
#include "superres/OpticalFlow_Farneback.h"

#include <cstring>

#include <opencv2/core.hpp>
#include <opencv2/video/tracking.hpp>

#include "Image/Img_Convert.h"
#include "QELLib/NException.h"

namespace sr {

namespace {

using CFlowImage = NImage::CCompositeImage<NSmallVector::CVector2D<float>>;

bool IsUsableInitialFlow(const CFlowImage& flow, qelMInt iWidth, qelMInt iHeight)
{
    return !flow.IsEmpty() && flow.Width() == iWidth && flow.Height() == iHeight;
}

void CopyFlowToCv(const CFlowImage& flow, cv::Mat& matFlow)
{
    const size_t nRowBytes = static_cast<size_t>(flow.Width()) * 2 * sizeof(float);
    for (qelMInt y = 0; y < flow.Height(); ++y) std::memcpy(matFlow.ptr(y), flow.Row(y), nRowBytes);
}

}  // namespace

void COpticalFlow_Farneback::Run(const NImage::CCompositeImage<NColor::CColorRGBAub>& img1,
                                 const NImage::CCompositeImage<NColor::CColorRGBAub>& img2, CFlowImage& flow)
{
    const qelMInt iWidth = img1.Width();
    const qelMInt iHeight = img1.Height();
    if (bUseInitFlow && !IsUsableInitialFlow(flow, iWidth, iHeight))
        throw NException::LogicError("Error: COpticalFlow_Farneback::Run() failed, illegal initial flow provided!");
    // An empty frame would end the process in RGBA2Gray, and a frame of another
    // size would leave OpenCV's second frame uninitialised.
    if (img1.IsEmpty() || img2.Width() != iWidth || img2.Height() != iHeight)
        throw NException::LogicError(
            "Error: COpticalFlow_Farneback::Run() failed, frames are empty or differ in size!");

    NImage::CImage<unsigned char> imgGray1, imgGray2;
    RGBA2Gray(imgGray1, img1);
    RGBA2Gray(imgGray2, img2);

    cv::Mat matPrev(iHeight, iWidth, CV_8UC1);
    cv::Mat matNext(iHeight, iWidth, CV_8UC1);
    cv::Mat matFlow(iHeight, iWidth, CV_32FC2);
    Img2Cv(imgGray1, matPrev);
    Img2Cv(imgGray2, matNext);
    if (bUseInitFlow) CopyFlowToCv(flow, matFlow);

    RunOnGrey(matPrev, matNext, matFlow);
    Cv2Img(matFlow, flow);
}

void COpticalFlow_Farneback::RunOnGrey(const cv::Mat& matPrev, const cv::Mat& matNext, cv::Mat& matFlow) const
{
    const int iFlags =
        (bGaussian ? cv::OPTFLOW_FARNEBACK_GAUSSIAN : 0) | (bUseInitFlow ? cv::OPTFLOW_USE_INITIAL_FLOW : 0);
    cv::calcOpticalFlowFarneback(matPrev, matNext, matFlow, dPyrScale, iLevels, iWinSize, iIterations, iPolyN,
                                 dPolySigma, iFlags);
}

}  // namespace sr
