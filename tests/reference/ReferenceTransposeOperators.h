// Transposed per-frame operators: zero-filled up-sampling U = D^T, correlation
// B^T (straightforward form through cv::filter2D) and the scatter transpose
// M^T of the nearest-neighbour warp.
#ifndef QMV_REFERENCE_TRANSPOSE_OPERATORS_H
#define QMV_REFERENCE_TRANSPOSE_OPERATORS_H

#include "conversions/PlanarView.h"
#include "warp/IllegalVector.h"

#include <opencv2/core.hpp>

namespace NSysApply {

// imgDst (iScale times the size) = 0 except pixel (i*s, j*s) = imgSrc(i, j).
void UpsampleZeroFill(cv::Mat& imgDst, const cv::Mat& imgSrc, int iScale);

// imgDst = B^T U imgSrc: zero fill, then correlate with the kernel itself,
// replicating the border of the zero-filled image.
void UpsampleBlurTranspose(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgKernel, int iScale);

// imgDst = M^T imgSrc: each source pixel is added into the pixel its map entry
// names, in row-major visiting order. Non-finite entries drop their pixel and
// are appended to lstIllegal (column, row), in visiting order.
void WarpNearestTranspose(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgMap,
                          CIllegalVectorList& lstIllegal);
void WarpNearestTranspose(cv::Mat& imgDst, const cv::Mat& imgSrc, const CPlanarView& viewMap,
                          CIllegalVectorList& lstIllegal);

}  // namespace NSysApply

#endif
