// Grey conversion and the copies between library images and OpenCV matrices.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FlowTestImages.h"
#include "Image/Img_Convert.h"
#include "QELLib/NSmallVector.h"

namespace {

struct SGrayCase {
    unsigned char r, g, b;
    unsigned char expected;
};

// One pixel per case, in a single row so the whole row goes through one call.
TEST(RGBA2Gray, WorkedValuesAreTruncatedSinglePrecisionLuminance)
{
    const std::vector<SGrayCase> vCases = {{255, 255, 255, 255}, {255, 0, 0, 76},  {0, 255, 0, 149},
                                           {0, 0, 255, 29},      {37, 37, 37, 36}, {253, 253, 253, 252},
                                           {128, 128, 128, 128}, {0, 0, 0, 0}};
    CRGBAImage imgRGBA;
    imgRGBA.Create(static_cast<qelMInt>(vCases.size()), 1, 4, 16);
    for (size_t i = 0; i < vCases.size(); ++i) {
        unsigned char* p = imgRGBA.Pixel(static_cast<qelMInt>(i), 0);
        p[0] = vCases[i].r;
        p[1] = vCases[i].g;
        p[2] = vCases[i].b;
        p[3] = static_cast<unsigned char>(17 * i);  // alpha must not matter
    }
    NImage::CImage<unsigned char> imgGray;
    RGBA2Gray(imgGray, imgRGBA);
    ASSERT_EQ(imgGray.Width(), imgRGBA.Width());
    ASSERT_EQ(imgGray.Height(), 1);
    ASSERT_EQ(imgGray.Channels(), 1);
    for (size_t i = 0; i < vCases.size(); ++i) EXPECT_EQ(+imgGray.Row(0)[i], +vCases[i].expected) << "case " << i;
}

TEST(RGBA2Gray, GreyInputLosesAtMostOneLevel)
{
    // The weights sum to 1, so truncation can only lose what rounding took.
    for (int v = 0; v < 256; ++v) {
        const unsigned char c = static_cast<unsigned char>(v);
        EXPECT_LE(GrayLevel(c, c, c), v);
        EXPECT_GE(GrayLevel(c, c, c), v - 1);
    }
}

TEST(RGBA2Gray, RecreatesDestinationOfAnotherGeometry)
{
    CRGBAImage imgRGBA;
    imgRGBA.Create(7, 5, 4, 16);
    imgRGBA.Fill(200);
    NImage::CImage<unsigned char> imgGray;
    imgGray.Create(3, 9, 2, 16);
    RGBA2Gray(imgGray, imgRGBA);
    EXPECT_EQ(imgGray.Width(), 7);
    EXPECT_EQ(imgGray.Height(), 5);
    EXPECT_EQ(imgGray.Channels(), 1);
    for (qelMInt y = 0; y < 5; ++y)
        for (qelMInt x = 0; x < 7; ++x) EXPECT_EQ(+imgGray.Row(y)[x], 200);
}

TEST(Img2Cv, CopiesRowsIntoMatrixWithItsOwnStride)
{
    NImage::CImage<unsigned char> img;
    img.Create(5, 3, 1, 16);
    for (qelMInt y = 0; y < 3; ++y)
        for (qelMInt x = 0; x < 5; ++x) img.Row(y)[x] = static_cast<unsigned char>(10 * y + x);
    cv::Mat matBig(3, 8, CV_8UC1, cv::Scalar(99));
    cv::Mat matView = matBig.colRange(1, 6);  // stride 8, not the image's 16
    Img2Cv(img, matView);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(matBig.at<unsigned char>(y, 0), 99);
        for (int x = 0; x < 5; ++x) EXPECT_EQ(matView.at<unsigned char>(y, x), 10 * y + x);
        EXPECT_EQ(matBig.at<unsigned char>(y, 6), 99);
    }
}

TEST(Img2Cv, MismatchIsReportedAndCopiesNothing)
{
    NImage::CImage<unsigned char> img;
    img.Create(4, 4, 1, 16);
    img.Fill(7);
    const std::vector<cv::Mat> vWrong = {cv::Mat(4, 5, CV_8UC1, cv::Scalar(1)), cv::Mat(5, 4, CV_8UC1, cv::Scalar(1)),
                                         cv::Mat(4, 4, CV_8UC2, cv::Scalar(1, 1)),
                                         cv::Mat(4, 4, CV_16UC1, cv::Scalar(1))};
    for (cv::Mat mat : vWrong) {
        testing::internal::CaptureStderr();
        Img2Cv(img, mat);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Img2Cv() error! Illegal size or number of channels!\n");
        EXPECT_EQ(cv::countNonZero(mat.reshape(1) != 1), 0);
    }
    cv::Mat matNoPixels;
    testing::internal::CaptureStderr();
    Img2Cv(img, matNoPixels);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(matNoPixels.empty());
}

TEST(Cv2Img, RecreatesTwoChannelFloatImage)
{
    cv::Mat matFlow(3, 4, CV_32FC2);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) matFlow.at<cv::Vec2f>(y, x) = cv::Vec2f(x + 0.25f, -y - 0.5f);
    NImage::CCompositeImage<NSmallVector::CVector2D<float>> imgFlow;
    imgFlow.Create(9, 9, 2, 16);
    Cv2Img(matFlow, imgFlow);
    ASSERT_EQ(imgFlow.Width(), 4);
    ASSERT_EQ(imgFlow.Height(), 3);
    for (qelMInt y = 0; y < 3; ++y)
        for (qelMInt x = 0; x < 4; ++x) {
            EXPECT_EQ(imgFlow.Pixel(x, y)[0], x + 0.25f);
            EXPECT_EQ(imgFlow.Pixel(x, y)[1], -y - 0.5f);
        }
}

TEST(Cv2Img, MatrixWithoutPixelsOrOfAnotherTypeEmptiesImage)
{
    NImage::CImage<float> img;
    img.Create(2, 2, 1, 16);
    Cv2Img(cv::Mat(), img);
    EXPECT_TRUE(img.IsEmpty());

    img.Create(2, 2, 1, 16);
    testing::internal::CaptureStderr();
    Cv2Img(cv::Mat(2, 2, CV_64FC1, cv::Scalar(1.0)), img);
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(img.IsEmpty());
}

}  // namespace
