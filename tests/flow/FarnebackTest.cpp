// The Farneback solver: its initial-flow check, agreement with a direct OpenCV
// call on the same grey frames, and recovery of a known sub-pixel translation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include <opencv2/video/tracking.hpp>

#include "FlowTestImages.h"
#include "QELLib/NException.h"
#include "superres/OpticalFlow_Farneback.h"

namespace {

typedef NImage::CCompositeImage<NSmallVector::CVector2D<float>> CFlowImage;

const char* const kIllegalInitialFlow = "Error: COpticalFlow_Farneback::Run() failed, illegal initial flow provided!";

// Bitwise equality of a library flow image and a CV_32FC2 matrix.
::testing::AssertionResult SameFlow(const CFlowImage& imgFlow, const cv::Mat& matFlow)
{
    if (imgFlow.Width() != matFlow.cols || imgFlow.Height() != matFlow.rows || imgFlow.Channels() != 2)
        return ::testing::AssertionFailure() << "geometry differs";
    for (qelMInt y = 0; y < imgFlow.Height(); ++y)
        if (std::memcmp(imgFlow.Row(y), matFlow.ptr(y), sizeof(float) * 2 * imgFlow.Width()) != 0)
            return ::testing::AssertionFailure() << "row " << y << " differs";
    return ::testing::AssertionSuccess();
}

class FarnebackOnRealFrames : public ::testing::Test {
protected:
    void SetUp() override
    {
        matRGB1 = LoadSampleRGB("rubberwhale1.png");
        matRGB2 = LoadSampleRGB("rubberwhale2.png");
        ASSERT_FALSE(matRGB1.empty());
        ASSERT_FALSE(matRGB2.empty());
        img1 = ToRGBAImage(matRGB1);
        img2 = ToRGBAImage(matRGB2);
    }
    cv::Mat matRGB1, matRGB2;
    CRGBAImage img1, img2;
};

TEST_F(FarnebackOnRealFrames, IdenticalToDirectOpenCVCallOnGreyFrames)
{
    sr::COpticalFlow_Farneback solver;  // the module's parameters are the defaults
    CFlowImage imgFlow;
    solver.Run(img1, img2, imgFlow);

    cv::Mat matFlow;
    cv::calcOpticalFlowFarneback(GrayFrame(img1), GrayFrame(img2), matFlow, 0.5, 5, 13, 10, 5, 1.1, 0);
    EXPECT_TRUE(SameFlow(imgFlow, matFlow));
}

TEST_F(FarnebackOnRealFrames, FlagsAndInitialFlowReachOpenCV)
{
    sr::COpticalFlow_Farneback solver;
    solver.iLevels = 3;
    solver.iWinSize = 9;
    solver.iIterations = 3;
    solver.iPolyN = 7;
    solver.dPolySigma = 1.5;
    solver.bGaussian = true;
    solver.bUseInitFlow = true;
    cv::Mat matInit(img1.Height(), img1.Width(), CV_32FC2, cv::Scalar(0.75f, -0.5f));
    CFlowImage imgFlow;
    Cv2Img(matInit, imgFlow);
    solver.Run(img1, img2, imgFlow);

    cv::Mat matFlow = matInit.clone();
    cv::calcOpticalFlowFarneback(GrayFrame(img1), GrayFrame(img2), matFlow, 0.5, 3, 9, 3, 7, 1.5,
                                 cv::OPTFLOW_USE_INITIAL_FLOW | cv::OPTFLOW_FARNEBACK_GAUSSIAN);
    EXPECT_TRUE(SameFlow(imgFlow, matFlow));
}

TEST_F(FarnebackOnRealFrames, UnusableInitialFlowIsRefusedAndLeftUnchanged)
{
    sr::COpticalFlow_Farneback solver;
    solver.bUseInitFlow = true;
    const qelMInt iW = img1.Width(), iH = img1.Height();
    const qelMInt aSizes[3][2] = {{0, 0}, {iW + 1, iH}, {iW, iH - 1}};
    for (const auto& size : aSizes) {
        CFlowImage imgFlow;
        if (size[0] > 0) {
            imgFlow.Create(size[0], size[1], 2, 16);
            imgFlow.Fill(3.0f);
        }
        try {
            solver.Run(img1, img2, imgFlow);
            ADD_FAILURE() << "no exception for " << size[0] << " x " << size[1];
        } catch (const NException::LogicError& e) {
            EXPECT_STREQ(e.what(), kIllegalInitialFlow);
        }
        EXPECT_EQ(imgFlow.Width(), size[0]);
        EXPECT_EQ(imgFlow.Height(), size[1]);
        if (size[0] > 0) {
            EXPECT_EQ(imgFlow.Row(0)[0], 3.0f);
        }
    }
}

TEST_F(FarnebackOnRealFrames, WithoutInitialFlowTheIncomingFlowDoesNotMatter)
{
    sr::COpticalFlow_Farneback solver;
    CFlowImage imgReference;
    solver.Run(img1, img2, imgReference);

    CFlowImage imgOdd;
    imgOdd.Create(3, 700, 2, 16);
    imgOdd.Fill(-42.0f);
    solver.Run(img1, img2, imgOdd);
    ASSERT_EQ(imgOdd.Width(), img1.Width());
    ASSERT_EQ(imgOdd.Height(), img1.Height());
    EXPECT_EQ(imgOdd.Channels(), 2);
    for (qelMInt y = 0; y < imgOdd.Height(); ++y)
        ASSERT_EQ(std::memcmp(imgOdd.Row(y), imgReference.Row(y), 8 * imgOdd.Width()), 0) << y;
}

TEST(Farneback, FramesThatAreEmptyOrOfDifferentSizeAreRefused)
{
    sr::COpticalFlow_Farneback solver;
    CRGBAImage imgEmpty, imgA, imgB;
    imgA.Create(16, 12, 4, 16);
    imgA.Fill(100);
    imgB.Create(12, 16, 4, 16);
    imgB.Fill(100);
    CFlowImage imgFlow;
    EXPECT_THROW(solver.Run(imgEmpty, imgEmpty, imgFlow), NException::LogicError);
    EXPECT_THROW(solver.Run(imgA, imgB, imgFlow), NException::LogicError);
    EXPECT_THROW(solver.Run(imgA, imgEmpty, imgFlow), NException::LogicError);
    EXPECT_TRUE(imgFlow.IsEmpty());
}

// Content that moves by (+dx, +dy) must give flow (dx, dy) with x the column.
TEST(Farneback, RecoversSubPixelTranslationOfRealImage)
{
    const cv::Mat matRGB = LoadSampleRGB("butterfly.png");
    ASSERT_FALSE(matRGB.empty());
    const double aShifts[3][2] = {{0.7, -0.4}, {-0.4, 0.8}, {0.25, 0.0}};
    for (const auto& shift : aShifts) {
        const double dDx = shift[0], dDy = shift[1];
        CFlowImage imgFlow;
        sr::COpticalFlow_Farneback solver;
        solver.Run(ToRGBAImage(matRGB), ToRGBAImage(ShiftedRGB(matRGB, dDx, dDy)), imgFlow);
        ASSERT_EQ(imgFlow.Width(), matRGB.cols);
        ASSERT_EQ(imgFlow.Height(), matRGB.rows);

        const int iMargin = 16;  // the border reflection is no translation
        double dSumError = 0.0, dSumDx = 0.0, dSumDy = 0.0;
        int iCount = 0;
        for (int y = iMargin; y < matRGB.rows - iMargin; ++y)
            for (int x = iMargin; x < matRGB.cols - iMargin; ++x) {
                const float* p = imgFlow.Pixel(x, y);
                dSumError += std::hypot(p[0] - dDx, p[1] - dDy);
                dSumDx += p[0];
                dSumDy += p[1];
                ++iCount;
            }
        const double dMeanError = dSumError / iCount;
        std::printf("shift (%.2f, %.2f): mean endpoint error %.4f, mean flow (%.4f, %.4f)\n", dDx, dDy, dMeanError,
                    dSumDx / iCount, dSumDy / iCount);
        EXPECT_LT(dMeanError, 0.15) << "shift " << dDx << ", " << dDy;
        EXPECT_NEAR(dSumDx / iCount, dDx, 0.05);
        EXPECT_NEAR(dSumDy / iCount, dDy, 0.05);
    }
}

}  // namespace
