// The regulariser R(x) = Dx^T (w .* Dx x) + Dy^T (w .* Dy x) with periodic
// first differences: symmetric and positive semi-definite for w >= 0.
#ifndef QMV_SYSAPPLY_WEIGHTED_DIFFERENCE_TERM_H
#define QMV_SYSAPPLY_WEIGHTED_DIFFERENCE_TERM_H

#include "PlanarView.h"

#include <opencv2/core.hpp>

namespace NSysApply {

// imgDst = R(imgX) with weights imgW of the size and type of imgX.
void WeightedDifferenceTerm(cv::Mat& imgDst, const cv::Mat& imgX, const cv::Mat& imgW);
// The same, with the weights read in place from the caller's H x W x P array.
void WeightedDifferenceTerm(cv::Mat& imgDst, const cv::Mat& imgX, const CPlanarView& viewW);
// imgDst = eta * R(imgX), formed as R followed by ScaleTerm (the same bits),
// in one pass.
void ScaledWeightedDifferenceTerm(cv::Mat& imgDst, const cv::Mat& imgX, const CPlanarView& viewW, double dEta);

}  // namespace NSysApply

#endif
