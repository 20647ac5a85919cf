// qmv_anchor_weights: the tolerance against the formula with a hand-computed
// median, the sharing of repeats in a changed scene (and none for noise or
// samples between the reference's), the blur radius, thread-count
// independence; the entry through the stand-in host.
#include <gtest/gtest.h>

#include "frameterms/AnchorWeights.h"
#include "mex_standin.h"

#include <omp.h>

#include <cfloat>
#include <cmath>
#include <vector>

namespace {

using NMexStandIn::CallMex;
using NMexStandIn::CArrayPtr;
using NMexStandIn::MakeDouble;

// h x w x P residuals of N frames at s = 1, frame 0 the reference, a 1 x 1
// kernel (radius 0.5); the estimate B is h x w x P, the maps shift the grid.
struct CProblem {
    int h = 6, w = 5, P = 2, iFrames = 3;
    std::vector<double> vecRes, vecB, vecMaps, vecKernel{1.0};
    std::vector<std::vector<double>> vecOut;
    NSysApply::COperatorArguments args;

    std::size_t Plane() const { return static_cast<std::size_t>(h) * w; }
    double& Res(int i, int j, int c, int k) { return vecRes[i + j * h + (c + k * P) * Plane()]; }
    double Out(int i, int j, int c, int k) const { return vecOut[k][i + j * h + c * Plane()]; }

    void Build(double dShift)
    {
        vecRes.assign(Plane() * P * iFrames, 0.0);
        vecB.assign(Plane() * P, 0.0);
        vecMaps.assign(Plane() * 2 * iFrames, 0.0);
        for (int k = 0; k < iFrames; ++k)
            for (int j = 0; j < w; ++j)
                for (int i = 0; i < h; ++i) {
                    vecMaps[i + j * h + 2 * k * Plane()] = j + 1 + dShift;
                    vecMaps[i + j * h + (2 * k + 1) * Plane()] = i + 1;
                }
    }
    void Compute()
    {
        args.viewX = NSysApply::CPlanarView{vecB.data(), h, w, P, false};
        args.iFrames = iFrames;
        args.iScale = 1;
        args.iReferenceFrame = 0;
        args.bWeighted = false;
        args.vecWeights.assign(iFrames, NSysApply::CPlanarView{});
        args.vecKernels.assign(iFrames, cv::Mat(1, 1, CV_64F, vecKernel.data()));
        args.vecMaps.clear();
        for (int k = 0; k < iFrames; ++k)
            args.vecMaps.push_back(NSysApply::CPlanarView{vecMaps.data() + 2 * k * Plane(), h, w, 2, false});
        const NSysApply::CFrameStackView stack{vecRes.data(), h, w, P, iFrames};
        vecOut.assign(iFrames, std::vector<double>(Plane() * P, std::nan("")));
        std::vector<double*> vecData;
        for (auto& v : vecOut) vecData.push_back(v.data());
        NSysApply::ComputeAnchorWeights(args, stack, vecData);
    }
};

TEST(AnchorWeights, ConstantMisfitsGiveTheBiweightAtTheirDeviation)
{
    // Half a sample off the reference grid (no repeats): frames 1 and 2
    // misfit by 0.01, frame 3 by 0.5. The 3 x 3 means (zero outside) give
    // 0.01 inside, less at the border; the median of all 90 is 0.01.
    CProblem pr;
    pr.iFrames = 4;
    pr.Build(0.5);
    for (int k = 1; k < 4; ++k)
        for (int c = 0; c < pr.P; ++c)
            for (int j = 0; j < pr.w; ++j)
                for (int i = 0; i < pr.h; ++i) pr.Res(i, j, c, k) = k < 3 ? 0.01 : 0.5;
    pr.Compute();
    const double dRatio = 0.01 / (1.4826 * 0.01 + DBL_EPSILON);
    const double dB = 1 - dRatio * dRatio;
    for (int c = 0; c < pr.P; ++c) EXPECT_EQ(pr.Out(2, 2, c, 0), 1.0);  // the reference: its mask
    EXPECT_NEAR(pr.Out(2, 2, 0, 1), dB * dB, 1e-12);
    EXPECT_EQ(pr.Out(2, 2, 1, 2), pr.Out(2, 2, 0, 1));
    EXPECT_GT(pr.Out(0, 0, 0, 1), dB * dB);  // a corner's mean holds 4 of 9 pixels
    EXPECT_EQ(pr.Out(2, 2, 0, 3), 0.0);
}

TEST(AnchorWeights, RepeatsOfAChangedSceneShareOneFramesWeight)
{
    // Frames 1 and 2 on the reference grid with the same smooth (coherent)
    // misfit, and steep detail in B so that the tolerance keeps most of it:
    // together they count as one frame.
    CProblem pr;
    pr.h = 12;
    pr.w = 10;
    pr.Build(0.0);
    for (int c = 0; c < pr.P; ++c)
        for (int j = 0; j < pr.w; ++j)
            for (int i = 0; i < pr.h; ++i) {
                pr.vecB[i + j * pr.h + c * pr.Plane()] = 0.3 * i;
                for (int k = 1; k < 3; ++k) pr.Res(i, j, c, k) = 0.002 * std::sin(0.3 * i) * std::cos(0.2 * j);
            }
    pr.Compute();
    EXPECT_NEAR(pr.Out(6, 5, 0, 1), 0.5, 1e-12);
    EXPECT_EQ(pr.Out(6, 5, 0, 1), pr.Out(6, 5, 0, 2));
    // Noise instead (independent from pixel to pixel): no sharing.
    for (int c = 0; c < pr.P; ++c)
        for (int j = 0; j < pr.w; ++j)
            for (int i = 0; i < pr.h; ++i)
                for (int k = 1; k < 3; ++k) pr.Res(i, j, c, k) = 0.002 * (((i + j + c) % 2) ? 1 : -1);
    pr.Compute();
    EXPECT_GT(pr.Out(6, 5, 0, 1), 0.9);
}

TEST(AnchorWeights, BlurRadiusIsTheKernelsSpreadAtLeastHalfAPixel)
{
    const std::vector<double> vecBox(9, 1.0), vecRow{1.0, 2.0, 1.0};
    EXPECT_EQ(NSysApply::BlurRadius(std::vector<double>{1.0}.data(), 1, 1), 0.5);
    EXPECT_NEAR(NSysApply::BlurRadius(vecBox.data(), 3, 3), std::sqrt(12.0 / 9), 1e-15);
    EXPECT_NEAR(NSysApply::BlurRadius(vecRow.data(), 1, 3), std::sqrt(0.5), 1e-15);
}

TEST(AnchorWeights, SameBitsForEveryThreadCount)
{
    CProblem pr;
    pr.iFrames = 6;
    pr.Build(0.3);
    for (std::size_t i = 0; i < pr.vecRes.size(); ++i) pr.vecRes[i] = 0.01 * std::sin(1.7 * double(i));
    for (std::size_t i = 0; i < pr.vecB.size(); ++i) pr.vecB[i] = 0.5 + 0.4 * std::sin(0.9 * double(i));
    const int iThreads = omp_get_max_threads();
    omp_set_num_threads(1);
    pr.Compute();
    const auto vecOne = pr.vecOut;
    omp_set_num_threads(3);
    pr.Compute();
    omp_set_num_threads(iThreads);
    EXPECT_EQ(pr.vecOut, vecOne);
}

// The entry: 8 x 6 x 1 estimate size, three frames of 4 x 3 residuals, s = 2.
TEST(AnchorWeightsEntry, UsageFrameStackContractAndACellOfWeights)
{
    const char* const kUsage = "Usage: vecImgW = qmv_anchor_weights(imgB, imgsRes, func_param);";
    CArrayPtr pmxB = MakeDouble({8, 6}, std::vector<double>(48, 0.5));
    std::vector<double> vRes(12 * 3);
    for (std::size_t i = 0; i < vRes.size(); ++i) vRes[i] = 0.01 * std::sin(double(i));
    CArrayPtr pmxRes = MakeDouble({4, 3, 1, 3}, vRes);
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
    CArrayPtr pmxParam = NMexStandIn::MakeStruct(
        "idx0", NMexStandIn::MakeScalar(1).release(), "numFrames", NMexStandIn::MakeScalar(3).release(), "scaleFactor",
        NMexStandIn::MakeScalar(2).release(), "vecKers", NMexStandIn::MakeCellFrom(std::move(vKers)).release(), "imgWs",
        MakeDouble({8, 6}, std::vector<double>(48, 1.0)).release(), "vecImgW",
        NMexStandIn::MakeCellFrom(std::move(vWeights)).release(), "vecMapB",
        NMexStandIn::MakeCellFrom(std::move(vMaps)).release(), "dataTermScale", NMexStandIn::MakeScalar(1).release(),
        "eta", NMexStandIn::MakeScalar(0).release());
    const mxArray* pB = pmxB.get();
    const mxArray* pR = pmxRes.get();
    const mxArray* pP = pmxParam.get();
    auto fnError = [](int nlhs, const std::vector<const mxArray*>& vArgs) {
        const NMexStandIn::CCallResult result = CallMex(nlhs, vArgs);
        EXPECT_FALSE(result.bEscaped) << result.sEscaped;
        EXPECT_EQ(result.iOffThreadHostCalls, 0);
        return result.bOk ? std::string("<no error>") : result.sError;
    };
    EXPECT_EQ(fnError(2, {pB, pR, pP}), kUsage);
    EXPECT_EQ(fnError(1, {pB, pR}), kUsage);
    EXPECT_EQ(fnError(1, {pB, pB, pP}),
              "Error: imgsY should be a real double (H/s)x(W/s)xPxN stack for an HxWxP imgI and N = "
              "func_param.numFrames.");
    EXPECT_EQ(fnError(1, {pB, pR, pB}), "Error: func_param should be a struct.");
    const size_t nLive = NMexStandIn::LiveArrayCount();
    {
        const NMexStandIn::CCallResult result = CallMex(1, {pB, pR, pP});
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
