// The guided bilateral filter: its weights against a double-precision
// evaluation, window clipping, edge preservation, in-place calls, the guide
// sharing and every message on the error stream.
#include "DpxTestImages.h"

#include "dpx_guided_smooth/ImgBilatFilter.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <string>

using namespace NDpxTest;
using CFilter = CImgBilatFilter<float, CColour>;

namespace {

// Constructs a filter and returns what SetContext wrote to std::cerr.
std::string ContextMessages(int r, float fSeps, float fReps, int iP)
{
    testing::internal::CaptureStderr();
    CFilter filter(r, fSeps, fReps, iP);
    return testing::internal::GetCapturedStderr();
}

CFloatImage Filtered(CFilter& filter, const CFloatImage& src)
{
    CFloatImage dst;
    filter.RunFilter(dst, src);
    return dst;
}

CFloatImage Filtered(const CGuide& guide, const CFloatImage& src, int r, float fSeps, float fReps, int iP = 2)
{
    CFilter filter(r, fSeps, fReps, iP);
    filter.Precompute(guide);
    return Filtered(filter, src);
}

// Mean of src over the window of radius r around (x, y), clipped to the image.
double WindowMean(const CFloatImage& src, int x, int y, int r)
{
    double dSum = 0.0;
    int n = 0;
    for (int yy = std::max(0, y - r); yy <= std::min(src.GetHeight() - 1, y + r); ++yy)
        for (int xx = std::max(0, x - r); xx <= std::min(src.GetWidth() - 1, x + r); ++xx, ++n) dSum += src.At(xx, yy);
    return dSum / n;
}

}  // namespace

TEST(DpxFilter, SetContextReportsEachIllegalParameterInOrder)
{
    const std::string sRadius = "Error: CImgBilatFilter::SetContext() failed, illegal radius!\n";
    const std::string sScales = "Error: CImgBilatFilter::SetContext() failed, illegal seps/reps!\n";
    const std::string sForm = "Error: CImgBilatFilter::SetContext() failed, p MUST BE 1 or 2!\n";
    EXPECT_EQ(ContextMessages(2, 1.0f, 1.0f, 2), "");
    EXPECT_EQ(ContextMessages(0, 1.0f, 1.0f, 1), "");
    EXPECT_EQ(ContextMessages(-1, 1.0f, 1.0f, 2), sRadius);
    EXPECT_EQ(ContextMessages(1, 0.0f, 1.0f, 2), sScales);
    EXPECT_EQ(ContextMessages(1, 1.0f, -2.0f, 2), sScales);
    EXPECT_EQ(ContextMessages(1, NAN, 1.0f, 2), sScales);
    EXPECT_EQ(ContextMessages(1, 1.0f, 1.0f, 3), sForm);
    EXPECT_EQ(ContextMessages(1, 1.0f, 1.0f, 0), sForm);
    EXPECT_EQ(ContextMessages(INT_MIN, -1.0f, 0.0f, -7), sRadius + sScales + sForm);

    // The values stay in use after being reported.
    testing::internal::CaptureStderr();
    CFilter filter(2, 1.0f, 1.0f, 2);
    filter.SetContext(-4, 1.0f, 1.0f, 2);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(filter.GetRadius(), -4);
}

TEST(DpxFilter, RunFilterRefusesMissingGuideAndWrongSize)
{
    CFilter filter(1, 1.0f, 1.0f, 2);
    const CFloatImage src = RandomFloat(6, 5, 1);
    CFloatImage dst = MakeImage<float>(2, 2, [](int, int) { return 7.0f; });
    const float* pDst = dst.GetPixels();

    testing::internal::CaptureStderr();
    filter.RunFilter(dst, src);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: CImgBilatFilter::RunFilter() failed, not precomputed!\n");

    filter.Precompute(RandomGuide(6, 4, 2));
    testing::internal::CaptureStderr();
    filter.RunFilter(dst, src);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: CImgBilatFilter::RunFilter() failed, illegal size of image!\n");
    EXPECT_EQ(dst.GetPixels(), pDst);
    EXPECT_EQ(dst.GetWidth(), 2);
    EXPECT_EQ(dst.At(1, 1), 7.0f);
}

TEST(DpxFilter, RadiusZeroReturnsTheInput)
{
    const CGuide guide = RandomGuide(9, 7, 3);
    const CFloatImage src = RandomFloat(9, 7, 4);
    for (int iP : {1, 2}) EXPECT_EQ(Pixels(Filtered(guide, src, 0, 0.5f, 0.1f, iP)), Pixels(src)) << "p = " << iP;
}

TEST(DpxFilter, MatchesTheFormulaInDoublePrecision)
{
    // p = 3 stands for every other form, used after its message.
    const int iW = 13, iH = 11, r = 3;
    const CGuide guide = RandomGuide(iW, iH, 5);
    const CFloatImage src = RandomFloat(iW, iH, 6);
    for (int iP : {1, 2, 3}) {
        const float fSeps = 1.7f, fReps = 0.3f;
        testing::internal::CaptureStderr();
        const CFloatImage dst = Filtered(guide, src, r, fSeps, fReps, iP);
        testing::internal::GetCapturedStderr();
        ASSERT_EQ(dst.GetWidth(), iW);
        ASSERT_EQ(dst.GetHeight(), iH);
        for (int y = 0; y < iH; ++y)
            for (int x = 0; x < iW; ++x)
                EXPECT_NEAR(dst.At(x, y), ReferencePixel(guide, src, x, y, r, fSeps, fReps, iP), 2e-6)
                    << "p = " << iP << " at (" << x << ", " << y << ")";
    }
}

TEST(DpxFilter, UniformGuideApproachesTheClippedWindowMean)
{
    const CGuide guide = UniformGuide(8, 6);
    const CFloatImage src = RandomFloat(8, 6, 9);
    double dLastError = 1e9;
    for (float fSeps : {1.0f, 10.0f, 100.0f, 1000.0f}) {
        const CFloatImage dst = Filtered(guide, src, 2, fSeps, 0.1f);
        double dError = 0.0;
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x) dError = std::max(dError, std::fabs(dst.At(x, y) - WindowMean(src, x, y, 2)));
        EXPECT_LT(dError, dLastError) << "seps = " << fSeps;
        dLastError = dError;
    }
    EXPECT_LT(dLastError, 1e-5);
}

TEST(DpxFilter, CornerAndEdgeWindowsAreClipped)
{
    // Radius 1: a corner averages 2 x 2 pixels, an edge pixel 2 x 3 or 3 x 2.
    const CFloatImage src = MakeImage<float>(4, 3, [](int x, int y) { return float(x + 4 * y); });
    const CFloatImage dst = Filtered(UniformGuide(4, 3), src, 1, 1e6f, 1.0f);
    EXPECT_NEAR(dst.At(0, 0), (0 + 1 + 4 + 5) / 4.0, 1e-5);
    EXPECT_NEAR(dst.At(3, 2), (6 + 7 + 10 + 11) / 4.0, 1e-5);
    EXPECT_NEAR(dst.At(1, 0), (0 + 1 + 2 + 4 + 5 + 6) / 6.0, 1e-5);
    EXPECT_NEAR(dst.At(0, 1), (0 + 1 + 4 + 5 + 8 + 9) / 6.0, 1e-5);
    EXPECT_NEAR(dst.At(1, 1), (0 + 1 + 2 + 4 + 5 + 6 + 8 + 9 + 10) / 9.0, 1e-5);
}

TEST(DpxFilter, HugeRadiusClipsLikeTheImageSize)
{
    const CGuide guide = RandomGuide(7, 5, 10);
    const CFloatImage src = RandomFloat(7, 5, 11);
    const auto vFull = Bits(Filtered(guide, src, 7, 3.0f, 0.5f));
    EXPECT_EQ(Bits(Filtered(guide, src, INT_MAX, 3.0f, 0.5f)), vFull);
    EXPECT_EQ(Bits(Filtered(guide, src, INT_MAX - 3, 3.0f, 0.5f)), vFull);
}

TEST(DpxFilter, SharpGuideEdgeStopsTheAveraging)
{
    // Guide dark on the left half, bright on the right; the source has an
    // outlier next to the edge on the dark side.
    const CGuide guide = MakeImage<CColour>(10, 6, [](int x, int) {
        return x < 5 ? CColour{0.0f, 0.0f, 0.0f} : CColour{1.0f, 1.0f, 1.0f};
    });
    const CFloatImage src =
        MakeImage<float>(10, 6, [](int x, int y) { return (x == 4 && y == 3) ? 100.0f : (x < 5 ? 0.0f : 1.0f); });
    for (int iP : {1, 2}) {
        const CFloatImage dst = Filtered(guide, src, 3, 10.0f, 0.05f, iP);
        for (int y = 0; y < 6; ++y) {
            for (int x = 5; x < 10; ++x) EXPECT_NEAR(dst.At(x, y), 1.0f, 1e-6) << "p = " << iP;
            EXPECT_GT(dst.At(3, y), 1.0f);  // the outlier spreads on its own side
        }
    }
}

TEST(DpxFilter, InPlaceCallsEqualTheOutOfPlaceCall)
{
    const CGuide guide = RandomGuide(11, 9, 12);
    const CFloatImage src = RandomFloat(11, 9, 13);
    const auto vSrc = Bits(src);
    // The scalar kernel reads the source image itself, the vector kernel a copy.
    for (auto eKernel : {CFilter::EKernel::Scalar, CFilter::EKernel::Fastest}) {
        CFilter filter(2, 1.5f, 0.2f, 2);
        filter.SetKernel(eKernel);
        filter.Precompute(guide);
        const auto vExpected = Bits(Filtered(filter, src));
        EXPECT_EQ(Bits(src), vSrc);  // out of place leaves the source alone

        CFloatImage img = MakeImage<float>(11, 9, [&](int x, int y) { return src.At(x, y); });
        filter.RunFilter(img, img);
        EXPECT_EQ(Bits(img), vExpected);

        CFloatImage imgIn = MakeImage<float>(11, 9, [&](int x, int y) { return src.At(x, y); });
        CFloatImage imgShare = imgIn;
        filter.RunFilter(imgShare, imgIn);
        EXPECT_EQ(Bits(imgIn), vExpected);  // both see the result in their shared block
        EXPECT_EQ(imgShare.GetPixels(), imgIn.GetPixels());
    }
}

TEST(DpxFilter, IllegalRadiusGivesNaNEverywhere)
{
    for (int r : {-1, INT_MIN}) {
        testing::internal::CaptureStderr();
        const CFloatImage dst = Filtered(RandomGuide(9, 4, 14), RandomFloat(9, 4, 15), r, 1.0f, 1.0f);
        testing::internal::GetCapturedStderr();
        for (float f : Pixels(dst)) EXPECT_TRUE(std::isnan(f)) << "r = " << r;
    }
}

TEST(DpxFilter, NegativeScalesWithSquaredFormActLikeTheirAbsoluteValue)
{
    const CGuide guide = RandomGuide(6, 6, 16);
    const CFloatImage src = RandomFloat(6, 6, 17);
    testing::internal::CaptureStderr();
    const CFloatImage dst = Filtered(guide, src, 2, -1.5f, -0.25f);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: CImgBilatFilter::SetContext() failed, illegal seps/reps!\n");
    EXPECT_EQ(Bits(dst), Bits(Filtered(guide, src, 2, 1.5f, 0.25f)));
}

TEST(DpxFilter, PrecomputeSharesTheGuideBlock)
{
    CGuide guide = RandomGuide(6, 5, 18);
    const CFloatImage src = RandomFloat(6, 5, 19);
    auto pFilter = std::make_unique<CFilter>(2, 2.0f, 0.1f, 2);
    pFilter->Precompute(guide);
    EXPECT_EQ(guide.GetShareCount(), 2);
    pFilter->Precompute(guide);  // again: still one share for the filter
    EXPECT_EQ(guide.GetShareCount(), 2);

    const auto vBefore = Bits(Filtered(*pFilter, src));
    guide.At(2, 2) = CColour{5.0f, 5.0f, 5.0f};  // seen by the filter: no copy was made
    EXPECT_NE(Bits(Filtered(*pFilter, src)), vBefore);
    pFilter.reset();
    EXPECT_EQ(guide.GetShareCount(), 1);
}

TEST(DpxFilter, CloneHasTheParametersButNoGuide)
{
    CFilter filter(3, 2.0f, 0.5f, 1);
    filter.Precompute(RandomGuide(4, 4, 20));
    std::unique_ptr<CImgFilter<float, CColour>> pClone(filter.Clone());
    EXPECT_STREQ(pClone->GetName(), "bilateral_filter");
    EXPECT_EQ(pClone->GetRadius(), 3);

    CFloatImage dst;
    testing::internal::CaptureStderr();
    pClone->RunFilter(dst, RandomFloat(4, 4, 21));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: CImgBilatFilter::RunFilter() failed, not precomputed!\n");
    EXPECT_FALSE(dst.HasBlock());

    const CGuide guide = RandomGuide(4, 4, 22);
    const CFloatImage src = RandomFloat(4, 4, 23);
    pClone->Precompute(guide);
    filter.Precompute(guide);
    CFloatImage dstClone;
    pClone->RunFilter(dstClone, src);
    EXPECT_EQ(Bits(dstClone), Bits(Filtered(filter, src)));
}
