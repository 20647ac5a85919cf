// qmv_frame_residuals and qmv_weighted_rhs through the stand-in host (this
// file is built once for each): the usage, the operator's own messages for
// imgI and func_param, the frame stack's message, the result's shape and
// values, warnings printed on the caller's thread only, nothing leaked.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "mex_standin.h"

namespace {

using NMexStandIn::CallMex;
using NMexStandIn::CArrayPtr;
using NMexStandIn::MakeDouble;

#if QMV_ENTRY_WEIGHTED_RHS
const char* const kUsage = "Usage: imgB = qmv_weighted_rhs(imgI, imgsY, func_param);";
#else
const char* const kUsage = "Usage: imgsRes = qmv_frame_residuals(imgI, imgsY, func_param);";
#endif
const char* const kStack =
    "Error: imgsY should be a real double (H/s)x(W/s)xPxN stack for an HxWxP imgI and N = func_param.numFrames.";

// H x W x P image, N frames, s = 2, 3 x 3 box kernel, frame 1 the reference,
// the other frames shifted one pixel right (map entry column + 1).
struct CCall {
    size_t nH = 8, nW = 6, nP = 3, nN = 3;
    CArrayPtr pmxX, pmxY, pmxParam;
    double dMapNaN = 0.0;  // set to NaN to make one map entry illegal

    void Build()
    {
        pmxX = NMexStandIn::MakeDoubleFrom(nH, nW, nP, [](int y, int x, int c) { return 0.1 * y + 0.01 * x + c; });
        std::vector<double> vY(nH / 2 * nW / 2 * nP * nN);
        for (size_t i = 0; i < vY.size(); ++i) vY[i] = std::sin(0.3 * double(i));
        pmxY = MakeDouble({nH / 2, nW / 2, nP, nN}, vY);
        std::vector<CArrayPtr> vKers, vWeights, vMaps;
        for (size_t k = 0; k < nN; ++k) {
            vKers.push_back(MakeDouble({3, 3}, std::vector<double>(9, 1.0 / 9)));
            vWeights.push_back(MakeDouble({nH / 2, nW / 2, nP}, std::vector<double>(nH / 2 * nW / 2 * nP, 1.0)));
            std::vector<double> vMap(nH * nW * 2);
            for (size_t x = 0; x < nW; ++x)
                for (size_t y = 0; y < nH; ++y) {
                    vMap[y + x * nH] = double(x + 1) + (k == 0 ? 0.0 : 1.0);
                    vMap[y + x * nH + nH * nW] = double(y + 1);
                }
            if (k == 1) vMap[0] = dMapNaN;
            vMaps.push_back(MakeDouble({nH, nW, 2}, vMap));
        }
        pmxParam = NMexStandIn::MakeStruct(
            "idx0", NMexStandIn::MakeScalar(1).release(), "numFrames", NMexStandIn::MakeScalar(double(nN)).release(),
            "scaleFactor", NMexStandIn::MakeScalar(2).release(), "vecKers",
            NMexStandIn::MakeCellFrom(std::move(vKers)).release(), "imgWs",
            MakeDouble({nH, nW, nP}, std::vector<double>(nH * nW * nP, 1.0)).release(), "vecImgW",
            NMexStandIn::MakeCellFrom(std::move(vWeights)).release(), "vecMapB",
            NMexStandIn::MakeCellFrom(std::move(vMaps)).release(), "dataTermScale",
            NMexStandIn::MakeScalar(1).release(), "eta", NMexStandIn::MakeScalar(0.01).release());
    }
};

std::string ErrorOf(int nlhs, const std::vector<const mxArray*>& vArgs)
{
    const NMexStandIn::CCallResult result = CallMex(nlhs, vArgs);
    EXPECT_FALSE(result.bEscaped) << result.sEscaped;
    EXPECT_EQ(result.iOffThreadHostCalls, 0);
    return result.bOk ? std::string("<no error>") : result.sError;
}

TEST(FrameTermsEntry, UsageComesFirst)
{
    CCall call;
    call.Build();
    const mxArray* pX = call.pmxX.get();
    const mxArray* pY = call.pmxY.get();
    const mxArray* pP = call.pmxParam.get();
    EXPECT_EQ(ErrorOf(2, {pX, pY, pP}), kUsage);
    EXPECT_EQ(ErrorOf(1, {pX, pY}), kUsage);
    EXPECT_EQ(ErrorOf(1, {pX, pY, pP, pP}), kUsage);
    EXPECT_EQ(ErrorOf(1, {}), kUsage);
    EXPECT_EQ(ErrorOf(0, {pX, pY, pP}), "<no error>");  // the result may go to ans
}

TEST(FrameTermsEntry, ImageAndParametersAreCheckedByTheOperatorContract)
{
    CCall call;
    call.Build();
    CArrayPtr pmxSingle = NMexStandIn::MakeNumeric({8, 6, 3}, mxSINGLE_CLASS);
    CArrayPtr pmxOdd = MakeDouble({10, 6, 3});
    CArrayPtr pmxScalar = NMexStandIn::MakeScalar(1);
    EXPECT_EQ(ErrorOf(1, {pmxSingle.get(), call.pmxY.get(), call.pmxParam.get()}),
              "Error: imgI should be real and double.");
    EXPECT_EQ(ErrorOf(1, {call.pmxX.get(), call.pmxY.get(), pmxScalar.get()}), "Error: func_param should be a struct.");
    EXPECT_EQ(ErrorOf(1, {pmxOdd.get(), call.pmxY.get(), call.pmxParam.get()}),
              "Error: func_param.imgWs should have the size and channels of imgI.");
    // The contract comes before the frames: a bad stack with a bad imgI names imgI.
    EXPECT_EQ(ErrorOf(1, {pmxSingle.get(), pmxScalar.get(), call.pmxParam.get()}),
              "Error: imgI should be real and double.");
}

TEST(FrameTermsEntry, FrameStackMustFitTheImageAndTheFrameCount)
{
    CCall call;
    call.Build();
    const std::vector<std::vector<size_t>> vBad = {{4, 3, 3, 2}, {4, 3, 3, 4}, {4, 3, 1, 3},   {3, 3, 3, 3},
                                                   {4, 4, 3, 3}, {8, 6, 3, 3}, {4, 3, 3, 3, 2}};
    for (const auto& vDims : vBad) {
        CArrayPtr pmxY = MakeDouble(vDims);
        EXPECT_EQ(ErrorOf(1, {call.pmxX.get(), pmxY.get(), call.pmxParam.get()}), kStack) << vDims.size();
    }
    CArrayPtr pmxSingle = NMexStandIn::MakeNumeric({4, 3, 3, 3}, mxSINGLE_CLASS);
    CArrayPtr pmxComplex = NMexStandIn::MakeComplex({4, 3, 3, 3}, {}, {1.0});
    CArrayPtr pmxSparse = NMexStandIn::MakeSparse(4, 3);
    CArrayPtr pmxCell = NMexStandIn::MakeCell();
    for (const mxArray* pY : {pmxSingle.get(), pmxComplex.get(), pmxSparse.get(), pmxCell.get()})
        EXPECT_EQ(ErrorOf(1, {call.pmxX.get(), pY, call.pmxParam.get()}), kStack);
}

TEST(FrameTermsEntry, SingleFrameAndGreyStacksMayDropTrailingDimensions)
{
    CCall call;
    call.nP = 1;
    call.nN = 1;
    call.Build();
    CArrayPtr pmxY = MakeDouble({4, 3});
    const NMexStandIn::CCallResult result = CallMex(1, {call.pmxX.get(), pmxY.get(), call.pmxParam.get()});
    ASSERT_TRUE(result.bOk) << result.sError;
}

TEST(FrameTermsEntry, ResultShapeAndValues)
{
    CCall call;
    call.Build();
    const size_t nLive = NMexStandIn::LiveArrayCount();
    {
        const NMexStandIn::CCallResult result = CallMex(1, {call.pmxX.get(), call.pmxY.get(), call.pmxParam.get()});
        ASSERT_TRUE(result.bOk) << result.sError;
        EXPECT_EQ(result.iOffThreadHostCalls, 0);
        EXPECT_TRUE(result.sPrinted.empty());
        const std::vector<double> vOut = NMexStandIn::Values(result.Output());
#if QMV_ENTRY_WEIGHTED_RHS
        EXPECT_EQ(NMexStandIn::Dims(result.Output()), (std::vector<size_t>{8, 6, 3}));
        // The box kernel and unit weights keep the sum: sum(b) = (1/N) sum(y)
        // wherever no map entry points outside (interior samples only here).
        double dSum = 0.0;
        for (double v : vOut) dSum += v;
        EXPECT_TRUE(std::isfinite(dSum));
#else
        EXPECT_EQ(NMexStandIn::Dims(result.Output()), (std::vector<size_t>{4, 3, 3, 3}));
        // Reference frame, pixel (2, 2) (0-based (1, 1) at HR (2, 2)): the box
        // mean of x around (2, 2) minus y.
        const std::vector<double> vY = NMexStandIn::Values(call.pmxY.get());
        const double dMean = 0.1 * 2 + 0.01 * 2;  // x is linear: its box mean is its centre value
        EXPECT_NEAR(vOut[1 + 1 * 4], dMean - vY[1 + 1 * 4], 1e-12);
        // Frame 2 reads one column to the right.
        EXPECT_NEAR(vOut[1 + 1 * 4 + 36], dMean + 0.01 - vY[1 + 1 * 4 + 36], 1e-12);
#endif
    }
    EXPECT_EQ(NMexStandIn::LiveArrayCount(), nLive);
}

TEST(FrameTermsEntry, IllegalMapEntriesAreReportedAfterTheParallelWork)
{
    CCall call;
    call.dMapNaN = std::numeric_limits<double>::quiet_NaN();
    call.Build();
    const NMexStandIn::CCallResult result = CallMex(1, {call.pmxX.get(), call.pmxY.get(), call.pmxParam.get()});
    ASSERT_TRUE(result.bOk) << result.sError;
    EXPECT_EQ(result.iOffThreadHostCalls, 0);
    EXPECT_EQ(result.sPrinted, "__warning: illegal flow vector at (0, 0)\n");
}

// The module keeps scratch between calls; its unload hook gives it back, and
// a call after the unload gives the same result.
TEST(FrameTermsEntry, UnloadReleasesTheKeptScratchAndTheModuleWorksAfterwards)
{
    CCall call;
    call.Build();
    const NMexStandIn::CCallResult first = CallMex(1, {call.pmxX.get(), call.pmxY.get(), call.pmxParam.get()});
    ASSERT_TRUE(first.bOk) << first.sError;
    EXPECT_TRUE(NMexStandIn::UnloadModule());
    EXPECT_FALSE(NMexStandIn::UnloadModule());  // the hook runs once per unload
    const NMexStandIn::CCallResult again = CallMex(1, {call.pmxX.get(), call.pmxY.get(), call.pmxParam.get()});
    ASSERT_TRUE(again.bOk) << again.sError;
    EXPECT_EQ(NMexStandIn::Values(again.Output()), NMexStandIn::Values(first.Output()));
    EXPECT_TRUE(NMexStandIn::UnloadModule());
}

}  // namespace
