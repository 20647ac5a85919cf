// The straightforward operator the module's fast form is tested and timed
// against: per-frame warp and low-resolution buffers, full-resolution
// cv::filter2D on an interleaved copy of the image, frames summed at the end.
#ifndef QMV_REFERENCE_SYSTEM_OPERATOR_H
#define QMV_REFERENCE_SYSTEM_OPERATOR_H

#include "contract/OperatorArguments.h"
#include "warp/IllegalVector.h"

#include <opencv2/core.hpp>

namespace NSysApply {

// imgResult (H x W, P channels) = eta * R(x) + (dataTermScale / N) * sum_k r_k.
void ApplySystemOperatorReference(const COperatorArguments& args, cv::Mat& imgResult, CFrameWarnings& warnings);

// A row-major, channel-interleaved copy of a viewed array (real part).
cv::Mat view2cv(const CPlanarView& viewSrc);

// imgDst = B^T U imgSrc through the module's sampled transposed blur, for one
// low-resolution image.
void UpsampleBlurTransposeFromSamples(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgKernel, int iScale);

}  // namespace NSysApply

#endif
