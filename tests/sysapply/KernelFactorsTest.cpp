// Which kernels are applied in factored form: products of a column and a row
// (also when each entry was rounded on its own, as a Gaussian formula gives
// them), and nothing that is further from a product than rounding.
#include "SysApplyTestUtil.h"

#include "qmv_system_apply/blur/KernelFactors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace NSysApply;
using namespace NSysApplyTest;

// sum |u_i v_j - K_ij| over sum |K_ij|.
double RelativeResidual(const cv::Mat& imgKernel, const CKernelFactors& factors)
{
    double dResidual = 0.0, dSum = 0.0;
    for (int i = 0; i < imgKernel.rows; ++i) {
        for (int j = 0; j < imgKernel.cols; ++j) {
            dResidual += std::fabs(factors.vecRows[i] * factors.vecCols[j] - imgKernel.at<double>(i, j));
            dSum += std::fabs(imgKernel.at<double>(i, j));
        }
    }
    return dResidual / dSum;
}

TEST(KernelFactors, ProductsOfAColumnAndARowAreFactored)
{
    cv::RNG rng(3);
    for (const cv::Size size :
         {cv::Size(1, 1), cv::Size(5, 5), cv::Size(9, 9), cv::Size(7, 3), cv::Size(1, 6), cv::Size(4, 1)}) {
        cv::Mat imgColumn = RandomMat(size.height, 1, 1, rng), imgRow = RandomMat(1, size.width, 1, rng);
        if (size.height > 2) imgColumn.at<double>(1) = 0.0;  // a zero kernel row
        const cv::Mat imgKernel = imgColumn * imgRow;
        CKernelFactors factors;
        ASSERT_TRUE(SeparateKernel(imgKernel, factors)) << size;
        ASSERT_EQ(factors.vecRows.size(), static_cast<size_t>(size.height));
        ASSERT_EQ(factors.vecCols.size(), static_cast<size_t>(size.width));
        EXPECT_LE(RelativeResidual(imgKernel, factors), 4 * std::numeric_limits<double>::epsilon()) << size;
    }
    // A Gaussian formed entry by entry, normalised to sum 1.
    cv::Mat imgGauss(9, 9, CV_64FC1);
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 9; ++j)
            imgGauss.at<double>(i, j) = std::exp(-((i - 4) * (i - 4) + (j - 4) * (j - 4)) / (2 * 1.3 * 1.3));
    imgGauss /= cv::sum(imgGauss)[0];
    CKernelFactors factors;
    EXPECT_TRUE(SeparateKernel(imgGauss, factors));
}

TEST(KernelFactors, OtherKernelsKeepTheTwoDimensionalSum)
{
    cv::RNG rng(4);
    CKernelFactors factors;
    EXPECT_FALSE(SeparateKernel(RandomMat(5, 5, 1, rng), factors));
    cv::Mat imgCross = cv::Mat::zeros(3, 3, CV_64FC1);
    imgCross.row(1).setTo(1.0);
    imgCross.col(1).setTo(1.0);
    EXPECT_FALSE(SeparateKernel(imgCross, factors));

    // A product with one entry moved by far less than single precision would
    // notice, but far more than rounding.
    cv::Mat imgNear = RandomMat(5, 1, 1, rng, 0.5, 1.0) * RandomMat(1, 5, 1, rng, 0.5, 1.0);
    imgNear.at<double>(2, 3) *= 1.0 + 1e-12;
    EXPECT_FALSE(SeparateKernel(imgNear, factors));

    EXPECT_FALSE(SeparateKernel(cv::Mat::zeros(3, 3, CV_64FC1), factors));
    for (const double dBad : {kNaN, std::numeric_limits<double>::infinity()}) {
        cv::Mat imgBad = cv::Mat::ones(3, 3, CV_64FC1);
        imgBad.at<double>(0, 2) = dBad;
        EXPECT_FALSE(SeparateKernel(imgBad, factors)) << dBad;
    }
}

}  // namespace
