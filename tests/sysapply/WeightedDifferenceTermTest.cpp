// The periodic weighted difference regulariser R.
#include "SysApplyTestUtil.h"

#include "qmv_system_apply/conversions/MatConversion.h"
#include "tests/reference/ReferenceSystemOperator.h"

#include "qmv_system_apply/frameloop/TermAssembly.h"
#include "qmv_system_apply/regulariser/WeightedDifferenceTerm.h"

#include <gtest/gtest.h>
#include <omp.h>

namespace {

using namespace NSysApply;
using namespace NSysApplyTest;

cv::Mat ApplyR(const cv::Mat& imgX, const cv::Mat& imgW)
{
    cv::Mat imgDst;
    WeightedDifferenceTerm(imgDst, imgX, imgW);
    return imgDst;
}

TEST(WeightedDifferenceTerm, UnitWeightsGiveThePeriodicLaplacian)
{
    cv::RNG rng(10);
    const int H = 5, W = 7;
    const cv::Mat imgX = RandomMat(H, W, 2, rng);
    const cv::Mat imgR = ApplyR(imgX, cv::Mat(H, W, CV_64FC2, cv::Scalar::all(1)));
    for (int i = 0; i < H; ++i) {
        for (int j = 0; j < W; ++j) {
            const cv::Vec2d expected = 4 * imgX.at<cv::Vec2d>(i, j) - imgX.at<cv::Vec2d>(i, (j + W - 1) % W) -
                                       imgX.at<cv::Vec2d>(i, (j + 1) % W) - imgX.at<cv::Vec2d>((i + H - 1) % H, j) -
                                       imgX.at<cv::Vec2d>((i + 1) % H, j);
            EXPECT_NEAR(imgR.at<cv::Vec2d>(i, j)[0], expected[0], 1e-13);
            EXPECT_NEAR(imgR.at<cv::Vec2d>(i, j)[1], expected[1], 1e-13);
        }
    }
}

TEST(WeightedDifferenceTerm, ConstantImagesAndDegenerateShapesGiveZero)
{
    cv::RNG rng(11);
    EXPECT_EQ(MaxAbs(ApplyR(cv::Mat(6, 4, CV_64FC3, cv::Scalar::all(2.5)), RandomMat(6, 4, 3, rng, 0, 5))), 0);
    EXPECT_EQ(MaxAbs(ApplyR(RandomMat(1, 1, 3, rng), RandomMat(1, 1, 3, rng, 0, 5))), 0);
    // One column: only the vertical differences remain; one row: only the horizontal.
    const cv::Mat imgCol = RandomMat(6, 1, 1, rng), imgRow = imgCol.t();
    const cv::Mat imgOnes = cv::Mat::ones(6, 1, CV_64F);
    const cv::Mat imgRCol = ApplyR(imgCol, imgOnes), imgRRow = ApplyR(imgRow, imgOnes.t());
    for (int i = 0; i < 6; ++i) {
        const double expected =
            2 * imgCol.at<double>(i) - imgCol.at<double>((i + 5) % 6) - imgCol.at<double>((i + 1) % 6);
        EXPECT_NEAR(imgRCol.at<double>(i), expected, 1e-14);
        EXPECT_NEAR(imgRRow.at<double>(i), expected, 1e-14);
    }
}

TEST(WeightedDifferenceTerm, ZeroWeightDropsTheDifferencesStartingAtThePixel)
{
    // Only pixel (1, 2) is 1; with w(1, 2) = 0 the differences towards (1, 3) and
    // (2, 2) vanish, leaving those from (1, 1) and (0, 2) into it.
    cv::Mat imgX = cv::Mat::zeros(4, 5, CV_64F), imgW = cv::Mat::ones(4, 5, CV_64F);
    imgX.at<double>(1, 2) = 1;
    imgW.at<double>(1, 2) = 0;
    const cv::Mat imgR = ApplyR(imgX, imgW);
    EXPECT_EQ(imgR.at<double>(1, 2), 2);
    EXPECT_EQ(imgR.at<double>(1, 1), -1);
    EXPECT_EQ(imgR.at<double>(0, 2), -1);
    EXPECT_EQ(imgR.at<double>(1, 3), 0);
    EXPECT_EQ(imgR.at<double>(2, 2), 0);
}

// The module forms eta * R on the transposed planes of the caller's arrays:
// the same bits as on the interleaved image, whatever the thread count.
TEST(WeightedDifferenceTerm, CallerLayoutAndAnyThreadCountGiveTheSameBits)
{
    cv::RNG rng(13);
    // 45 columns: the stacked planes have enough rows (135) for several threads,
    // whose shares then begin inside a plane.
    const cv::Mat imgX = RandomMat(37, 45, 3, rng), imgW = RandomMat(37, 45, 3, rng, 0, 3);
    CPlanarStore store;
    const CPlanarView viewX = store.View(imgX), viewW = store.View(imgW);
    const cv::Mat imgReference = ApplyR(imgX, imgW);
    cv::Mat imgExpected = imgReference.clone();
    ScaleTerm(imgExpected, 0.3);
    for (int iThreads : {1, 2, 5}) {
        const int iBefore = omp_get_max_threads();
        omp_set_num_threads(iThreads);
        const cv::Mat imgMat = ApplyR(imgX, imgW);
        std::vector<double> vecScaled(imgX.total() * 3);
        ScaledWeightedDifferenceTerm(vecScaled.data(), viewX, viewW, 0.3);
        omp_set_num_threads(iBefore);
        EXPECT_TRUE(BitIdentical(imgMat, imgReference)) << iThreads << " threads";
        EXPECT_TRUE(BitIdentical(view2cv(CPlanarView{vecScaled.data(), 37, 45, 3, false}), imgExpected))
            << iThreads << " threads";
    }
}

TEST(WeightedDifferenceTerm, IsSymmetricAndKeepsChannelsApart)
{
    cv::RNG rng(12);
    const cv::Mat imgW = RandomMat(70, 9, 3, rng, 0, 3);  // enough rows for the parallel passes
    const cv::Mat x = RandomMat(70, 9, 3, rng), v = RandomMat(70, 9, 3, rng);
    EXPECT_NEAR(Dot(v, ApplyR(x, imgW)), Dot(x, ApplyR(v, imgW)), 1e-11);

    cv::Mat imgChanged = x.clone();
    imgChanged.at<cv::Vec3d>(3, 4)[1] += 1.0;
    cv::Mat diff = ApplyR(imgChanged, imgW) - ApplyR(x, imgW);
    std::vector<cv::Mat> vecPlanes;
    cv::split(diff, vecPlanes);
    EXPECT_EQ(MaxAbs(vecPlanes[0]), 0);
    EXPECT_GT(MaxAbs(vecPlanes[1]), 0);
    EXPECT_EQ(MaxAbs(vecPlanes[2]), 0);
}

}  // namespace
