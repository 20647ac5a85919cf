// Kernels that are the outer product of a column and a row, to within
// rounding (Gaussians, boxes, any product of two 1-D filters), can be applied
// as two 1-D passes: kh + kw products per blurred value instead of kh * kw.
#ifndef QMV_SYSAPPLY_KERNEL_FACTORS_H
#define QMV_SYSAPPLY_KERNEL_FACTORS_H

#include <opencv2/core.hpp>

#include <vector>

namespace NSysApply {

// K(i, j) ~ vecRows[i] * vecCols[j].
struct CKernelFactors {
    std::vector<double> vecRows;  // one weight per kernel row
    std::vector<double> vecCols;  // one weight per kernel column
};

// True, with the factors, when sum |u_i v_j - K_ij| <= 16 eps sum |K_ij|: the
// two passes then move a blurred value by no more than rounding the 2-D sum
// itself makes. False for other kernels, an all-zero kernel, and kernels with
// NaN or infinite entries (those keep the 2-D sum and its exact propagation).
bool SeparateKernel(const cv::Mat& imgKernel, CKernelFactors& factors);

}  // namespace NSysApply

#endif
