// Runs OpenCV's BTV-L1 multi-frame super-resolution on a given set of frames
// and returns the reconstruction of the reference frame with its time: the
// competitor that the quality and speed benchmarks compare against.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace NBtvl1 {

struct SOptions {
    int iScale = 2;
    int iIterations = 180;    // OpenCV's default
    int iBlurKernelSize = 5;  // the camera model's blur: 5 x 5 Gaussian...
    double dBlurSigma = 1.0;  // ...of sigma 1
};

struct SResult {
    cv::Mat imgRecon;          // 8-bit, the reference frame's grid times iScale less a
                               // border of 7 pixels (its regularisation window)
    double dSecondsTotal = 0;  // the call that returns the reference's result
    double dSecondsFlow = 0;   // the optical flows inside that call
    double dSecondsOne = 0;    // one reconstruction: flows plus one solve
};

// Reconstructs vecFrames[0] (the reference) from all frames, at least 2. Every
// frame must have the same size and type (8-bit, 1 or 3 channels). Throws
// std::invalid_argument on bad input; OpenCV errors pass through.
SResult Reconstruct(const std::vector<cv::Mat>& vecFrames, const SOptions& sOptions);

}  // namespace NBtvl1
