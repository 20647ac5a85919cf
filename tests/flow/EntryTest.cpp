// qmv_motion_field through the stand-in host: argument checks in their order,
// the shape and meaning of the result, and the value chain from MATLAB doubles
// to the grey frames that OpenCV sees.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <opencv2/video/tracking.hpp>

#include "FlowTestImages.h"
#include "mex_standin.h"

namespace {

using NMexStandIn::CallMex;
using NMexStandIn::CArrayPtr;
using NMexStandIn::MakeDouble;

const char* const kUsage = "Usage: imgFlowB = qmv_motion_field(img1, img2)";
const char* const kNotDouble = "Error: data format is not double!";
const char* const kImg1Shape = "Error: img1 must be a 3-channel image!";
const char* const kImg2Shape = "Error: img2 must be a 3-channel image!";
const char* const kSameSize = "Error: img2 must be the same size as img1!";

// An H x W x 3 MATLAB array from an 8-bit RGB matrix, each byte times dScale.
CArrayPtr FrameArray(const cv::Mat& matRGB, double dScale)
{
    const size_t nH = matRGB.rows, nW = matRGB.cols;
    std::vector<double> vValues(nH * nW * 3);
    for (size_t y = 0; y < nH; ++y)
        for (size_t x = 0; x < nW; ++x)
            for (size_t c = 0; c < 3; ++c)
                vValues[y + x * nH + c * nH * nW] = matRGB.at<cv::Vec3b>(int(y), int(x))[int(c)] * dScale;
    return MakeDouble({nH, nW, 3}, vValues);
}

// A small frame with a smooth pattern on a 0..1 scale.
CArrayPtr PatternFrame(size_t nH, size_t nW, double dPhase)
{
    std::vector<double> vValues(nH * nW * 3);
    for (size_t i = 0; i < vValues.size(); ++i) vValues[i] = 0.5 + 0.4 * std::sin(0.37 * double(i) + dPhase);
    return MakeDouble({nH, nW, 3}, vValues);
}

std::string ErrorOf(int nlhs, const std::vector<const mxArray*>& vArgs)
{
    const NMexStandIn::CCallResult result = CallMex(nlhs, vArgs);
    EXPECT_FALSE(result.bEscaped) << result.sEscaped;
    return result.bOk ? std::string("<no error>") : result.sError;
}

TEST(MotionFieldEntry, UsageErrors)
{
    CArrayPtr pmxA = PatternFrame(4, 5, 0.0);
    EXPECT_EQ(ErrorOf(0, {pmxA.get(), pmxA.get()}), kUsage);  // result not assigned
    EXPECT_EQ(ErrorOf(2, {pmxA.get(), pmxA.get()}), kUsage);
    EXPECT_EQ(ErrorOf(1, {pmxA.get()}), kUsage);
    EXPECT_EQ(ErrorOf(1, {pmxA.get(), pmxA.get(), pmxA.get()}), kUsage);
    EXPECT_EQ(ErrorOf(1, {}), kUsage);
    // The count comes first, whatever the arguments are.
    CArrayPtr pmxText = NMexStandIn::MakeString("x");
    EXPECT_EQ(ErrorOf(0, {pmxText.get()}), kUsage);
}

TEST(MotionFieldEntry, ChecksComeInTheirOrder)
{
    CArrayPtr pmxGood = PatternFrame(4, 5, 0.0);
    CArrayPtr pmxSingle = NMexStandIn::MakeNumeric({4, 5, 3}, mxSINGLE_CLASS);
    CArrayPtr pmxBytes = NMexStandIn::MakeNumeric({4, 5, 3}, mxUINT8_CLASS);
    CArrayPtr pmxGrey = MakeDouble({4, 5});
    CArrayPtr pmxFour = MakeDouble({4, 5, 4});
    CArrayPtr pmxStack = MakeDouble({4, 5, 3, 2});
    CArrayPtr pmxTwoPlanes = MakeDouble({4, 5, 2});
    CArrayPtr pmxTransposed = MakeDouble({5, 4, 3});
    CArrayPtr pmxWider = MakeDouble({4, 6, 3});
    CArrayPtr pmxSparse = NMexStandIn::MakeSparse(4, 5);
    CArrayPtr pmxCell = NMexStandIn::MakeCell();

    EXPECT_EQ(ErrorOf(1, {pmxSingle.get(), pmxGood.get()}), kNotDouble);
    EXPECT_EQ(ErrorOf(1, {pmxGood.get(), pmxBytes.get()}), kNotDouble);
    EXPECT_EQ(ErrorOf(1, {pmxCell.get(), pmxGood.get()}), kNotDouble);
    EXPECT_EQ(ErrorOf(1, {pmxGrey.get(), pmxSingle.get()}), kNotDouble);  // class before shape

    EXPECT_EQ(ErrorOf(1, {pmxGrey.get(), pmxGood.get()}), kImg1Shape);
    EXPECT_EQ(ErrorOf(1, {pmxFour.get(), pmxGood.get()}), kImg1Shape);
    EXPECT_EQ(ErrorOf(1, {pmxStack.get(), pmxGood.get()}), kImg1Shape);
    EXPECT_EQ(ErrorOf(1, {pmxTwoPlanes.get(), pmxGrey.get()}), kImg1Shape);  // img1 before img2
    EXPECT_EQ(ErrorOf(1, {pmxSparse.get(), pmxGood.get()}), kImg1Shape);     // sparse is never 3-D

    EXPECT_EQ(ErrorOf(1, {pmxGood.get(), pmxGrey.get()}), kImg2Shape);
    EXPECT_EQ(ErrorOf(1, {pmxGood.get(), pmxFour.get()}), kImg2Shape);
    EXPECT_EQ(ErrorOf(1, {pmxGood.get(), pmxSparse.get()}), kImg2Shape);
    EXPECT_EQ(ErrorOf(1, {pmxTransposed.get(), pmxTwoPlanes.get()}), kImg2Shape);  // shape before size

    EXPECT_EQ(ErrorOf(1, {pmxGood.get(), pmxTransposed.get()}), kSameSize);
    EXPECT_EQ(ErrorOf(1, {pmxGood.get(), pmxWider.get()}), kSameSize);
}

TEST(MotionFieldEntry, FramesWithoutPixelsOrBeyondTheLibraryAreRefused)
{
    const std::vector<std::vector<size_t>> vEmpty = {{0, 5, 3}, {4, 0, 3}, {0, 0, 3}};
    for (const auto& vDims : vEmpty) {
        CArrayPtr pmxA = MakeDouble(vDims), pmxB = MakeDouble(vDims);
        EXPECT_EQ(ErrorOf(1, {pmxA.get(), pmxB.get()}), "Error: img1 and img2 must have a positive height and width!");
    }
    // No pixels to allocate, but a width no 32-bit image can hold.
    const size_t nHuge = size_t(1) << 31;
    CArrayPtr pmxA = MakeDouble({0, nHuge, 3}), pmxB = MakeDouble({0, nHuge, 3});
    EXPECT_EQ(ErrorOf(1, {pmxA.get(), pmxB.get()}), "Error: img1 and img2 are too large!");
}

TEST(MotionFieldEntry, ResultIsHeightByWidthByTwoForAnySize)
{
    const std::vector<std::pair<size_t, size_t>> vSizes = {{1, 1}, {1, 7}, {7, 1}, {2, 3}, {5, 40}, {33, 17}};
    for (const auto& size : vSizes) {
        CArrayPtr pmxA = PatternFrame(size.first, size.second, 0.0);
        CArrayPtr pmxB = PatternFrame(size.first, size.second, 0.3);
        const size_t nLiveBefore = NMexStandIn::LiveArrayCount();
        {
            NMexStandIn::CCallResult result = CallMex(1, {pmxA.get(), pmxB.get()});
            ASSERT_TRUE(result.bOk) << result.sError << result.sEscaped;
            EXPECT_EQ(NMexStandIn::Dims(result.Output()), (std::vector<size_t>{size.first, size.second, 2}));
            for (double v : NMexStandIn::Values(result.Output())) ASSERT_TRUE(std::isfinite(v));
            EXPECT_EQ(result.sPrinted, "");
        }
        EXPECT_EQ(NMexStandIn::LiveArrayCount(), nLiveBefore);
    }
}

TEST(MotionFieldEntry, ComplexFramesAreReadByTheirRealPart)
{
    CArrayPtr pmxA = PatternFrame(24, 30, 0.0), pmxB = PatternFrame(24, 30, 0.4);
    const std::vector<double> vImag(24 * 30 * 3, 0.9);
    CArrayPtr pmxComplexA = NMexStandIn::MakeComplex({24, 30, 3}, NMexStandIn::Values(pmxA.get()), vImag);
    CArrayPtr pmxComplexB = NMexStandIn::MakeComplex({24, 30, 3}, NMexStandIn::Values(pmxB.get()), vImag);
    NMexStandIn::CCallResult real = CallMex(1, {pmxA.get(), pmxB.get()});
    NMexStandIn::CCallResult complex = CallMex(1, {pmxComplexA.get(), pmxComplexB.get()});
    ASSERT_TRUE(real.bOk && complex.bOk) << complex.sError;
    EXPECT_EQ(NMexStandIn::Values(complex.Output()), NMexStandIn::Values(real.Output()));
}

TEST(MotionFieldEntry, NonFiniteComponentsStillGiveAResult)
{
    std::vector<double> vValues(6 * 8 * 3, 0.5);
    vValues[3] = std::numeric_limits<double>::quiet_NaN();
    vValues[17] = std::numeric_limits<double>::infinity();
    vValues[40] = -std::numeric_limits<double>::infinity();
    CArrayPtr pmxA = MakeDouble({6, 8, 3}, vValues), pmxB = PatternFrame(6, 8, 0.0);
    NMexStandIn::CCallResult result = CallMex(1, {pmxA.get(), pmxB.get()});
    ASSERT_TRUE(result.bOk) << result.sError;
    EXPECT_EQ(NMexStandIn::Dims(result.Output()), (std::vector<size_t>{6, 8, 2}));
}

class MotionFieldOnRealFrames : public ::testing::Test {
protected:
    void SetUp() override
    {
        matRGB1 = LoadSampleRGB("rubberwhale1.png");
        matRGB2 = LoadSampleRGB("rubberwhale2.png");
        ASSERT_FALSE(matRGB1.empty());
        ASSERT_FALSE(matRGB2.empty());
    }
    cv::Mat matRGB1, matRGB2;
};

// Plane 1 must hold dx and plane 2 dy of the direct call, widened exactly.
void ExpectSameAsDirectCall(const mxArray* pmxFlow, const cv::Mat& matRGB1, const cv::Mat& matRGB2)
{
    cv::Mat matFlow;
    cv::calcOpticalFlowFarneback(GrayFrame(ToRGBAImage(matRGB1)), GrayFrame(ToRGBAImage(matRGB2)), matFlow, 0.5, 5, 13,
                                 10, 5, 1.1, 0);
    const std::vector<double> vFlow = NMexStandIn::Values(pmxFlow);
    const size_t nH = matFlow.rows, nW = matFlow.cols;
    ASSERT_EQ(vFlow.size(), nH * nW * 2);
    size_t nDifferent = 0;
    for (size_t y = 0; y < nH; ++y)
        for (size_t x = 0; x < nW; ++x) {
            const cv::Vec2f v = matFlow.at<cv::Vec2f>(int(y), int(x));
            nDifferent += vFlow[y + x * nH] != double(v[0]);
            nDifferent += vFlow[y + x * nH + nH * nW] != double(v[1]);
        }
    EXPECT_EQ(nDifferent, 0u);
}

TEST_F(MotionFieldOnRealFrames, IdenticalToDirectOpenCVCallOnTheSameGreyFrames)
{
    CArrayPtr pmx1 = FrameArray(matRGB1, 1.0 / 255.0), pmx2 = FrameArray(matRGB2, 1.0 / 255.0);
    NMexStandIn::CCallResult result = CallMex(1, {pmx1.get(), pmx2.get()});
    ASSERT_TRUE(result.bOk) << result.sError;
    EXPECT_EQ(NMexStandIn::Dims(result.Output()), (std::vector<size_t>{size_t(matRGB1.rows), size_t(matRGB1.cols), 2}));
    ExpectSameAsDirectCall(result.Output(), matRGB1, matRGB2);
}

// Frames on a 0..255 scale saturate: every non-zero byte value becomes 255.
TEST_F(MotionFieldOnRealFrames, FramesOnByteScaleSaturate)
{
    CArrayPtr pmx1 = FrameArray(matRGB1, 1.0), pmx2 = FrameArray(matRGB2, 1.0);
    NMexStandIn::CCallResult result = CallMex(1, {pmx1.get(), pmx2.get()});
    ASSERT_TRUE(result.bOk) << result.sError;
    cv::Mat matSat1 = matRGB1 > 0, matSat2 = matRGB2 > 0;  // 255 where non-zero
    ASSERT_EQ(cv::countNonZero(matSat1.reshape(1) == 0), cv::countNonZero(matRGB1.reshape(1) == 0));
    ExpectSameAsDirectCall(result.Output(), matSat1, matSat2);
}

// Content moved towards larger column and smaller row index: positive plane 1,
// negative plane 2.
TEST(MotionFieldEntry, TranslationGivesPlaneOneColumnAndPlaneTwoRow)
{
    const cv::Mat matRGB = LoadSampleRGB("butterfly.png");
    ASSERT_FALSE(matRGB.empty());
    const double dDx = 0.7, dDy = -0.4;
    CArrayPtr pmx1 = FrameArray(matRGB, 1.0 / 255.0);
    CArrayPtr pmx2 = FrameArray(ShiftedRGB(matRGB, dDx, dDy), 1.0 / 255.0);
    NMexStandIn::CCallResult result = CallMex(1, {pmx1.get(), pmx2.get()});
    ASSERT_TRUE(result.bOk) << result.sError;
    const std::vector<double> vFlow = NMexStandIn::Values(result.Output());
    const size_t nH = matRGB.rows, nW = matRGB.cols, nMargin = 16;
    double dSumError = 0.0, dSumPlane1 = 0.0, dSumPlane2 = 0.0;
    size_t nCount = 0;
    for (size_t x = nMargin; x < nW - nMargin; ++x)
        for (size_t y = nMargin; y < nH - nMargin; ++y, ++nCount) {
            const double dPlane1 = vFlow[y + x * nH], dPlane2 = vFlow[y + x * nH + nH * nW];
            dSumError += std::hypot(dPlane1 - dDx, dPlane2 - dDy);
            dSumPlane1 += dPlane1;
            dSumPlane2 += dPlane2;
        }
    EXPECT_LT(dSumError / double(nCount), 0.15);
    EXPECT_NEAR(dSumPlane1 / double(nCount), dDx, 0.05);
    EXPECT_NEAR(dSumPlane2 / double(nCount), dDy, 0.05);
}

}  // namespace
