// Decoded frames into MATLAB planes: channel order, scale and layout for every
// depth and channel count a capture can deliver.
#include <gtest/gtest.h>

#include <vector>

#include "FramesToStack.h"

namespace {

// Element (y, x, c, k) of an H x W x 3 x N column-major stack.
double At(const std::vector<double>& v, int nH, int nW, int y, int x, int c, int k)
{
    return v[y + x * nH + c * nH * nW + k * nH * nW * 3];
}

TEST(FramesToStack, BgrBecomesRgbPlanesDividedByFullScale)
{
    cv::Mat mat(2, 3, CV_8UC3);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            mat.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(10 * y + x), uchar(100 + x), uchar(200 + y));  // B, G, R
    std::vector<double> v(2 * 3 * 3);
    FramesToStack({mat}, v.data());
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(At(v, 2, 3, y, x, 0, 0), (200 + y) / 255.0);     // red
            EXPECT_EQ(At(v, 2, 3, y, x, 1, 0), (100 + x) / 255.0);     // green
            EXPECT_EQ(At(v, 2, 3, y, x, 2, 0), (10 * y + x) / 255.0);  // blue
        }
}

TEST(FramesToStack, GreyFillsAllPlanesAndAlphaIsDropped)
{
    cv::Mat matGrey(1, 2, CV_8UC1);
    matGrey.at<uchar>(0, 0) = 0;
    matGrey.at<uchar>(0, 1) = 255;
    cv::Mat matBgra(1, 2, CV_8UC4, cv::Scalar(1, 2, 3, 77));
    std::vector<double> v(1 * 2 * 3 * 2);
    FramesToStack({matGrey, matBgra}, v.data());
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(At(v, 1, 2, 0, 0, c, 0), 0.0);
        EXPECT_EQ(At(v, 1, 2, 0, 1, c, 0), 1.0);
    }
    EXPECT_EQ(At(v, 1, 2, 0, 1, 0, 1), 3 / 255.0);
    EXPECT_EQ(At(v, 1, 2, 0, 1, 1, 1), 2 / 255.0);
    EXPECT_EQ(At(v, 1, 2, 0, 1, 2, 1), 1 / 255.0);
}

TEST(FramesToStack, SixteenBitFramesUseTheirOwnFullScale)
{
    cv::Mat mat(1, 1, CV_16UC3, cv::Scalar(0, 32768, 65535));
    std::vector<double> v(3);
    FramesToStack({mat}, v.data());
    EXPECT_EQ(v[0], 1.0);
    EXPECT_EQ(v[1], 32768 / 65535.0);
    EXPECT_EQ(v[2], 0.0);
}

TEST(FramesToStack, FramesFollowOneAnotherAndRowsWithPaddingAreRead)
{
    // A view into a wider matrix has rows longer than its width.
    cv::Mat matWide(3, 5, CV_8UC3, cv::Scalar(9, 9, 9));
    cv::Mat matView = matWide(cv::Rect(1, 0, 2, 3));
    matView.setTo(cv::Scalar(0, 0, 51));
    cv::Mat matSecond(3, 2, CV_8UC3, cv::Scalar(0, 0, 102));
    std::vector<double> v(3 * 2 * 3 * 2, -1.0);
    FramesToStack({matView, matSecond}, v.data());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x) {
            EXPECT_EQ(At(v, 3, 2, y, x, 0, 0), 0.2);
            EXPECT_EQ(At(v, 3, 2, y, x, 0, 1), 0.4);
            EXPECT_EQ(At(v, 3, 2, y, x, 2, 1), 0.0);
        }
}

}  // namespace
