// qmv_rigid_motion: a shifted textured scene whose flow is noisy gets the
// exact shift back; a flow that is not rigid, the reference frame and a map
// with non-finite entries keep their maps; a moving patch keeps its flow;
// thread-count independence; the entry through the stand-in host (usage,
// the frame-stack message, a 1 x N cell of maps, nothing leaked).
#include <gtest/gtest.h>

#include "frameterms/BilinearReader.h"
#include "frameterms/RigidMotion.h"
#include "mex_standin.h"

#include <omp.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using NMexStandIn::CallMex;
using NMexStandIn::CArrayPtr;
using NMexStandIn::MakeDouble;

const char* const kUsage = "Usage: vecMapB = qmv_rigid_motion(imgB, imgsY, func_param);";

// The image read bilinearly at a 1-based position, clamped to it.
double ReadAt(const NSysApply::CBilinearReader& reader, const double* pImg, double dX, double dY)
{
    reader.Clamp(dX, dY);
    return reader.Read(pImg, dX, dY);
}

double Texture(double x, double y)
{
    return 0.5 + 0.2 * std::sin(0.45 * x) * std::cos(0.35 * y) + 0.15 * std::sin(0.23 * (x + 2 * y));
}

// A 64 x 64 grey estimate at s = 2; frame k samples it (bilinearly) moved by
// (0.37 k, -0.21 k) pixels; its map holds that motion plus a bias of
// (0.15, -0.1) and a flow error of up to 0.3 pixel.
struct CProblem {
    int iH = 64, iW = 64, iS = 2, iFrames = 3;
    std::vector<double> vecImg, vecFrames;
    std::vector<std::vector<double>> vecMaps, vecOut;
    NSysApply::COperatorArguments args;
    NSysApply::CFrameStackView stack;

    double ShiftX(int k) const { return 0.37 * k; }
    double ShiftY(int k) const { return -0.21 * k; }

    void Build()
    {
        const int h = iH / iS, w = iW / iS;
        vecImg.resize(static_cast<std::size_t>(iH) * iW);
        for (int x = 0; x < iW; ++x)
            for (int y = 0; y < iH; ++y) vecImg[y + x * iH] = Texture(x, y);
        const NSysApply::CBilinearReader reader(iH, iW);
        vecFrames.assign(static_cast<std::size_t>(h) * w * iFrames, 0.0);
        vecMaps.assign(iFrames, std::vector<double>(static_cast<std::size_t>(iH) * iW * 2));
        for (int k = 0; k < iFrames; ++k) {
            for (int x = 0; x < iW; ++x)
                for (int y = 0; y < iH; ++y) {
                    const double dNoise = 0.3 * std::sin(12.9898 * x + 78.233 * y + k);
                    vecMaps[k][y + x * iH] = x + 1 + ShiftX(k) + 0.15 + dNoise;
                    vecMaps[k][y + x * iH + iH * iW] = y + 1 + ShiftY(k) - 0.1 - dNoise;
                }
            for (int j = 0; j < w; ++j)
                for (int i = 0; i < h; ++i)
                    vecFrames[i + j * h + k * h * w] =
                        ReadAt(reader, vecImg.data(), 1.0 + j * iS + ShiftX(k), 1.0 + i * iS + ShiftY(k));
        }
    }
    void Compute()
    {
        args.viewX = NSysApply::CPlanarView{vecImg.data(), iH, iW, 1, false};
        args.iFrames = iFrames;
        args.iScale = iS;
        args.iReferenceFrame = 0;
        args.vecMaps.clear();
        for (int k = 0; k < iFrames; ++k)
            args.vecMaps.push_back(NSysApply::CPlanarView{vecMaps[k].data(), iH, iW, 2, false});
        stack = NSysApply::CFrameStackView{vecFrames.data(), iH / iS, iW / iS, 1, iFrames};
        vecOut.assign(iFrames, std::vector<double>(vecMaps[0].size(), std::nan("")));
        std::vector<double*> vecData;
        for (int k = 0; k < iFrames; ++k) vecData.push_back(k == 0 ? nullptr : vecOut[k].data());
        NSysApply::ComputeRigidMotion(args, stack, vecData);
    }
};

TEST(RigidMotion, NoisyFlowOfAShiftedSceneGivesTheShift)
{
    CProblem pr;
    pr.Build();
    pr.Compute();
    for (double v : pr.vecOut[0]) ASSERT_TRUE(std::isnan(v));  // the reference frame is skipped
    for (int k = 1; k < pr.iFrames; ++k) {
        double dWorst = 0;
        for (int x = 4; x < pr.iW - 4; ++x)
            for (int y = 4; y < pr.iH - 4; ++y) {
                dWorst = std::max(dWorst, std::fabs(pr.vecOut[k][y + x * pr.iH] - (x + 1 + pr.ShiftX(k))));
                dWorst =
                    std::max(dWorst, std::fabs(pr.vecOut[k][y + x * pr.iH + pr.iH * pr.iW] - (y + 1 + pr.ShiftY(k))));
            }
        EXPECT_LT(dWorst, 0.01) << "frame " << k;  // the flow alone is up to 0.45 off
    }
}

TEST(RigidMotion, FlowThatIsNotRigidAndNonFiniteMapsAreKept)
{
    CProblem pr;
    pr.Build();
    for (std::size_t i = 0; i < pr.vecMaps[1].size(); ++i) pr.vecMaps[1][i] += 6 * std::sin(0.91 * double(i));
    pr.vecMaps[2][100] = std::numeric_limits<double>::quiet_NaN();
    pr.Compute();
    EXPECT_EQ(pr.vecOut[1], pr.vecMaps[1]);
    for (std::size_t i = 0; i < pr.vecOut[2].size(); ++i)
        if (i != 100) {
            EXPECT_EQ(pr.vecOut[2][i], pr.vecMaps[2][i]);
        }
    EXPECT_TRUE(std::isnan(pr.vecOut[2][100]));
}

TEST(RigidMotion, APatchThatMovesOnItsOwnKeepsItsFlow)
{
    CProblem pr;
    pr.Build();
    // In frame 1 a 12 x 12 patch of samples shows the scene 3 pixels further
    // right, and the flow says so.
    const int h = pr.iH / pr.iS;
    const NSysApply::CBilinearReader reader(pr.iH, pr.iW);
    for (int j = 8; j < 20; ++j)
        for (int i = 8; i < 20; ++i) {
            pr.vecFrames[i + j * h + h * h] = ReadAt(reader, pr.vecImg.data(), 1.0 + j * 2 + 3, 1.0 + i * 2);
            for (int x = 2 * j; x < 2 * j + 2; ++x)
                for (int y = 2 * i; y < 2 * i + 2; ++y) {
                    pr.vecMaps[1][y + x * pr.iH] = x + 1 + 3;
                    pr.vecMaps[1][y + x * pr.iH + pr.iH * pr.iW] = y + 1;
                }
        }
    pr.Compute();
    const std::size_t iInside = 28 + 28 * pr.iH, iOutside = 50 + 50 * pr.iH;
    EXPECT_EQ(pr.vecOut[1][iInside], pr.vecMaps[1][iInside]);
    EXPECT_NEAR(pr.vecOut[1][iOutside], 51 + pr.ShiftX(1), 0.02);
}

TEST(RigidMotion, SameBitsForEveryThreadCount)
{
    CProblem pr;
    pr.iFrames = 5;
    pr.Build();
    const int iThreads = omp_get_max_threads();
    omp_set_num_threads(1);
    pr.Compute();
    const auto vecOne = pr.vecOut;
    omp_set_num_threads(3);
    pr.Compute();
    omp_set_num_threads(iThreads);
    for (int k = 1; k < pr.iFrames; ++k) EXPECT_EQ(pr.vecOut[k], vecOne[k]);
}

// The entry: the problem's estimate, frames and maps, as a caller passes them.
struct CCall {
    CProblem pr;
    CArrayPtr pmxB, pmxY, pmxParam;

    void Build()
    {
        pr.Build();
        const int h = pr.iH / pr.iS;
        pmxB = MakeDouble({64, 64}, pr.vecImg);
        pmxY = MakeDouble({static_cast<size_t>(h), static_cast<size_t>(h), 1, 3}, pr.vecFrames);
        std::vector<CArrayPtr> vKers, vWeights, vMaps;
        for (int k = 0; k < 3; ++k) {
            vKers.push_back(MakeDouble({1, 1}, {1.0}));
            vWeights.push_back(MakeDouble({0, 0}));
            vMaps.push_back(MakeDouble({64, 64, 2}, pr.vecMaps[k]));
        }
        pmxParam = NMexStandIn::MakeStruct(
            "idx0", NMexStandIn::MakeScalar(1).release(), "numFrames", NMexStandIn::MakeScalar(3).release(),
            "scaleFactor", NMexStandIn::MakeScalar(2).release(), "vecKers",
            NMexStandIn::MakeCellFrom(std::move(vKers)).release(), "imgWs",
            MakeDouble({64, 64}, std::vector<double>(64 * 64, 1.0)).release(), "vecImgW",
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

TEST(RigidMotionEntry, UsageFrameStackAndTheOperatorContract)
{
    CCall call;
    call.Build();
    const mxArray* pB = call.pmxB.get();
    const mxArray* pY = call.pmxY.get();
    const mxArray* pP = call.pmxParam.get();
    EXPECT_EQ(ErrorOf(2, {pB, pY, pP}), kUsage);
    EXPECT_EQ(ErrorOf(1, {pB, pY}), kUsage);
    EXPECT_EQ(ErrorOf(0, {pB, pY, pP}), "<no error>");  // the result may go to ans
    EXPECT_EQ(ErrorOf(1, {pB, pB, pP}),
              "Error: imgsY should be a real double (H/s)x(W/s)xPxN stack for an HxWxP imgI and N = "
              "func_param.numFrames.");
    EXPECT_EQ(ErrorOf(1, {pB, pY, pB}), "Error: func_param should be a struct.");
}

TEST(RigidMotionEntry, CellOfMapsNothingLeaked)
{
    CCall call;
    call.Build();
    const size_t nLive = NMexStandIn::LiveArrayCount();
    {
        const NMexStandIn::CCallResult result = CallMex(1, {call.pmxB.get(), call.pmxY.get(), call.pmxParam.get()});
        ASSERT_TRUE(result.bOk) << result.sError;
        EXPECT_TRUE(result.sPrinted.empty());
        const mxArray* pmxCell = result.Output();
        ASSERT_TRUE(mxIsCell(pmxCell));
        ASSERT_EQ(mxGetNumberOfElements(pmxCell), 3u);
        EXPECT_EQ(NMexStandIn::Values(mxGetCell(pmxCell, 0)), call.pr.vecMaps[0]);
        EXPECT_EQ(NMexStandIn::Dims(mxGetCell(pmxCell, 2)), (std::vector<size_t>{64, 64, 2}));
        EXPECT_NEAR(NMexStandIn::Values(mxGetCell(pmxCell, 2))[10 + 20 * 64], 21 + call.pr.ShiftX(2), 0.01);
    }
    EXPECT_EQ(NMexStandIn::LiveArrayCount(), nLive);
}

}  // namespace
