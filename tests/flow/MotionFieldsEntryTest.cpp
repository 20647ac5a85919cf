// qmv_motion_fields through the stand-in host: checks in their order, the
// result's shape, and every flow bit-identical to the single-pair computation
// of qmv_motion_field, for a stack of targets and for one shared target, on
// any thread count.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <omp.h>

#include "FlowTestImages.h"
#include "FlowToPlanes.h"
#include "MotionField.h"
#include "mex_standin.h"

namespace {

using NMexStandIn::CallMex;
using NMexStandIn::CArrayPtr;
using NMexStandIn::MakeDouble;

const char* const kUsage = "Usage: imgsFlow = qmv_motion_fields(imgsFrom, imgsTo)";
const char* const kNotDouble = "Error: data format is not double!";
const char* const kSparse = "Error: imgsFrom and imgsTo must not be sparse!";
const char* const kFromShape = "Error: imgsFrom must be an H x W x 3 x N stack of colour frames!";
const char* const kToShape = "Error: imgsTo must be one H x W x 3 frame or a stack of as many frames as imgsFrom!";
const char* const kSameSize = "Error: imgsTo must have the same height and width as imgsFrom!";
const char* const kEmpty = "Error: imgsFrom and imgsTo must have a positive height and width!";

std::string ErrorOf(int nlhs, const std::vector<const mxArray*>& vArgs)
{
    const NMexStandIn::CCallResult result = CallMex(nlhs, vArgs);
    EXPECT_FALSE(result.bEscaped) << result.sEscaped;
    return result.bOk ? std::string("<no error>") : result.sError;
}

// N frames of the sample pair, cropped to H x W and moved by k pixels.
std::vector<double> SampleStack(size_t nH, size_t nW, size_t nFrames, int iSeed)
{
    const cv::Mat matRGB = LoadSampleRGB(iSeed % 2 ? "rubberwhale2.png" : "rubberwhale1.png");
    std::vector<double> v;
    for (size_t k = 0; k < nFrames; ++k) {
        const cv::Mat matMoved = ShiftedRGB(matRGB, 0.7 * double(k + iSeed), 0.4 * double(k));
        for (size_t c = 0; c < 3; ++c)
            for (size_t x = 0; x < nW; ++x)
                for (size_t y = 0; y < nH; ++y)
                    v.push_back(matMoved.at<cv::Vec3b>(int(y) + 40, int(x) + 60)[int(c)] / 255.0);
    }
    return v;
}

// The flow of one pair as qmv_motion_field computes it.
std::vector<double> PairFlow(const double* pFrom, const double* pTo, int iH, int iW)
{
    cv::Mat matFlow;
    MotionFieldFromArrays(pFrom, pTo, iH, iW, matFlow);
    std::vector<double> v(2 * size_t(iH) * iW);
    FlowToPlanes(matFlow, v.data());
    return v;
}

TEST(MotionFieldsEntry, UsageErrors)
{
    CArrayPtr pmxA = MakeDouble({4, 5, 3});
    EXPECT_EQ(ErrorOf(2, {pmxA.get(), pmxA.get()}), kUsage);
    EXPECT_EQ(ErrorOf(1, {pmxA.get()}), kUsage);
    EXPECT_EQ(ErrorOf(1, {pmxA.get(), pmxA.get(), pmxA.get()}), kUsage);
    EXPECT_EQ(ErrorOf(1, {}), kUsage);
}

TEST(MotionFieldsEntry, ChecksComeInTheirOrder)
{
    CArrayPtr pmxGood = MakeDouble({4, 5, 3, 2});
    CArrayPtr pmxOne = MakeDouble({4, 5, 3});
    CArrayPtr pmxSingle = NMexStandIn::MakeNumeric({4, 5, 3, 2}, mxSINGLE_CLASS);
    CArrayPtr pmxSparse = NMexStandIn::MakeSparse(4, 5);
    CArrayPtr pmxGrey = MakeDouble({4, 5, 1, 2});
    CArrayPtr pmxFive = MakeDouble({4, 5, 3, 2, 2});
    CArrayPtr pmxThree = MakeDouble({4, 5, 3, 3});
    CArrayPtr pmxWider = MakeDouble({4, 6, 3, 2});
    CArrayPtr pmxNoRows = MakeDouble({0, 5, 3, 2});

    EXPECT_EQ(ErrorOf(1, {pmxSingle.get(), pmxGood.get()}), kNotDouble);
    EXPECT_EQ(ErrorOf(1, {pmxGood.get(), pmxSingle.get()}), kNotDouble);
    EXPECT_EQ(ErrorOf(1, {pmxSparse.get(), pmxGood.get()}), kSparse);
    EXPECT_EQ(ErrorOf(1, {pmxGrey.get(), pmxGood.get()}), kFromShape);
    EXPECT_EQ(ErrorOf(1, {pmxFive.get(), pmxGood.get()}), kFromShape);
    EXPECT_EQ(ErrorOf(1, {pmxGood.get(), pmxGrey.get()}), kToShape);
    EXPECT_EQ(ErrorOf(1, {pmxGood.get(), pmxThree.get()}), kToShape);
    EXPECT_EQ(ErrorOf(1, {pmxOne.get(), pmxGood.get()}), kToShape);  // one source, two targets
    EXPECT_EQ(ErrorOf(1, {pmxGood.get(), pmxWider.get()}), kSameSize);
    EXPECT_EQ(ErrorOf(1, {pmxNoRows.get(), pmxNoRows.get()}), kEmpty);
}

TEST(MotionFieldsEntry, NoFramesGiveAnEmptyStackOfFlows)
{
    CArrayPtr pmxFrom = MakeDouble({4, 5, 3, 0});
    CArrayPtr pmxTo = MakeDouble({4, 5, 3});
    const NMexStandIn::CCallResult result = CallMex(1, {pmxFrom.get(), pmxTo.get()});
    ASSERT_TRUE(result.bOk) << result.sError;
    EXPECT_EQ(NMexStandIn::Dims(result.Output()), (std::vector<size_t>{4, 5, 2, 0}));
}

TEST(MotionFieldsEntry, EveryFlowIsBitIdenticalToItsPairOnAnyThreadCount)
{
    const size_t nH = 48, nW = 64, nN = 5;
    const std::vector<double> vFrom = SampleStack(nH, nW, nN, 1);
    const std::vector<double> vTo = SampleStack(nH, nW, nN, 2);
    CArrayPtr pmxFrom = MakeDouble({nH, nW, 3, nN}, vFrom);
    CArrayPtr pmxTo = MakeDouble({nH, nW, 3, nN}, vTo);
    CArrayPtr pmxOne = MakeDouble({nH, nW, 3}, std::vector<double>(vTo.begin(), vTo.begin() + 3 * nH * nW));
    const size_t nFrame = 3 * nH * nW, nFlow = 2 * nH * nW;

    const int iDefault = omp_get_max_threads();
    for (const int iThreads : {1, 2, 3}) {
        omp_set_num_threads(iThreads);
        for (const bool bOneTarget : {false, true}) {
            const NMexStandIn::CCallResult result =
                CallMex(1, {pmxFrom.get(), bOneTarget ? pmxOne.get() : pmxTo.get()});
            ASSERT_TRUE(result.bOk) << result.sError;
            EXPECT_EQ(result.iOffThreadHostCalls, 0);
            ASSERT_EQ(NMexStandIn::Dims(result.Output()), (std::vector<size_t>{nH, nW, 2, nN}));
            const std::vector<double> vFlows = NMexStandIn::Values(result.Output());
            for (size_t k = 0; k < nN; ++k) {
                const std::vector<double> vPair =
                    PairFlow(vFrom.data() + k * nFrame, vTo.data() + (bOneTarget ? 0 : k * nFrame), int(nH), int(nW));
                EXPECT_EQ(std::memcmp(vPair.data(), vFlows.data() + k * nFlow, nFlow * sizeof(double)), 0)
                    << "frame " << k << ", " << iThreads << " threads" << (bOneTarget ? ", one target" : "");
            }
        }
    }
    omp_set_num_threads(iDefault);
}

TEST(MotionFieldsEntry, OneFrameEachIsTheSingleFlow)
{
    const size_t nH = 40, nW = 52;
    const std::vector<double> vFrom = SampleStack(nH, nW, 1, 3);
    const std::vector<double> vTo = SampleStack(nH, nW, 1, 4);
    CArrayPtr pmxFrom = MakeDouble({nH, nW, 3}, vFrom), pmxTo = MakeDouble({nH, nW, 3}, vTo);
    const NMexStandIn::CCallResult result = CallMex(1, {pmxFrom.get(), pmxTo.get()});
    ASSERT_TRUE(result.bOk) << result.sError;
    EXPECT_EQ(NMexStandIn::Dims(result.Output()), (std::vector<size_t>{nH, nW, 2}));  // trailing 1 dropped
    EXPECT_EQ(NMexStandIn::Values(result.Output()), PairFlow(vFrom.data(), vTo.data(), int(nH), int(nW)));
}

// Each thread's working images are kept between calls; the unload hook gives
// them back, and the flows after the unload are the same.
TEST(MotionFieldsEntry, UnloadReleasesTheKeptImagesAndTheModuleWorksAfterwards)
{
    const size_t nH = 32, nW = 40, nN = 3;
    CArrayPtr pmxFrom = MakeDouble({nH, nW, 3, nN}, SampleStack(nH, nW, nN, 1));
    CArrayPtr pmxTo = MakeDouble({nH, nW, 3}, SampleStack(nH, nW, 1, 2));
    const NMexStandIn::CCallResult first = CallMex(1, {pmxFrom.get(), pmxTo.get()});
    ASSERT_TRUE(first.bOk) << first.sError;
    EXPECT_TRUE(NMexStandIn::UnloadModule());
    EXPECT_FALSE(NMexStandIn::UnloadModule());  // the hook runs once per unload
    const NMexStandIn::CCallResult again = CallMex(1, {pmxFrom.get(), pmxTo.get()});
    ASSERT_TRUE(again.bOk) << again.sError;
    EXPECT_EQ(NMexStandIn::Values(again.Output()), NMexStandIn::Values(first.Output()));
    EXPECT_TRUE(NMexStandIn::UnloadModule());
}

}  // namespace
