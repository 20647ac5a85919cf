// The regulariser R(x) = Dx^T (w .* Dx x) + Dy^T (w .* Dy x) with periodic
// first differences: symmetric and positive semi-definite for w >= 0.
#ifndef QMV_SYSAPPLY_WEIGHTED_DIFFERENCE_TERM_H
#define QMV_SYSAPPLY_WEIGHTED_DIFFERENCE_TERM_H

#include <opencv2/core.hpp>

namespace NSysApply {

// imgDst = R(imgX) with weights imgW (the size and type of imgX). imgScratch
// holds the weighted differences of one direction at a time; passing it in
// lets the caller reuse a buffer it already has.
void WeightedDifferenceTerm(cv::Mat& imgDst, const cv::Mat& imgX, const cv::Mat& imgW, cv::Mat& imgScratch);
void WeightedDifferenceTerm(cv::Mat& imgDst, const cv::Mat& imgX, const cv::Mat& imgW);

}  // namespace NSysApply

#endif
