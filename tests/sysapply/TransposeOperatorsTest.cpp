// Transposed operators: zero fill, correlation orientation, the scatter and
// its warnings, and the adjoint pairs <A a, b> = <a, A^T b>.
#include "SysApplyTestUtil.h"

#include "tests/reference/ReferenceForwardOperators.h"
#include "tests/reference/ReferenceTransposeOperators.h"

#include <gtest/gtest.h>

namespace {

using namespace NSysApply;
using namespace NSysApplyTest;

TEST(UpsampleZeroFill, PlacesSamplesAtMultiplesOfTheScale)
{
    const cv::Mat imgSrc = (cv::Mat_<double>(2, 2) << 1, 2, 3, 4);
    cv::Mat imgDst;
    UpsampleZeroFill(imgDst, imgSrc, 3);
    ASSERT_EQ(imgDst.size(), cv::Size(6, 6));
    EXPECT_EQ(imgDst.at<double>(0, 0), 1);
    EXPECT_EQ(imgDst.at<double>(0, 3), 2);
    EXPECT_EQ(imgDst.at<double>(3, 0), 3);
    EXPECT_EQ(imgDst.at<double>(3, 3), 4);
    EXPECT_EQ(cv::countNonZero(imgDst), 4);
}

TEST(UpsampleBlurTranspose, Correlates)
{
    cv::Mat imgRow = cv::Mat::zeros(1, 11, CV_64F);
    imgRow.at<double>(0, 5) = 1.0;
    cv::Mat imgDst;
    UpsampleBlurTranspose(imgDst, imgRow, (cv::Mat_<double>(1, 3) << 1, 2, 3), 1);
    EXPECT_EQ(imgDst.at<double>(0, 4), 3);
    EXPECT_EQ(imgDst.at<double>(0, 5), 2);
    EXPECT_EQ(imgDst.at<double>(0, 6), 1);
}

TEST(WarpNearestTranspose, GathersAndReportsIllegalEntriesInVisitingOrder)
{
    cv::RNG rng(4);
    const cv::Mat imgSrc = RandomMat(9, 6, 2, rng);
    cv::Mat imgMap(9, 6, CV_64FC2, cv::Scalar(1, 1));
    imgMap.at<cv::Vec2d>(7, 3)[1] = kNaN;
    imgMap.at<cv::Vec2d>(8, 0)[0] = -std::numeric_limits<double>::infinity();
    CIllegalVectorList lstIllegal;
    cv::Mat imgDst;
    WarpNearestTranspose(imgDst, imgSrc, imgMap, lstIllegal);
    ASSERT_EQ(lstIllegal.size(), 2u);
    EXPECT_EQ(lstIllegal[0].iX, 3);  // column first, then row
    EXPECT_EQ(lstIllegal[0].iY, 7);
    EXPECT_EQ(lstIllegal[1].iX, 0);
    EXPECT_EQ(lstIllegal[1].iY, 8);
    const cv::Scalar expected =
        cv::sum(imgSrc) - cv::Scalar(imgSrc.at<cv::Vec2d>(7, 3)) - cv::Scalar(imgSrc.at<cv::Vec2d>(8, 0));
    EXPECT_NEAR(imgDst.at<cv::Vec2d>(0, 0)[0], expected[0], 1e-12);
    EXPECT_NEAR(imgDst.at<cv::Vec2d>(0, 0)[1], expected[1], 1e-12);
    EXPECT_EQ(cv::countNonZero(imgDst.reshape(1)), 2);
}

TEST(WarpNearestTranspose, IsTheAdjointOfTheWarpWithIllegalEntries)
{
    cv::RNG rng(5);
    for (int iPlanes : {1, 3}) {
        const cv::Mat a = RandomMat(13, 17, iPlanes, rng), b = RandomMat(13, 17, iPlanes, rng);
        const cv::Mat imgMap = RandomMap(13, 17, rng, 6.0, 0.1);  // also beyond the border
        CPlanarStore store;
        cv::Mat imgMa, imgMtb, imgMtbView;
        CIllegalVectorList lstIllegal, lstIllegalView;
        WarpNearest(imgMa, a, imgMap);
        WarpNearestTranspose(imgMtb, b, imgMap, lstIllegal);
        WarpNearestTranspose(imgMtbView, b, store.View(imgMap), lstIllegalView);
        EXPECT_NEAR(Dot(imgMa, b), Dot(a, imgMtb), 1e-12 * 13 * 17);
        EXPECT_FALSE(lstIllegal.empty());
        EXPECT_EQ(lstIllegal.size(), lstIllegalView.size());
        EXPECT_TRUE(BitIdentical(imgMtb, imgMtbView));
    }
}

TEST(UpsampleBlurTranspose, IsTheAdjointOfBlurDecimateAwayFromTheBorder)
{
    cv::RNG rng(6);
    for (int iScale : {1, 2, 3}) {
        const int iSize = 12 * iScale;
        const cv::Mat imgKernel = RandomMat(5, 3, 1, rng);
        // Support well inside the image, so the replicated border plays no part.
        cv::Mat a = cv::Mat::zeros(iSize, iSize, CV_64FC2);
        RandomMat(iSize - 6, iSize - 6, 2, rng).copyTo(a(cv::Rect(3, 3, iSize - 6, iSize - 6)));
        cv::Mat b = cv::Mat::zeros(12, 12, CV_64FC2);
        RandomMat(6, 6, 2, rng).copyTo(b(cv::Rect(3, 3, 6, 6)));
        cv::Mat imgDBa, imgBtUb;
        BlurDecimate(imgDBa, a, imgKernel, iScale);
        UpsampleBlurTranspose(imgBtUb, b, imgKernel, iScale);
        EXPECT_NEAR(Dot(imgDBa, b), Dot(a, imgBtUb), 1e-12) << "s = " << iScale;
    }
}

}  // namespace
