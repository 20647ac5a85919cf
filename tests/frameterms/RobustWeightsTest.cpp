// qmv_robust_weights: the weights against the formula with hand-computed
// medians, masks, the reference frame, non-finite residuals and
// thread-count independence; the entry through the stand-in host.
#include <gtest/gtest.h>

#include "frameterms/RobustWeights.h"
#include "mex_standin.h"

#include <omp.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

namespace {

using NMexStandIn::CallMex;
using NMexStandIn::CArrayPtr;
using NMexStandIn::MakeDouble;

const char* const kUsage = "Usage: vecImgW = qmv_robust_weights(imgB, imgsRes, func_param);";

// h x w x P x N residuals; frame 0 the reference; masks all 1 unless set;
// s = 1, every frame on the reference grid; the blurred estimate flat (no
// detail to tolerate) unless set.
struct CProblem {
    int h = 6, w = 5, P = 2, iFrames = 3;
    std::vector<double> vecRes, vecMasks, vecEstimate, vecMap;
    std::vector<std::vector<double>> vecOut;
    NSysApply::COperatorArguments args;
    bool bMasks = false;

    double& Res(int i, int j, int c, int k) { return vecRes[i + j * h + (c + k * P) * h * w]; }
    double Out(int i, int j, int c, int k) const { return vecOut[k][i + j * h + c * h * w]; }

    void Build()
    {
        vecRes.assign(static_cast<std::size_t>(h) * w * P * iFrames, 0.0);
        for (std::size_t i = 0; i < vecRes.size(); ++i) vecRes[i] = 0.01 * std::sin(1.7 * double(i));
        vecMasks.assign(static_cast<std::size_t>(h) * w * P * iFrames, 1.0);
        vecEstimate.assign(static_cast<std::size_t>(h) * w * P, 0.5);
        vecMap.resize(static_cast<std::size_t>(h) * w * 2);
        for (int j = 0; j < w; ++j)
            for (int i = 0; i < h; ++i) {
                vecMap[i + j * h] = j + 1;
                vecMap[i + j * h + h * w] = i + 1;
            }
    }
    void Compute()
    {
        args.iFrames = iFrames;
        args.iScale = 1;
        args.viewX = NSysApply::CPlanarView{vecEstimate.data(), h, w, P, false};
        args.vecMaps.assign(iFrames, NSysApply::CPlanarView{vecMap.data(), h, w, 2, false});
        args.iReferenceFrame = 0;
        args.bWeighted = bMasks;
        args.vecWeights.clear();
        for (int k = 0; k < iFrames; ++k)
            args.vecWeights.push_back(
                NSysApply::CPlanarView{vecMasks.data() + static_cast<std::size_t>(k) * h * w * P, h, w, P, false});
        const NSysApply::CFrameStackView stack{vecRes.data(), h, w, P, iFrames};
        vecOut.assign(iFrames, std::vector<double>(static_cast<std::size_t>(h) * w * P, std::nan("")));
        std::vector<double*> vecData;
        for (auto& v : vecOut) vecData.push_back(v.data());
        NSysApply::ComputeRobustWeights(args, stack, vecData);
    }
};

TEST(RobustWeights, ConstantResidualsGiveTheFormulaWithTheirMedians)
{
    // Frames 1 and 2 misfit by 0.01 everywhere, frame 3 by 0.5: both medians
    // (of the pixels and of their 3 x 3 means, zero outside the frame) are
    // 0.01, which frame 3 exceeds by far.
    CProblem pr;
    pr.iFrames = 4;
    pr.Build();
    for (int k = 1; k < 4; ++k)
        for (int c = 0; c < pr.P; ++c)
            for (int j = 0; j < pr.w; ++j)
                for (int i = 0; i < pr.h; ++i) pr.Res(i, j, c, k) = k < 3 ? 0.01 : 0.5;
    pr.Compute();
    const double dDev = 3 * 1.4826 * 0.01 + DBL_EPSILON;
    const double dB = 1 - std::pow(0.01 / dDev, 2);
    const double dInterior = std::exp(-0.5 * std::pow(0.01 / dDev, 2)) * dB * dB;
    for (int c = 0; c < pr.P; ++c) EXPECT_EQ(pr.Out(2, 2, c, 0), 1.0);  // the reference: its mask
    EXPECT_NEAR(pr.Out(2, 2, 0, 1), dInterior, 1e-12);
    EXPECT_EQ(pr.Out(2, 2, 1, 2), pr.Out(2, 2, 0, 1));  // one weight for all planes and like frames
    EXPECT_GT(pr.Out(0, 0, 0, 1), dInterior);           // a corner's mean holds 4 of 9 pixels
    EXPECT_EQ(pr.Out(2, 2, 0, 3), 0.0);
}

TEST(RobustWeights, MasksWeightAndChooseAndNonFiniteResidualsGetZero)
{
    CProblem pr;
    pr.Build();
    pr.bMasks = true;
    pr.Compute();
    const double dFull = pr.Out(3, 2, 0, 1);
    const std::size_t iFrame = static_cast<std::size_t>(pr.h) * pr.w * pr.P;
    for (int c = 0; c < pr.P; ++c) pr.vecMasks[iFrame + 3 + 2 * pr.h + c * pr.h * pr.w] = 0.5;  // frame 1 (3, 2)
    pr.Compute();
    EXPECT_GT(dFull, 0.0);
    EXPECT_EQ(pr.Out(3, 2, 0, 1), 0.5 * dFull);  // the medians see the same pixels
    pr.vecMasks[iFrame + 3 + 2 * pr.h] = 0;      // plane 1 at 0: left out of the medians
    pr.Res(0, 0, 1, 2) = std::numeric_limits<double>::quiet_NaN();
    pr.Compute();
    EXPECT_EQ(pr.Out(3, 2, 0, 1), 0.0);
    EXPECT_EQ(pr.Out(0, 0, 0, 2), 0.0);
    EXPECT_EQ(pr.Out(1, 1, 0, 2), 0.0);  // its 3 x 3 mean holds the NaN too
    EXPECT_TRUE(std::isfinite(pr.Out(4, 4, 0, 2)));
    EXPECT_GT(pr.Out(4, 4, 0, 2), 0.0);
}

TEST(RobustWeights, EdgesOfTheEstimateTolerateATenthOfAPixelOfMisregistration)
{
    // Clean frames: frames 1 and 2 misfit by 0.001 but for one pixel of frame
    // 1 by 0.02, twice the median. Where the estimate is flat that is far
    // beyond three deviations; beside a step of 1 in the estimate (detail
    // 0.5 per pixel: a tenth of a pixel off misfits by 0.05), it is noise.
    CProblem pr;
    pr.P = 1;
    pr.h = 9;
    pr.w = 9;
    pr.Build();
    std::fill(pr.vecRes.begin(), pr.vecRes.end(), 0.001);
    pr.Res(4, 4, 0, 1) = 0.02;
    pr.Compute();
    EXPECT_LT(pr.Out(4, 4, 0, 1), 0.01);
    const double dAway = pr.Out(4, 2, 0, 1);
    for (int j = 5; j < pr.w; ++j)
        for (int i = 0; i < pr.h; ++i) pr.vecEstimate[i + j * pr.h] = 1.5;
    pr.Compute();
    EXPECT_GT(pr.Out(4, 4, 0, 1), 0.5);
    EXPECT_EQ(pr.Out(4, 2, 0, 1), dAway);  // no detail within 3 x 3 pixels (periodic): unchanged
    // Detail that is not a number tolerates nothing: weight 0, not NaN.
    std::fill(pr.vecEstimate.begin(), pr.vecEstimate.end(), std::nan(""));
    pr.Compute();
    EXPECT_EQ(pr.Out(4, 4, 0, 1), 0.0);
    EXPECT_EQ(pr.Out(4, 2, 0, 1), 0.0);
}

TEST(RobustWeights, SameBitsForEveryThreadCountAndMasksWhenNothingCounts)
{
    CProblem pr;
    pr.iFrames = 6;
    pr.Build();
    const int iThreads = omp_get_max_threads();
    omp_set_num_threads(1);
    pr.Compute();
    const auto vecOne = pr.vecOut;
    omp_set_num_threads(3);
    pr.Compute();
    omp_set_num_threads(iThreads);
    EXPECT_EQ(pr.vecOut, vecOne);
    pr.bMasks = true;
    std::fill(pr.vecMasks.begin(), pr.vecMasks.end(), 0.0);
    pr.Compute();
    for (const auto& v : pr.vecOut)
        for (double d : v) EXPECT_EQ(d, 0.0);
}

// The entry: 8 x 6 x 1 estimate size, three frames of 4 x 3 residuals, s = 2.
struct CCall {
    CArrayPtr pmxX, pmxRes, pmxParam;

    void Build()
    {
        pmxX = MakeDouble({8, 6});
        std::vector<double> vRes(12 * 3);
        for (std::size_t i = 0; i < vRes.size(); ++i) vRes[i] = 0.01 * std::sin(double(i));
        pmxRes = MakeDouble({4, 3, 1, 3}, vRes);
        std::vector<CArrayPtr> vKers, vWeights, vMaps;
        for (int k = 0; k < 3; ++k) {
            vKers.push_back(MakeDouble({1, 1}, {1.0}));
            vWeights.push_back(MakeDouble({0, 0}));
            std::vector<double> vMap(8 * 6 * 2);
            for (int x = 0; x < 6; ++x)
                for (int y = 0; y < 8; ++y) {
                    vMap[y + x * 8] = x + 1;
                    vMap[y + x * 8 + 48] = y + 1;
                }
            vMaps.push_back(MakeDouble({8, 6, 2}, vMap));
        }
        pmxParam = NMexStandIn::MakeStruct(
            "idx0", NMexStandIn::MakeScalar(1).release(), "numFrames", NMexStandIn::MakeScalar(3).release(),
            "scaleFactor", NMexStandIn::MakeScalar(2).release(), "vecKers",
            NMexStandIn::MakeCellFrom(std::move(vKers)).release(), "imgWs",
            MakeDouble({8, 6}, std::vector<double>(48, 1.0)).release(), "vecImgW",
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

TEST(RobustWeightsEntry, UsageFrameStackContractAndACellOfWeights)
{
    CCall call;
    call.Build();
    const mxArray* pX = call.pmxX.get();
    const mxArray* pR = call.pmxRes.get();
    const mxArray* pP = call.pmxParam.get();
    EXPECT_EQ(ErrorOf(2, {pX, pR, pP}), kUsage);
    EXPECT_EQ(ErrorOf(1, {pX, pR}), kUsage);
    EXPECT_EQ(ErrorOf(1, {pX, pX, pP}),
              "Error: imgsY should be a real double (H/s)x(W/s)xPxN stack for an HxWxP imgI and N = "
              "func_param.numFrames.");
    EXPECT_EQ(ErrorOf(1, {pX, pR, pX}), "Error: func_param should be a struct.");
    const size_t nLive = NMexStandIn::LiveArrayCount();
    {
        const NMexStandIn::CCallResult result = CallMex(1, {pX, pR, pP});
        ASSERT_TRUE(result.bOk) << result.sError;
        EXPECT_TRUE(result.sPrinted.empty());
        const mxArray* pmxCell = result.Output();
        ASSERT_TRUE(mxIsCell(pmxCell));
        ASSERT_EQ(mxGetNumberOfElements(pmxCell), 3u);
        EXPECT_EQ(NMexStandIn::Values(mxGetCell(pmxCell, 0)), std::vector<double>(12, 1.0));
        for (double d : NMexStandIn::Values(mxGetCell(pmxCell, 1))) EXPECT_TRUE(d >= 0 && d <= 1);
    }
    EXPECT_EQ(NMexStandIn::LiveArrayCount(), nLive);
}

}  // namespace
