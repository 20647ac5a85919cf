// qmv_rounding_corrections: the computation on a ramp (bilinear reads are
// exact there, so the correction is the rounding offset times the slope),
// clamping, non-finite map entries, thread-count independence; the entry
// through the stand-in host with its usage, the operator's messages and no
// host call off the caller's thread.
#include <gtest/gtest.h>

#include "frameterms/RoundingCorrections.h"
#include "mex_standin.h"

#include <omp.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using NMexStandIn::CallMex;
using NMexStandIn::CArrayPtr;
using NMexStandIn::MakeDouble;

const char* const kUsage = "Usage: imgsC = qmv_rounding_corrections(imgI, func_param[, imgsY]);";
const char* const kFramesError =
    "Error: imgsY should be a real double (H/s)x(W/s)xPxN stack or a cell of N real double (H/s)x(W/s)xP frames, "
    "for an HxWxP imgI and N = func_param.numFrames.";

// H x W x 2 image: plane 0 the ramp 0.5 x + 3 y (0-based), plane 1 its negative;
// N frames at s = 2, frame k's map shifted by (0.3 k, -0.2 k) pixels.
struct CProblem {
    int iH = 8, iW = 6, iFrames = 3;
    std::vector<double> vecImg, vecOut;
    std::vector<std::vector<double>> vecMaps;
    NSysApply::COperatorArguments args;

    void Build(int iReference)
    {
        vecImg.resize(static_cast<std::size_t>(iH) * iW * 2);
        for (int x = 0; x < iW; ++x)
            for (int y = 0; y < iH; ++y) {
                vecImg[y + x * iH] = 0.5 * x + 3.0 * y;
                vecImg[y + x * iH + iH * iW] = -(0.5 * x + 3.0 * y);
            }
        vecMaps.assign(iFrames, std::vector<double>(static_cast<std::size_t>(iH) * iW * 2));
        for (int k = 0; k < iFrames; ++k)
            for (int x = 0; x < iW; ++x)
                for (int y = 0; y < iH; ++y) {
                    vecMaps[k][y + x * iH] = x + 1 + 0.3 * k;
                    vecMaps[k][y + x * iH + iH * iW] = y + 1 - 0.2 * k;
                }
        args.viewX = NSysApply::CPlanarView{vecImg.data(), iH, iW, 2, false};
        args.iFrames = iFrames;
        args.iScale = 2;
        args.iReferenceFrame = iReference;
        args.vecMaps.clear();
        for (int k = 0; k < iFrames; ++k)
            args.vecMaps.push_back(NSysApply::CPlanarView{vecMaps[k].data(), iH, iW, 2, false});
        vecOut.assign(static_cast<std::size_t>(iH / 2) * (iW / 2) * 2 * iFrames, std::nan(""));
    }
    void Compute() { NSysApply::ComputeRoundingCorrections(args, vecOut.data()); }
    double Out(int i, int j, int c, int k) const
    {
        return vecOut[i + j * (iH / 2) + (c + 2 * k) * (iH / 2) * (iW / 2)];
    }
};

TEST(RoundingCorrections, OffsetTimesSlopeOnARampClampedAtTheBorder)
{
    CProblem pr;
    pr.Build(0);
    pr.Compute();
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 4; ++i) {
            for (int c = 0; c < 2; ++c) EXPECT_EQ(pr.Out(i, j, c, 0), 0.0);  // the reference frame
            // Frame 1: x + 0.3 rounds down (0.3 * 0.5), y - 0.2 rounds up (-0.2 * 3),
            // except row 1, which clamps to the image (no offset in y).
            const double dFrame1 = 0.15 + (i == 0 ? 0.0 : -0.6);
            EXPECT_NEAR(pr.Out(i, j, 0, 1), dFrame1, 1e-12) << i << "," << j;
            EXPECT_NEAR(pr.Out(i, j, 1, 1), -dFrame1, 1e-12);
            // Frame 2: x + 0.6 rounds up (-0.4 * 0.5), y - 0.4 rounds up (-0.4 * 3).
            const double dFrame2 = -0.2 + (i == 0 ? 0.0 : -1.2);
            EXPECT_NEAR(pr.Out(i, j, 0, 2), dFrame2, 1e-12) << i << "," << j;
        }
}

TEST(RoundingCorrections, NonFiniteEntriesGiveZeroAndNoReferenceMeansAllFrames)
{
    CProblem pr;
    pr.Build(-1);
    pr.vecMaps[0][2 + 2 * pr.iH] = std::numeric_limits<double>::infinity();  // sample (1, 1) of frame 0
    pr.vecMaps[2][pr.iH * pr.iW] = std::nan("");                             // sample (0, 0) of frame 2, y
    pr.Compute();
    EXPECT_EQ(pr.Out(1, 1, 0, 0), 0.0);
    EXPECT_EQ(pr.Out(1, 1, 1, 0), 0.0);
    EXPECT_EQ(pr.Out(0, 0, 0, 2), 0.0);
    EXPECT_NEAR(pr.Out(1, 1, 0, 1), -0.45, 1e-12);  // frame 1 corrected although it is frame 1 of 3
    for (double v : pr.vecOut) EXPECT_TRUE(std::isfinite(v));
}

TEST(RoundingCorrections, SameBitsForEveryThreadCount)
{
    CProblem pr;
    pr.iFrames = 7;
    pr.Build(2);
    for (auto& map : pr.vecMaps)
        for (std::size_t i = 0; i < map.size(); ++i) map[i] += 0.37 * std::sin(0.7 * double(i));
    const int iThreads = omp_get_max_threads();
    omp_set_num_threads(1);
    pr.Compute();
    const std::vector<double> vecOne = pr.vecOut;
    omp_set_num_threads(4);
    pr.Compute();
    omp_set_num_threads(iThreads);
    EXPECT_EQ(pr.vecOut, vecOne);
}

// The entry: a 8 x 6 x 2 image, two frames, s = 2.
struct CCall {
    CArrayPtr pmxX, pmxParam;

    void Build()
    {
        pmxX =
            NMexStandIn::MakeDoubleFrom(8, 6, 2, [](int y, int x, int c) { return (c ? -1.0 : 1.0) * (x + 3.0 * y); });
        std::vector<CArrayPtr> vKers, vWeights, vMaps;
        for (int k = 0; k < 2; ++k) {
            vKers.push_back(MakeDouble({1, 1}, {1.0}));
            vWeights.push_back(MakeDouble({4, 3, 2}, std::vector<double>(24, 1.0)));
            std::vector<double> vMap(8 * 6 * 2);
            for (int x = 0; x < 6; ++x)
                for (int y = 0; y < 8; ++y) {
                    vMap[y + x * 8] = x + 1 + 0.25;
                    vMap[y + x * 8 + 48] = y + 1;
                }
            vMaps.push_back(MakeDouble({8, 6, 2}, vMap));
        }
        pmxParam = NMexStandIn::MakeStruct(
            "idx0", NMexStandIn::MakeScalar(1).release(), "numFrames", NMexStandIn::MakeScalar(2).release(),
            "scaleFactor", NMexStandIn::MakeScalar(2).release(), "vecKers",
            NMexStandIn::MakeCellFrom(std::move(vKers)).release(), "imgWs",
            MakeDouble({8, 6, 2}, std::vector<double>(96, 1.0)).release(), "vecImgW",
            NMexStandIn::MakeCellFrom(std::move(vWeights)).release(), "vecMapB",
            NMexStandIn::MakeCellFrom(std::move(vMaps)).release(), "dataTermScale",
            NMexStandIn::MakeScalar(1).release(), "eta", NMexStandIn::MakeScalar(0).release());
    }
};

std::string ErrorOf(int nlhs, const std::vector<const mxArray*>& vArgs)
{
    const NMexStandIn::CCallResult result = CallMex(nlhs, vArgs);
    EXPECT_FALSE(result.bEscaped) << result.sEscaped;
    EXPECT_EQ(result.iOffThreadHostCalls, 0);
    return result.bOk ? std::string("<no error>") : result.sError;
}

TEST(RoundingCorrectionsEntry, UsageThenTheOperatorContract)
{
    CCall call;
    call.Build();
    const mxArray* pX = call.pmxX.get();
    const mxArray* pP = call.pmxParam.get();
    EXPECT_EQ(ErrorOf(2, {pX, pP}), kUsage);
    EXPECT_EQ(ErrorOf(1, {pX}), kUsage);
    EXPECT_EQ(ErrorOf(1, {pX, pP, pP, pP}), kUsage);
    EXPECT_EQ(ErrorOf(1, {}), kUsage);
    EXPECT_EQ(ErrorOf(0, {pX, pP}), "<no error>");  // the result may go to ans
    CArrayPtr pmxSingle = NMexStandIn::MakeNumeric({8, 6, 2}, mxSINGLE_CLASS);
    CArrayPtr pmxOdd = MakeDouble({10, 6, 2});
    EXPECT_EQ(ErrorOf(1, {pmxSingle.get(), pP}), "Error: imgI should be real and double.");
    EXPECT_EQ(ErrorOf(1, {pX, pX}), "Error: func_param should be a struct.");
    EXPECT_EQ(ErrorOf(1, {pmxOdd.get(), pP}), "Error: func_param.imgWs should have the size and channels of imgI.");
}

TEST(RoundingCorrectionsEntry, ResultShapeAndValuesNothingLeaked)
{
    CCall call;
    call.Build();
    const size_t nLive = NMexStandIn::LiveArrayCount();
    {
        const NMexStandIn::CCallResult result = CallMex(1, {call.pmxX.get(), call.pmxParam.get()});
        ASSERT_TRUE(result.bOk) << result.sError;
        EXPECT_EQ(result.iOffThreadHostCalls, 0);
        EXPECT_TRUE(result.sPrinted.empty());
        EXPECT_EQ(NMexStandIn::Dims(result.Output()), (std::vector<size_t>{4, 3, 2, 2}));
        const std::vector<double> vOut = NMexStandIn::Values(result.Output());
        for (size_t i = 0; i < 24; ++i) EXPECT_EQ(vOut[i], 0.0);  // the reference frame
        for (size_t i = 24; i < 36; ++i) EXPECT_NEAR(vOut[i], 0.25, 1e-12);
        for (size_t i = 36; i < 48; ++i) EXPECT_NEAR(vOut[i], -0.25, 1e-12);
    }
    EXPECT_EQ(NMexStandIn::LiveArrayCount(), nLive);
}

// With the frames (a stack or a cell of frames), the result is the frames
// minus their corrections, bit for bit.
TEST(RoundingCorrectionsEntry, FramesMinusCorrectionsFromAStackOrACell)
{
    CCall call;
    call.Build();
    const mxArray* pX = call.pmxX.get();
    const mxArray* pP = call.pmxParam.get();
    std::vector<double> vY(48);
    for (size_t i = 0; i < vY.size(); ++i) vY[i] = 0.1 * double(i) - 1.7;
    CArrayPtr pmxStack = MakeDouble({4, 3, 2, 2}, vY);
    std::vector<CArrayPtr> vFrames;
    vFrames.push_back(MakeDouble({4, 3, 2}, std::vector<double>(vY.begin(), vY.begin() + 24)));
    vFrames.push_back(MakeDouble({4, 3, 2}, std::vector<double>(vY.begin() + 24, vY.end())));
    CArrayPtr pmxCell = NMexStandIn::MakeCellFrom(std::move(vFrames));
    const NMexStandIn::CCallResult corrections = CallMex(1, {pX, pP});
    ASSERT_TRUE(corrections.bOk) << corrections.sError;
    const std::vector<double> vC = NMexStandIn::Values(corrections.Output());
    for (const mxArray* pY :
         {static_cast<const mxArray*>(pmxStack.get()), static_cast<const mxArray*>(pmxCell.get())}) {
        const NMexStandIn::CCallResult result = CallMex(1, {pX, pP, pY});
        ASSERT_TRUE(result.bOk) << result.sError;
        EXPECT_EQ(NMexStandIn::Dims(result.Output()), (std::vector<size_t>{4, 3, 2, 2}));
        const std::vector<double> vOut = NMexStandIn::Values(result.Output());
        for (size_t i = 0; i < vOut.size(); ++i) EXPECT_EQ(vOut[i], vY[i] - vC[i]) << i;
    }
    // Frames of another size, count or class, after the operator's own messages.
    CArrayPtr pmxWrong = MakeDouble({4, 3, 2, 3});
    CArrayPtr pmxSingle = NMexStandIn::MakeNumeric({4, 3, 2, 2}, mxSINGLE_CLASS);
    std::vector<CArrayPtr> vShort;
    vShort.push_back(MakeDouble({4, 3, 2}));
    CArrayPtr pmxShortCell = NMexStandIn::MakeCellFrom(std::move(vShort));
    std::vector<CArrayPtr> vOdd;
    vOdd.push_back(MakeDouble({4, 3, 2}));
    vOdd.push_back(MakeDouble({4, 3}));
    CArrayPtr pmxOddCell = NMexStandIn::MakeCellFrom(std::move(vOdd));
    for (const CArrayPtr* pY : {&pmxWrong, &pmxSingle, &pmxShortCell, &pmxOddCell})
        EXPECT_EQ(ErrorOf(1, {pX, pP, pY->get()}), kFramesError);
    EXPECT_EQ(ErrorOf(1, {pX, pX, pmxWrong.get()}), "Error: func_param should be a struct.");
}

}  // namespace
