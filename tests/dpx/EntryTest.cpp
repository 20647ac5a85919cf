// dpx_guided_smooth through the stand-in host: every message in its order, the
// shapes of the result, the scalar conversions, and failures that must come
// back as host errors.
#include "DpxTestImages.h"

#include "mex_standin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace NMexStandIn;

namespace {

const std::string sUsage = "Usage: imgStackOut = dpx_guided_smooth(imgStackIn, imgGuide, r, seps, reps, p)";
const std::string sScalar = "Error: r/seps/reps/p must be a real scalar!";

std::vector<double> Ramp(std::size_t n, double dScale)
{
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = std::fmod(i * 0.6180339887 * dScale, 1.0);
    return v;
}

// A valid call's arguments for an H x W x N stack; tests replace single ones.
struct SArgs {
    std::vector<CArrayPtr> v;
    SArgs(std::size_t iH, std::size_t iW, std::size_t nSlices, bool bWithP = true)
    {
        std::vector<std::size_t> vDims{iH, iW};
        if (nSlices != 1) vDims.push_back(nSlices);
        v.push_back(MakeDouble(vDims, Ramp(iH * iW * nSlices, 1.0)));
        v.push_back(MakeDouble({iH, iW, 3}, Ramp(iH * iW * 3, 3.7)));
        v.push_back(MakeScalar(2));
        v.push_back(MakeScalar(1.5));
        v.push_back(MakeScalar(0.25));
        if (bWithP) v.push_back(MakeScalar(2));
    }
    std::vector<const mxArray*> Raw() const
    {
        std::vector<const mxArray*> vRaw;
        for (const auto& p : v) vRaw.push_back(p.get());
        return vRaw;
    }
};

// Calls the module, capturing its error stream.
CCallResult Call(const SArgs& args, int nlhs = 1, std::string* psStderr = nullptr)
{
    testing::internal::CaptureStderr();
    CCallResult result = CallMex(nlhs, args.Raw());
    const std::string sErr = testing::internal::GetCapturedStderr();
    if (psStderr) *psStderr = sErr;
    EXPECT_FALSE(result.bEscaped) << result.sEscaped;
    EXPECT_EQ(result.iOffThreadHostCalls, 0);
    return result;
}

std::string ErrorOf(const SArgs& args, int nlhs = 1)
{
    const CCallResult result = Call(args, nlhs);
    EXPECT_FALSE(result.bOk);
    return result.sError;
}

}  // namespace

TEST(DpxEntry, ArgumentCountsGiveTheUsage)
{
    EXPECT_EQ(ErrorOf(SArgs(4, 5, 1), 0), sUsage);
    EXPECT_EQ(ErrorOf(SArgs(4, 5, 1), 2), sUsage);
    SArgs args(4, 5, 1);
    args.v.resize(4);
    EXPECT_EQ(ErrorOf(args), sUsage);
    args = SArgs(4, 5, 1);
    args.v.push_back(MakeScalar(1));
    EXPECT_EQ(ErrorOf(args), sUsage);
}

TEST(DpxEntry, ChecksComeInTheirOrder)
{
    // Each case breaks one argument and everything after it, so the first
    // failed check alone decides the message.
    SArgs args(4, 5, 1);
    args.v[5] = MakeNumeric({1, 1}, mxSINGLE_CLASS);
    args.v[4] = MakeDouble({1, 2});
    EXPECT_EQ(ErrorOf(args), "Error: p must be of type double!");
    args.v[3] = MakeNumeric({1, 1}, mxINT32_CLASS);
    EXPECT_EQ(ErrorOf(args), "Error: seps/reps must be of type double!");
    args.v[2] = MakeNumeric({1, 1}, mxSINGLE_CLASS);
    EXPECT_EQ(ErrorOf(args), "Error: r must be of type double!");
    args.v[1] = MakeSparse(4, 5);
    EXPECT_EQ(ErrorOf(args), "Error: imgGuide must not be sparse!");
    args.v[0] = MakeSparse(4, 5);
    EXPECT_EQ(ErrorOf(args), "Error: imgStackIn must not be sparse!");
    args.v[1] = MakeNumeric({4, 5, 3}, mxSINGLE_CLASS);
    EXPECT_EQ(ErrorOf(args), "Error: imgGuide must be of type double!");
    args.v[0] = MakeString("abc");
    EXPECT_EQ(ErrorOf(args), "Error: imgStackIn must be of type double!");
}

TEST(DpxEntry, ScalarsMustBeRealScalars)
{
    for (int i = 2; i <= 5; ++i) {
        SArgs args(3, 3, 1);
        args.v[i] = MakeDouble({1, 2}, {1, 1});
        EXPECT_EQ(ErrorOf(args), sScalar) << "argument " << i;
        args.v[i] = MakeComplex({1, 1}, {1}, {1});
        EXPECT_EQ(ErrorOf(args), sScalar) << "argument " << i;
        args.v[i] = MakeDouble({0, 0});
        EXPECT_EQ(ErrorOf(args), sScalar) << "argument " << i;
    }
    SArgs args(3, 3, 1);  // the scalar check comes before the shape checks
    args.v[0] = MakeDouble({3, 3, 2, 2});
    args.v[3] = MakeComplex({1, 1}, {1}, {0});
    EXPECT_EQ(ErrorOf(args), sScalar);
}

TEST(DpxEntry, ShapesAreChecked)
{
    SArgs args(4, 5, 1);
    args.v[0] = MakeDouble({4, 5, 2, 2});
    EXPECT_EQ(ErrorOf(args), "Error: imgStackIn must be an image or a stack of images!");
    for (std::vector<std::size_t> vGuide : {std::vector<std::size_t>{4, 5}, {4, 5, 2}, {4, 5, 4}, {4, 5, 3, 2}}) {
        SArgs argsGuide(4, 5, 2);
        argsGuide.v[1] = MakeDouble(vGuide);
        EXPECT_EQ(ErrorOf(argsGuide), "Error: imgGuide must be a color image with 3 channels!");
    }
    SArgs argsSwapped(4, 5, 1);
    argsSwapped.v[1] = MakeDouble({5, 4, 3});
    EXPECT_EQ(ErrorOf(argsSwapped), "Error: imgGuide must have the same size as image in imgStackIn!");
}

TEST(DpxEntry, ResultHasTheStackShapeAndFilteredValues)
{
    SArgs args(6, 7, 3);
    std::string sErr;
    const CCallResult result = Call(args, 1, &sErr);
    ASSERT_TRUE(result.bOk) << result.sError;
    EXPECT_EQ(sErr, "");
    EXPECT_EQ(Dims(result.Output()), (std::vector<std::size_t>{6, 7, 3}));

    // Pixel (x, y) of slice k is element y + x H + k H W; compare one slice
    // with the filter's formula on the same data.
    const std::vector<double> vIn = Values(args.v[0].get());
    const std::vector<double> vGuide = Values(args.v[1].get());
    const std::vector<double> vOut = Values(result.Output());
    const int iH = 6, iW = 7;
    const auto guide = NDpxTest::MakeImage<NDpxTest::CColour>(iW, iH, [&](int x, int y) {
        const std::size_t i = y + x * iH;
        return NDpxTest::CColour{float(vGuide[i]), float(vGuide[i + 42]), float(vGuide[i + 84])};
    });
    const auto src = NDpxTest::MakeImage<float>(iW, iH, [&](int x, int y) { return float(vIn[84 + y + x * iH]); });
    for (int y = 0; y < iH; ++y)
        for (int x = 0; x < iW; ++x)
            EXPECT_NEAR(vOut[84 + y + x * iH], NDpxTest::ReferencePixel(guide, src, x, y, 2, 1.5, 0.25, 2), 2e-6);
}

TEST(DpxEntry, ScalarsAreTruncatedAndRounded)
{
    auto Output = [](SArgs& args, std::string* psErr = nullptr) {
        const CCallResult result = Call(args, 1, psErr);
        EXPECT_TRUE(result.bOk) << result.sError;
        return result.bOk ? Values(result.Output()) : std::vector<double>{};
    };
    SArgs args(5, 6, 1);
    const std::vector<double> vRadius2 = Output(args);
    args.v[2] = MakeScalar(2.9);
    EXPECT_EQ(Output(args), vRadius2);
    SArgs argsNoP(5, 6, 1, false);  // p defaults to 2
    EXPECT_EQ(Output(argsNoP), vRadius2);

    args.v[2] = MakeScalar(-0.5);  // truncates to 0: the input rounded to single
    std::vector<double> vIn = Values(args.v[0].get());
    for (double& d : vIn) d = static_cast<float>(d);
    EXPECT_EQ(Output(args), vIn);

    for (double dR : {std::nan(""), 3e9, -3e9}) {
        args.v[2] = MakeScalar(dR);
        std::string sErr;
        for (double d : Output(args, &sErr)) EXPECT_TRUE(std::isnan(d)) << "r = " << dR;
        EXPECT_EQ(sErr, "Error: CImgBilatFilter::SetContext() failed, illegal radius!\n");
    }

    SArgs argsTiny(5, 6, 1);  // 1e-50 rounds to 0 in single precision
    argsTiny.v[3] = MakeScalar(1e-50);
    std::string sErr;
    Output(argsTiny, &sErr);
    EXPECT_EQ(sErr, "Error: CImgBilatFilter::SetContext() failed, illegal seps/reps!\n");

    SArgs argsForm(5, 6, 1);
    argsForm.v[5] = MakeScalar(2.7);  // truncates to 2
    EXPECT_EQ(Output(argsForm), vRadius2);
    argsForm.v[5] = MakeScalar(0.5);
    Output(argsForm, &sErr);
    EXPECT_EQ(sErr, "Error: CImgBilatFilter::SetContext() failed, p MUST BE 1 or 2!\n");
}

TEST(DpxEntry, StackOfCopiesGivesIdenticalSlices)
{
    const std::size_t iH = 9, iW = 8, n = 4;
    SArgs args(iH, iW, n);
    const std::vector<double> vSlice = Ramp(iH * iW, 2.3);
    std::vector<double> vStack;
    for (std::size_t k = 0; k < n; ++k) vStack.insert(vStack.end(), vSlice.begin(), vSlice.end());
    args.v[0] = MakeDouble({iH, iW, n}, vStack);
    const CCallResult result = Call(args);
    ASSERT_TRUE(result.bOk) << result.sError;
    const std::vector<double> vOut = Values(result.Output());
    for (std::size_t k = 1; k < n; ++k)
        EXPECT_TRUE(std::equal(vOut.begin(), vOut.begin() + iH * iW, vOut.begin() + k * iH * iW)) << "slice " << k;
}

TEST(DpxEntry, ComplexImagesUseTheirRealParts)
{
    SArgs args(4, 4, 1);
    const CCallResult real = Call(args);
    args.v[0] = MakeComplex({4, 4}, Values(args.v[0].get()), std::vector<double>(16, 9.0));
    args.v[1] = MakeComplex({4, 4, 3}, Values(args.v[1].get()), std::vector<double>(48, -9.0));
    const CCallResult complex = Call(args);
    ASSERT_TRUE(real.bOk && complex.bOk);
    EXPECT_EQ(Values(complex.Output()), Values(real.Output()));
}

TEST(DpxEntry, EmptyStacksAndImages)
{
    SArgs args(3, 4, 0);  // no slices: the guide is still converted
    CCallResult result = Call(args);
    ASSERT_TRUE(result.bOk) << result.sError;
    EXPECT_EQ(Dims(result.Output()), (std::vector<std::size_t>{3, 4, 0}));

    // A 0 x 0 image has no valid working image: the size message comes back
    // through the host, not as a stray exception.
    SArgs argsEmpty(0, 0, 1);
    SArgs argsWide(1, 32768, 1);
    const std::size_t nLive = LiveArrayCount();
    EXPECT_EQ(ErrorOf(argsEmpty), "Error: CImage2D::Resize() failed, bad size!");
    EXPECT_EQ(ErrorOf(argsWide), "Error: CImage2D::Resize() failed, bad size!");
    EXPECT_EQ(LiveArrayCount(), nLive);  // the created result went with the error
}

// A p that is not a whole number computes as its truncation, and a positive
// scale whose square underflows gives NaN everywhere: both are reported as
// the other illegal parameters are, on the error stream.
TEST(DpxEntry, FractionalFormsAndUnderflowingScalesAreReported)
{
    const std::string sIllegalP = "Error: CImgBilatFilter::SetContext() failed, p MUST BE 1 or 2!\n";
    const std::string sIllegalScale = "Error: CImgBilatFilter::SetContext() failed, illegal seps/reps!\n";
    auto Run = [](const SArgs& args, std::string& sErr) {
        const CCallResult result = Call(args, 1, &sErr);
        EXPECT_TRUE(result.bOk) << result.sError;
        return result.bOk ? Values(result.Output()) : std::vector<double>{};
    };
    std::string sErr;
    for (double dWhole : {1.0, 2.0}) {
        SArgs args(5, 6, 1);
        args.v[5] = MakeScalar(dWhole);
        const std::vector<double> vWhole = Run(args, sErr);
        EXPECT_EQ(sErr, "") << "p = " << dWhole;
        for (double dFraction : {dWhole + 0.5, dWhole + 0.7, std::nextafter(dWhole, 3.0)}) {
            args.v[5] = MakeScalar(dFraction);
            EXPECT_EQ(Run(args, sErr), vWhole) << "p = " << dFraction;
            EXPECT_EQ(sErr, sIllegalP) << "p = " << dFraction;
        }
    }
    SArgs argsP3(5, 6, 1);  // reported once, not once per check
    argsP3.v[5] = MakeScalar(3.5);
    Run(argsP3, sErr);
    EXPECT_EQ(sErr, sIllegalP);

    for (int iScale : {3, 4}) {
        SArgs args(5, 6, 1);
        args.v[iScale] = MakeScalar(1e-25);  // a float, but its square is 0
        for (double d : Run(args, sErr)) EXPECT_TRUE(std::isnan(d));
        EXPECT_EQ(sErr, sIllegalScale) << "argument " << iScale;
        args.v[iScale] = MakeScalar(1e-19);  // its square is still positive
        for (double d : Run(args, sErr)) EXPECT_FALSE(std::isnan(d));
        EXPECT_EQ(sErr, "") << "argument " << iScale;
        args.v[5] = MakeScalar(1);  // p = 1 divides by the scale itself
        args.v[iScale] = MakeScalar(1e-25);
        for (double d : Run(args, sErr)) EXPECT_FALSE(std::isnan(d));
        EXPECT_EQ(sErr, "") << "argument " << iScale;
    }
}
