// Rank-one factorisation of a kernel (see the header). The factors come from
// the row and the column through the largest entry, so v is 1 at that entry
// and u reproduces its column exactly; the residual decides whether the
// kernel is used in factored form.
#include "blur/KernelFactors.h"

#include <cfloat>
#include <cmath>

namespace NSysApply {

namespace {

constexpr double RESIDUAL_BOUND = 16 * DBL_EPSILON;

}  // namespace

bool SeparateKernel(const cv::Mat& imgKernel, CKernelFactors& factors)
{
    CV_Assert(imgKernel.type() == CV_64FC1 && imgKernel.dims == 2 && !imgKernel.empty());
    const int iKh = imgKernel.rows, iKw = imgKernel.cols;
    int iPivotRow = 0, iPivotCol = 0;
    double dMax = 0.0, dSum = 0.0;
    for (int i = 0; i < iKh; ++i) {
        for (int j = 0; j < iKw; ++j) {
            const double dAbs = std::fabs(imgKernel.at<double>(i, j));
            if (!(dAbs <= DBL_MAX)) return false;  // NaN or infinite
            dSum += dAbs;
            if (dAbs > dMax) {
                dMax = dAbs;
                iPivotRow = i;
                iPivotCol = j;
            }
        }
    }
    if (dMax == 0.0 || !(dSum <= DBL_MAX)) return false;

    const double dPivot = imgKernel.at<double>(iPivotRow, iPivotCol);
    factors.vecRows.resize(iKh);
    factors.vecCols.resize(iKw);
    for (int i = 0; i < iKh; ++i) factors.vecRows[i] = imgKernel.at<double>(i, iPivotCol);
    for (int j = 0; j < iKw; ++j) factors.vecCols[j] = imgKernel.at<double>(iPivotRow, j) / dPivot;
    double dResidual = 0.0;
    for (int i = 0; i < iKh; ++i)
        for (int j = 0; j < iKw; ++j)
            dResidual += std::fabs(factors.vecRows[i] * factors.vecCols[j] - imgKernel.at<double>(i, j));
    return dResidual <= RESIDUAL_BOUND * dSum;
}

}  // namespace NSysApply
