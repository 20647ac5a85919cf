// The module's one-pass path (arrays straight to grey bytes, grey frames to
// the solver, flow straight into the result) against the path through the
// library's images, Run and img2mx: the same bytes and values, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "FlowTestImages.h"
#include "FlowToPlanes.h"
#include "GreyFrame.h"
#include "MotionField.h"
#include "mex_standin.h"
#include "tests/reference/ReferenceMotionField.h"
#include "tests/reference/ReferenceMxImageCopy.h"

namespace {

// The library's colour conversion of one component.
unsigned char LibraryByte(double v)
{
    NColor::CColorRGBr<double> rgb = {v, v, v};
    NColor::CColorRGBAub rgba;
    NColor::Convert(&rgba, &rgb, 1);
    return rgba.r;
}

TEST(ComponentByte, AgreesWithLibraryColourConversion)
{
    const double dInf = std::numeric_limits<double>::infinity();
    std::vector<double> vValues = {-dInf,
                                   -1.0,
                                   -1e-300,
                                   -0.0,
                                   0.0,
                                   1e-300,
                                   0.5,
                                   1.0,
                                   1.0 + 1e-15,
                                   255.0,
                                   1e300,
                                   dInf,
                                   std::numeric_limits<double>::quiet_NaN()};
    for (int k = 0; k <= 255; ++k) {  // around every rounding boundary
        const double dEdge = (k + 0.5) / 255.0;
        vValues.insert(vValues.end(), {k / 255.0, dEdge, std::nextafter(dEdge, 0.0), std::nextafter(dEdge, 2.0)});
    }
    for (double v : vValues) EXPECT_EQ(+ComponentByte(v), +LibraryByte(v)) << v;
    EXPECT_EQ(ComponentByte(0.5), 128);
}

// The array's pixels through the library's colour images: ConvertFrom, then
// RGBA2Gray.
cv::Mat ReferenceGrey(const std::vector<double>& vPlanes, int iH, int iW)
{
    CColourFrame imgFrame;
    imgFrame.Create(iW, iH, 3, 16);
    for (int y = 0; y < iH; ++y)
        for (int x = 0; x < iW; ++x)
            for (int c = 0; c < 3; ++c) imgFrame.Pixel(x, y)[c] = vPlanes[y + size_t(x) * iH + size_t(c) * iH * iW];
    CRGBAImage imgRGBA;
    imgRGBA.ConvertFrom(imgFrame);
    return GrayFrame(imgRGBA);
}

TEST(ColourArrayToGrey, SameBytesAsLibraryColourImages)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> dist(-0.2, 1.2);
    const double aSpecial[] = {std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               0.5,
                               127.5 / 255.0,
                               1.0,
                               0.0,
                               -0.0};
    const int aSizes[][2] = {{1, 1}, {7, 3}, {8, 5}, {9, 4}, {17, 11}, {388, 31}, {3, 600}};
    for (const auto& size : aSizes) {
        const int iH = size[0], iW = size[1];
        std::vector<double> vPlanes(size_t(iH) * iW * 3);
        for (double& v : vPlanes) v = dist(rng);
        for (size_t i = 0; i < vPlanes.size(); i += 5)
            vPlanes[i] = aSpecial[(i / 5) % (sizeof(aSpecial) / sizeof(aSpecial[0]))];

        cv::Mat matScratch, matGrey;
        ColourArrayToGrey(vPlanes.data(), iH, iW, matScratch, matGrey);
        const cv::Mat matReference = ReferenceGrey(vPlanes, iH, iW);
        ASSERT_EQ(matGrey.type(), CV_8UC1);
        ASSERT_EQ(matGrey.size(), matReference.size());
        EXPECT_EQ(cv::countNonZero(matGrey != matReference), 0) << iH << " x " << iW;
    }
}

TEST(MotionFieldFromArrays, SameFlowAsSolverRunOnColourImages)
{
    const cv::Mat matRGB1 = LoadSampleRGB("rubberwhale1.png"), matRGB2 = LoadSampleRGB("rubberwhale2.png");
    ASSERT_FALSE(matRGB1.empty() || matRGB2.empty());
    const int iH = matRGB1.rows, iW = matRGB1.cols;
    std::vector<double> vPlanes1(size_t(iH) * iW * 3), vPlanes2(vPlanes1.size());
    CColourFrame imgFrame1, imgFrame2;
    imgFrame1.Create(iW, iH, 3, 16);
    imgFrame2.Create(iW, iH, 3, 16);
    for (int y = 0; y < iH; ++y)
        for (int x = 0; x < iW; ++x)
            for (int c = 0; c < 3; ++c) {
                const size_t i = y + size_t(x) * iH + size_t(c) * iH * iW;
                imgFrame1.Pixel(x, y)[c] = vPlanes1[i] = matRGB1.at<cv::Vec3b>(y, x)[c] * (1.1 / 255.0) - 0.05;
                imgFrame2.Pixel(x, y)[c] = vPlanes2[i] = matRGB2.at<cv::Vec3b>(y, x)[c] * (1.1 / 255.0) - 0.05;
            }
    cv::Mat matFlow;
    MotionFieldFromArrays(vPlanes1.data(), vPlanes2.data(), iH, iW, matFlow);
    CFlowField imgFlow;
    EstimateMotionField(imgFrame1, imgFrame2, imgFlow);

    ASSERT_EQ(matFlow.type(), CV_32FC2);
    ASSERT_EQ(imgFlow.Width(), matFlow.cols);
    ASSERT_EQ(imgFlow.Height(), matFlow.rows);
    for (int y = 0; y < iH; ++y)
        ASSERT_EQ(std::memcmp(imgFlow.Row(y), matFlow.ptr(y), sizeof(float) * 2 * iW), 0) << "row " << y;
}

TEST(FlowToPlanes, SameValuesAsLibraryCopyIntoArray)
{
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> dist(-40.0f, 40.0f);
    const int aSizes[][2] = {{1, 1}, {7, 3}, {8, 64}, {9, 130}, {388, 584}, {33, 1000}};
    for (const auto& size : aSizes) {
        const int iH = size[0], iW = size[1];
        cv::Mat matWide(iH, iW + 3, CV_32FC2);  // a view with padded rows
        for (int y = 0; y < iH; ++y)
            for (int x = 0; x < iW + 3; ++x) matWide.at<cv::Vec2f>(y, x) = cv::Vec2f(dist(rng), dist(rng));
        const cv::Mat matFlow = matWide.colRange(0, iW);

        std::vector<double> vPlanes(size_t(iH) * iW * 2, -1.0);
        FlowToPlanes(matFlow, vPlanes.data());

        NMexStandIn::CArrayPtr pmxReference = NMexStandIn::MakeDouble({size_t(iH), size_t(iW), 2});
        CFlowField imgFlow;
        imgFlow.Attach(const_cast<float*>(matFlow.ptr<float>()), iW, iH, 2, static_cast<qelMInt>(matFlow.step[0]));
        img2mx(imgFlow, pmxReference.get());
        EXPECT_EQ(vPlanes, NMexStandIn::Values(pmxReference.get())) << iH << " x " << iW;
    }
}

}  // namespace
