// Forward operators: warp rounding and clamping, convolution orientation,
// replicate border, decimation positions.
#include "SysApplyTestUtil.h"

#include "tests/reference/ReferenceForwardOperators.h"
#include "tests/reference/ReferenceMapStrips.h"

#include <gtest/gtest.h>

namespace {

using namespace NSysApply;
using namespace NSysApplyTest;

// A 1 x 4 row 10, 20, 30, 40 warped by a map whose first entry is (dMapX, dMapY).
double WarpFirstPixel(double dMapX, double dMapY)
{
    cv::Mat imgSrc = (cv::Mat_<double>(1, 4) << 10, 20, 30, 40);
    cv::Mat imgMap(1, 4, CV_64FC2, cv::Scalar(1, 1));
    imgMap.at<cv::Vec2d>(0, 0) = cv::Vec2d(dMapX, dMapY);
    cv::Mat imgDst;
    WarpNearest(imgDst, imgSrc, imgMap);
    return imgDst.at<double>(0, 0);
}

TEST(WarpNearest, RoundsHalvesUpAndClampsToTheBorder)
{
    EXPECT_EQ(WarpFirstPixel(1.5, 1.0), 20);  // 0.5 rounds up to column 1
    EXPECT_EQ(WarpFirstPixel(1.49, 1.0), 10);
    EXPECT_EQ(WarpFirstPixel(0.2, 1.0), 10);     // rounds to -1, clamped
    EXPECT_EQ(WarpFirstPixel(4.6, 7.0), 40);     // beyond the last column and row
    EXPECT_EQ(WarpFirstPixel(-1e300, 1.0), 10);  // beyond the int range: no UB
    EXPECT_EQ(WarpFirstPixel(1e300, -1e300), 40);
    EXPECT_EQ(WarpFirstPixel(kNaN, 1.0), 0);  // illegal entries leave a zero
    EXPECT_EQ(WarpFirstPixel(2.0, std::numeric_limits<double>::infinity()), 0);
    int iX = -1, iY = -1;
    EXPECT_TRUE(MapToPixel(3e9, -3e9, 5, 7, iX, iY));
    EXPECT_EQ(iX, 4);
    EXPECT_EQ(iY, 0);
}

TEST(WarpNearest, IdentityGridAndFarCornerWithAllChannels)
{
    cv::RNG rng(1);
    const cv::Mat imgSrc = RandomMat(5, 7, 3, rng);
    cv::Mat imgMap = RandomMap(5, 7, rng, 0.0);
    cv::Mat imgDst;
    WarpNearest(imgDst, imgSrc, imgMap);
    EXPECT_TRUE(BitIdentical(imgDst, imgSrc));

    imgMap.setTo(cv::Scalar(7 + 10, 5 + 10));
    WarpNearest(imgDst, imgSrc, imgMap);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(imgDst.at<cv::Vec3d>(y, x), imgSrc.at<cv::Vec3d>(4, 6));
}

TEST(WarpNearest, PlanarMapGivesTheSameWarp)
{
    cv::RNG rng(2);
    const cv::Mat imgSrc = RandomMat(6, 9, 2, rng);
    const cv::Mat imgMap = RandomMap(6, 9, rng, 5.0, 0.2);
    CPlanarStore store;
    cv::Mat imgFromMat, imgFromView;
    WarpNearest(imgFromMat, imgSrc, imgMap);
    WarpNearest(imgFromView, imgSrc, store.View(imgMap));
    EXPECT_TRUE(BitIdentical(imgFromMat, imgFromView));
}

TEST(BlurDecimate, ConvolvesWithReplicatedBorder)
{
    cv::Mat imgRow = cv::Mat::zeros(1, 11, CV_64F);
    imgRow.at<double>(0, 5) = 1.0;
    const cv::Mat imgKernel = (cv::Mat_<double>(1, 3) << 1, 2, 3);
    cv::Mat imgDst;
    BlurDecimate(imgDst, imgRow, imgKernel, 1);
    EXPECT_EQ(imgDst.at<double>(0, 4), 1);  // convolution: 1, 2, 3 from left to right
    EXPECT_EQ(imgDst.at<double>(0, 5), 2);
    EXPECT_EQ(imgDst.at<double>(0, 6), 3);
    EXPECT_EQ(cv::sum(imgDst)[0], 6);

    // Replicate: the border value 1 stands in for the missing left neighbour.
    const cv::Mat imgEdge = (cv::Mat_<double>(1, 4) << 1, 0, 0, 0);
    BlurDecimate(imgDst, imgEdge, imgKernel, 1);
    EXPECT_EQ(imgDst.at<double>(0, 0), 3 + 2);

    cv::RNG rng(3);
    const cv::Mat imgSrc = RandomMat(4, 5, 3, rng);
    BlurDecimate(imgDst, imgSrc, cv::Mat::ones(1, 1, CV_64F), 1);
    EXPECT_TRUE(BitIdentical(imgDst, imgSrc));
}

TEST(Decimate, KeepsTheFirstSampleOfEachBlock)
{
    cv::Mat imgSrc(7, 9, CV_64FC2);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) imgSrc.at<cv::Vec2d>(y, x) = cv::Vec2d(10 * y + x, -(10 * y + x));
    cv::Mat imgDst;
    Decimate(imgDst, imgSrc, 2);
    ASSERT_EQ(imgDst.size(), cv::Size(4, 3));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(imgDst.at<cv::Vec2d>(i, j), imgSrc.at<cv::Vec2d>(2 * i, 2 * j));
    Decimate(imgDst, cv::Mat(1, 1, CV_64F, cv::Scalar(5)), 3);
    ASSERT_EQ(imgDst.size(), cv::Size(1, 1));
    EXPECT_EQ(imgDst.at<double>(0, 0), 5);
}

}  // namespace
