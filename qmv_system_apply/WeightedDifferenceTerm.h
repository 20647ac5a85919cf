// The regulariser R(x) = Dx^T (w .* Dx x) + Dy^T (w .* Dy x) with periodic
// first differences: symmetric and positive semi-definite for w >= 0.
#ifndef QMV_SYSAPPLY_WEIGHTED_DIFFERENCE_TERM_H
#define QMV_SYSAPPLY_WEIGHTED_DIFFERENCE_TERM_H

#include "PlanarView.h"

#include <opencv2/core.hpp>

namespace NSysApply {

// imgDst = R(imgX) with weights imgW of the size and type of imgX.
void WeightedDifferenceTerm(cv::Mat& imgDst, const cv::Mat& imgX, const cv::Mat& imgW);
// pDst = eta * R(x), formed as R followed by ScaleTerm (the same bits) in one
// pass, with x, w and pDst H x W x P arrays in the caller's column-major layout.
void ScaledWeightedDifferenceTerm(double* pDst, const CPlanarView& viewX, const CPlanarView& viewW, double dEta);

}  // namespace NSysApply

#endif
