// qmv_system_apply through the stand-in host: every refusal in its order of
// checking, the result against the computation it wraps, shapes and warnings.
#include "SysApplyTestUtil.h"

#include "qmv_system_apply/SystemOperator.h"
#include "qmv_system_apply/conversions/MatConversion.h"
#include "tests/reference/ReferenceSystemOperator.h"

#include "mex_standin.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>

namespace {

using namespace NMexStandIn;
using namespace NSysApplyTest;

const int H = 8, W = 6, P = 3, N = 3, S = 2;

std::vector<double> Filled(size_t n, double v) { return std::vector<double>(n, v); }

// Map of frame k: the 1-based grid shifted by k / 2 pixels (plane 1 x, plane 2 y).
CArrayPtr ShiftedMap(int k, int iPlanes = 2)
{
    std::vector<double> v(H * W * iPlanes);
    for (int x = 0; x < W; ++x)
        for (int y = 0; y < H; ++y) {
            v[y + x * H] = x + 1 + 0.5 * k;
            v[H * W + y + x * H] = y + 1 - 0.5 * k;
        }
    return MakeDouble({H, W, static_cast<size_t>(iPlanes)}, v);
}

// The arguments of one call; faults edit it before Call() builds the arrays.
struct CCall {
    int nlhs = 1;
    bool bParamNotStruct = false;
    CArrayPtr imgI;
    std::map<std::string, CArrayPtr> fields;  // non-cell fields, or cells replaced whole
    std::vector<CArrayPtr> kers, imgW, mapB;  // cell contents, when not replaced
    std::set<std::string> removed;

    CCall()
    {
        cv::RNG rng(20);
        std::vector<double> vImg(H * W * P);
        for (double& d : vImg) d = rng.uniform(0.0, 1.0);
        imgI = MakeDouble({H, W, P}, vImg);
        fields["idx0"] = MakeScalar(2);
        fields["numFrames"] = MakeScalar(N);
        fields["scaleFactor"] = MakeScalar(S);
        fields["imgWs"] = MakeDouble({H, W, P}, Filled(H * W * P, 0.5));
        fields["dataTermScale"] = MakeScalar(1.5);
        fields["eta"] = MakeScalar(0.25);
        for (int k = 0; k < N; ++k) {
            kers.push_back(MakeDouble({3, 3}, {0, 1, 0, 1, 4, 1, 0, 1, 0}));
            imgW.push_back(MakeDouble({H / S, W / S, P}, Filled(H * W * P / (S * S), 1.0 + k)));
            mapB.push_back(ShiftedMap(k));
        }
    }

    CCallResult Run()
    {
        CArrayPtr param;
        if (bParamNotStruct) {
            param = MakeScalar(1);
        } else {
            std::vector<std::pair<std::string, CArrayPtr>> vecFields;
            for (const char* sCell : {"vecKers", "vecImgW", "vecMapB"}) {
                std::vector<CArrayPtr>& vec = sCell[3] == 'K' ? kers : sCell[3] == 'I' ? imgW : mapB;
                if (!fields.count(sCell)) fields[sCell] = MakeCellFrom(std::move(vec));
            }
            for (auto& field : fields)
                if (!removed.count(field.first)) vecFields.emplace_back(field.first, std::move(field.second));
            param = MakeStructFrom(std::move(vecFields));
        }
        std::vector<const mxArray*> vecArgs = {imgI.get(), param.get()};
        return CallMex(nlhs, vecArgs);
    }
};

struct CFault {
    const char* sMessage;
    std::function<void(CCall&)> fnApply;
};

// Every check in its order; the extra ones beyond the documented thirteen sit
// where they are made.
const std::vector<CFault>& Faults()
{
    static const std::vector<CFault> kFaults = {
        {"Usage: imgAI = qmv_system_apply(imgI, func_param);", [](CCall& c) { c.nlhs = 0; }},
        {"Error: imgI should be real and double.",
         [](CCall& c) {
             c.imgI = MakeNumeric({H, W, P}, mxSINGLE_CLASS);
         }},
        {"Error: func_param should be a struct.", [](CCall& c) { c.bParamNotStruct = true; }},
        {"Error: func_param missing some fields.", [](CCall& c) { c.removed.insert("eta"); }},
        {"Error: func_param.idx0 should be a real integer.", [](CCall& c) { c.fields["idx0"] = MakeScalar(2.5); }},
        {"Error: func_param.idx0 should be a 32-bit integer.", [](CCall& c) { c.fields["idx0"] = MakeScalar(3e9); }},
        {"Error: func_param.numFrames should be a real integer.",
         [](CCall& c) { c.fields["numFrames"] = MakeScalar(kNaN); }},
        {"Error: func_param.numFrames should be at least 1.", [](CCall& c) { c.fields["numFrames"] = MakeScalar(0); }},
        {"Error: func_param.scaleFactor should be a real integer.",
         [](CCall& c) {
             c.fields["scaleFactor"] = MakeDouble({1, 2}, {2, 2});
         }},
        {"Error: func_param.scaleFactor should be at least 1.",
         [](CCall& c) { c.fields["scaleFactor"] = MakeScalar(-2); }},
        {"Error: func_param.vecKers should be a cell array.", [](CCall& c) { c.fields["vecKers"] = MakeScalar(1); }},
        {"Error: func_param.imgWs should be an image.",
         [](CCall& c) {
             c.fields["imgWs"] = MakeNumeric({H, W, P}, mxSINGLE_CLASS);
         }},
        {"Error: func_param.vecImgW should be a cell array.", [](CCall& c) { c.fields["vecImgW"] = MakeScalar(1); }},
        {"Error: func_param.vecMapB should be a cell array.",
         [](CCall& c) { c.fields["vecMapB"] = MakeString("map"); }},
        {"Error: func_param.dataTermScale should be a real scalar.",
         [](CCall& c) {
             c.fields["dataTermScale"] = MakeDouble({1, 2}, {1, 1});
         }},
        {"Error: func_param.eta should be a real scalar.",
         [](CCall& c) {
             c.fields["eta"] = MakeComplex({1, 1}, {1}, {1});
         }},
        {"Error: func_param.vecKers should have at least numFrames elements.", [](CCall& c) { c.kers.pop_back(); }},
        {"Error: func_param.vecImgW should have at least numFrames elements.", [](CCall& c) { c.imgW.pop_back(); }},
        {"Error: func_param.vecMapB should have at least numFrames elements.", [](CCall& c) { c.mapB.pop_back(); }},
        {"Error: in mx2cv, sparse input is not supported!\n", [](CCall& c) { c.fields["imgWs"] = MakeSparse(H, W); }},
        {"Error: in mx2cv, sparse input is not supported!\n",
         [](CCall& c) { c.imgI = MakeSparse(H, W); }},  // after imgWs
        {"Error: in mx2cv, invalid size!\n",
         [](CCall& c) {
             c.imgI = MakeDouble({H, W, 0});
         }},
        {"Error: imgI should not be empty.",
         [](CCall& c) {
             c.imgI = MakeDouble({0, W, P});
         }},
        {"Error: imgI height and width should be multiples of func_param.scaleFactor.",
         [](CCall& c) {
             c.imgI = MakeDouble({H, W + 1, P});
         }},
        {"Error: func_param.imgWs should have the size and channels of imgI.",
         [](CCall& c) {
             c.fields["imgWs"] = MakeDouble({H, W, 1});
         }},
        {"Error: func_param.vecKers{1} should be a non-empty real 2-D matrix.",
         [](CCall& c) {
             c.kers[0] = MakeDouble({0, 0});
         }},
        {"Error: func_param.vecImgW{1} should be a real (H/s)x(W/s)xP image for an HxWxP imgI.",
         [](CCall& c) {
             c.imgW[0] = MakeDouble({H / S, W / S, 1});
         }},
        {"Error: func_param.vecMapB{1} should be a real HxWx2 map for an HxWxP imgI.",
         [](CCall& c) { c.mapB[0] = ShiftedMap(0, 3); }},
        {"Error: in mx2cv, pmxSrc == 0!\n", [](CCall& c) { c.kers[1].reset(); }},
        {"Error: func_param.vecKers{3} should be a non-empty real 2-D matrix.",
         [](CCall& c) {
             c.kers[2] = MakeComplex({3, 3}, Filled(9, 1), Filled(9, 1));
         }},
        {"Error: in mx2cv, type mismatch!\n",
         [](CCall& c) {
             c.imgW[2] = MakeNumeric({H / S, W / S, P}, mxINT32_CLASS);
         }},
        {"Error: func_param.vecMapB{3} should be a real HxWx2 map for an HxWxP imgI.",
         [](CCall& c) {
             c.mapB[2] = MakeComplex({H, W, 2}, Filled(H * W * 2, 1), Filled(H * W * 2, 0));
         }},
    };
    return kFaults;
}

TEST(SysApplyEntry, ReportsTheFirstFailingCheckInOrder)
{
    const std::vector<CFault>& faults = Faults();
    // Faults i..end together: the earliest, i, must be the one reported. The
    // earlier fault is applied last so that it wins where two touch one field.
    for (size_t i = faults.size(); i-- > 0;) {
        CCall call;
        for (size_t j = faults.size(); j-- > i;) faults[j].fnApply(call);
        const CCallResult result = call.Run();
        EXPECT_FALSE(result.bOk);
        EXPECT_FALSE(result.bEscaped) << result.sEscaped;
        EXPECT_EQ(result.sError, faults[i].sMessage) << "fault " << i;
    }
    EXPECT_EQ(LiveArrayCount(), 0u);
}

TEST(SysApplyEntry, UsageCountsAndAcceptedForms)
{
    CCall one;
    EXPECT_EQ(CallMex(1, {one.imgI.get()}).sError, Faults()[0].sMessage);
    EXPECT_EQ(CallMex(2, {one.imgI.get(), one.imgI.get()}).sError, Faults()[0].sMessage);
    CCall idx;  // any numeric class is a scalar; idx0 outside 1..N names no frame
    idx.fields["idx0"] = MakeNumeric({1, 1}, mxINT32_CLASS);
    EXPECT_TRUE(idx.Run().bOk);
    CCall complexImg;
    complexImg.imgI = MakeComplex({H, W}, Filled(H * W, 1), Filled(H * W, 1));
    EXPECT_EQ(complexImg.Run().sError, Faults()[1].sMessage);
}

TEST(SysApplyEntry, EmptyFirstWeightsSwitchTheWeightingOff)
{
    CCall ones;
    for (CArrayPtr& w : ones.imgW) w = MakeDouble({H / S, W / S, P}, Filled(H * W * P / (S * S), 1.0));
    CCall unweighted;
    unweighted.imgW[0] = MakeDouble({0, 0});
    unweighted.imgW[2] = MakeDouble({1, 1});  // not read once the weighting is off
    const CCallResult expected = ones.Run(), result = unweighted.Run();
    ASSERT_TRUE(expected.bOk && result.bOk) << expected.sError << result.sError;
    EXPECT_EQ(Values(result.Output()), Values(expected.Output()));
}

// The stand-in's result against the computation it wraps on the same arrays.
TEST(SysApplyEntry, ReturnsTheOperatorOfItsArguments)
{
    for (int iPlanes : {3, 1}) {
        CCall call;
        if (iPlanes == 1) {
            call.imgI = MakeDouble({H, W}, Filled(H * W, 0.75));
            call.fields["imgWs"] = MakeDouble({H, W}, Filled(H * W, 2.0));
            for (CArrayPtr& w : call.imgW) w = MakeDouble({H / S, W / S}, Filled(H * W / (S * S), 3.0));
        }
        call.mapB[1] = MakeDouble({0, 0});  // the reference frame's map is not needed
        CProblem pr;
        NSysApply::mx2view(call.imgI.get(), pr.args.viewX);
        NSysApply::mx2view(call.fields["imgWs"].get(), pr.args.viewW);
        pr.args.iFrames = N;
        pr.args.iScale = S;
        pr.args.iReferenceFrame = 1;
        pr.args.dDataTermScale = 1.5;
        pr.args.dEta = 0.25;
        pr.args.bWeighted = true;
        for (int k = 0; k < N; ++k) {
            NSysApply::mx2cv(call.kers[k].get(), pr.args.vecKernels.emplace_back());
            CPlanarView& w = pr.args.vecWeights.emplace_back();
            CPlanarView& m = pr.args.vecMaps.emplace_back();
            NSysApply::mx2view(call.imgW[k].get(), w);
            NSysApply::mx2view(call.mapB[k].get(), m);
        }
        cv::Mat imgExpected;
        NSysApply::CFrameWarnings warnings;
        NSysApply::ApplySystemOperatorReference(pr.args, imgExpected, warnings);

        const CCallResult result = call.Run();
        ASSERT_TRUE(result.bOk) << result.sError;
        const std::vector<size_t> vecDims =
            iPlanes == 1 ? std::vector<size_t>{H, W} : std::vector<size_t>{H, W, static_cast<size_t>(iPlanes)};
        EXPECT_EQ(Dims(result.Output()), vecDims);
        const std::vector<double> vecExpected = ToPlanar(imgExpected);
        const std::vector<double> vecActual = Values(result.Output());
        ASSERT_EQ(vecActual.size(), vecExpected.size());
        for (size_t i = 0; i < vecExpected.size(); ++i) EXPECT_NEAR(vecActual[i], vecExpected[i], 1e-12);
        EXPECT_TRUE(result.sPrinted.empty());
    }
}

TEST(SysApplyEntry, PrintsIllegalVectorsOnTheCallingThreadInFrameOrder)
{
    CCall call;
    std::vector<double> vecMap2 = Values(call.mapB[2].get()), vecMap0 = Values(call.mapB[0].get());
    vecMap2[4 + 1 * H] = kNaN;          // frame 3, column 1, row 4 (x plane)
    vecMap0[H * W + 7 + 5 * H] = kNaN;  // frame 1, column 5, row 7 (y plane)
    vecMap0[2 + 3 * H] = kNaN;          // frame 1, column 3, row 2
    call.mapB[2] = MakeDouble({H, W, 2}, vecMap2);
    call.mapB[0] = MakeDouble({H, W, 2}, vecMap0);
    std::vector<double> vecRef(H * W * 2, kNaN);
    call.mapB[1] = MakeDouble({H, W, 2}, vecRef);  // reference frame: never read
    const CCallResult result = call.Run();
    ASSERT_TRUE(result.bOk) << result.sError;
    EXPECT_EQ(result.sPrinted,
              "__warning: illegal flow vector at (3, 2)\n"
              "__warning: illegal flow vector at (5, 7)\n"
              "__warning: illegal flow vector at (1, 4)\n");
    EXPECT_EQ(result.vEvals, std::vector<std::string>(3, "drawnow;"));
    EXPECT_EQ(result.iOffThreadHostCalls, 0);
}

}  // namespace

namespace {

// Unloading gives back the scratch the module keeps between calls: a module
// whose unload hook is missing would keep it until the process ends.
TEST(SysApplyEntry, UnloadReleasesTheKeptScratchAndTheModuleWorksAfterwards)
{
    CCall call;
    const CCallResult first = call.Run();
    ASSERT_TRUE(first.bOk) << first.sError;
    EXPECT_TRUE(UnloadModule());
    EXPECT_FALSE(UnloadModule());  // the hook runs once per unload
    const CCallResult again = CCall().Run();
    ASSERT_TRUE(again.bOk) << again.sError;
    EXPECT_EQ(Values(again.Output()), Values(first.Output()));
    EXPECT_TRUE(UnloadModule());
}

}  // namespace
