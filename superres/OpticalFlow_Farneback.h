// Farneback dense optical flow on the grey levels of two RGBA frames, computed
// by OpenCV's video module.
#ifndef SR_OPTICALFLOW_FARNEBACK_H
#define SR_OPTICALFLOW_FARNEBACK_H

#include <opencv2/core.hpp>

#include "superres/OpticalFlow.h"

namespace sr {

class COpticalFlow_Farneback : public COpticalFlow {
public:
    ~COpticalFlow_Farneback() override {}

    // Throws NException::LogicError when the frames are empty or differ in
    // size, or when bUseInitFlow is set and flow does not match img1.
    void Run(const NImage::CCompositeImage<NColor::CColorRGBAub>& img1,
             const NImage::CCompositeImage<NColor::CColorRGBAub>& img2,
             NImage::CCompositeImage<NSmallVector::CVector2D<float>>& flow) override;

    // The OpenCV call of Run on grey frames (CV_8UC1, same size) with this
    // solver's parameters and flags; matFlow becomes CV_32FC2 of their size and
    // is read first when bUseInitFlow is set. Callers that already hold grey
    // frames use it to skip the colour images.
    void RunOnGrey(const cv::Mat& matPrev, const cv::Mat& matNext, cv::Mat& matFlow) const;

    // Parameters handed to OpenCV unchanged (pyramid scale, levels, averaging
    // window, iterations per level, polynomial neighbourhood and its sigma).
    double dPyrScale = 0.5;
    int iLevels = 5;
    int iWinSize = 13;
    int iIterations = 10;
    int iPolyN = 5;
    double dPolySigma = 1.1;
    bool bUseInitFlow = false;  // start from the incoming flow
    bool bGaussian = false;     // Gaussian instead of box averaging window
};

}  // namespace sr

#endif
