// Per-frame forward operators of the observation model: nearest-neighbour
// backward warp M_k, blur B_k followed by decimation D. All work on CV_64F
// matrices with any number of interleaved channels, every channel alike.
#ifndef QMV_REFERENCE_FORWARD_OPERATORS_H
#define QMV_REFERENCE_FORWARD_OPERATORS_H

#include "conversions/PlanarView.h"

#include <opencv2/core.hpp>

namespace NSysApply {

// imgDst = M imgSrc. imgMap: H x W, 2 channels of 1-based absolute (x, y);
// non-finite entries give a zero pixel, silently.
void WarpNearest(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgMap);
// The same warp, with the map read in place from the caller's H x W x 2 array.
void WarpNearest(cv::Mat& imgDst, const cv::Mat& imgSrc, const CPlanarView& viewMap);

// imgDst = D B imgSrc, straightforwardly: full-resolution convolution with
// replicated borders (cv::filter2D on the flipped kernel), then decimation.
void BlurDecimate(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgKernel, int iScale);

// Keeps the first sample of every iScale x iScale block; at least 1 x 1.
void Decimate(cv::Mat& imgDst, const cv::Mat& imgSrc, int iScale);

}  // namespace NSysApply

#endif
