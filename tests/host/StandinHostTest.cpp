// The stand-in host behaves like a real host where the module tests rely on it:
// errors end the call, temporaries are freed, output is captured.
#include "mex_standin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <thread>

namespace {
std::function<void(int, mxArray**, int, const mxArray**)> g_body;
}

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    g_body(nlhs, plhs, nrhs, prhs);
}

using namespace NMexStandIn;

TEST(StandInHost, ErrorEndsTheCallAndFreesEverythingCreated)
{
    const size_t before = LiveArrayCount();
    g_body = [](int, mxArray** plhs, int, const mxArray**) {
        plhs[0] = mxCreateDoubleMatrix(2, 2, mxREAL);
        mxCreateDoubleMatrix(3, 3, mxREAL);
        mexErrMsgTxt("Error: boom");
        plhs[0] = nullptr;  // not reached
    };
    CCallResult r = CallMex(1, {});
    EXPECT_FALSE(r.bOk);
    EXPECT_FALSE(r.bEscaped);
    EXPECT_EQ(r.sError, "Error: boom");
    EXPECT_EQ(r.Output(), nullptr);
    EXPECT_EQ(LiveArrayCount(), before);
}

TEST(StandInHost, ReturnsOutputsFreesTemporariesAndCapturesText)
{
    const size_t before = LiveArrayCount();
    g_body = [](int, mxArray** plhs, int, const mxArray** prhs) {
        mxCreateDoubleMatrix(3, 3, mxREAL);
        plhs[0] = mxDuplicateArray(prhs[0]);
        mexPrintf("value %d\n", 7);
        mexEvalString("drawnow;");
    };
    CArrayPtr in = MakeDouble({2, 3, 1}, {1, 2, 3, 4, 5, 6});
    {
        CCallResult r = CallMex(1, {in.get()});
        ASSERT_TRUE(r.bOk);
        EXPECT_EQ(Dims(r.Output()), (std::vector<size_t>{2, 3}));  // trailing singleton dropped
        EXPECT_EQ(Values(r.Output()), (std::vector<double>{1, 2, 3, 4, 5, 6}));
        EXPECT_EQ(r.sPrinted, "value 7\n");
        EXPECT_EQ(r.vEvals, std::vector<std::string>{"drawnow;"});
        EXPECT_EQ(LiveArrayCount(), before + 2);  // the input and the output
    }
    EXPECT_EQ(LiveArrayCount(), before + 1);
}

// An uninitialised array holds NaN everywhere, so a module that returns an
// element it never wrote fails the comparison with its expected result.
TEST(StandInHost, UninitialisedArraysHoldNaN)
{
    g_body = [](int, mxArray** plhs, int, const mxArray**) {
        mwSize dims[3] = {2, 3, 2};
        plhs[0] = mxCreateUninitNumericArray(3, dims, mxDOUBLE_CLASS, mxREAL);
    };
    CCallResult r = CallMex(1, {});
    ASSERT_TRUE(r.bOk);
    EXPECT_EQ(Dims(r.Output()), (std::vector<size_t>{2, 3, 2}));
    for (double v : Values(r.Output())) EXPECT_TRUE(std::isnan(v));
}

TEST(StandInHost, ReportsEscapingExceptionsAndHostCallsFromOtherThreads)
{
    g_body = [](int, mxArray**, int, const mxArray**) {
        std::thread([] { mexPrintf("from a worker\n"); }).join();
        throw std::string("thrown text");
    };
    CCallResult r = CallMex(1, {});
    EXPECT_TRUE(r.bEscaped);
    EXPECT_EQ(r.sEscaped, "thrown text");
    EXPECT_EQ(r.iOffThreadHostCalls, 1);
}

TEST(StandInHost, StructsCellsAndSparseArrays)
{
    CArrayPtr s = MakeStruct("a", MakeScalar(3), "b", MakeCell(MakeScalar(1), nullptr));
    EXPECT_TRUE(mxIsStruct(s.get()));
    EXPECT_EQ(mxGetScalar(mxGetField(s.get(), 0, "a")), 3.0);
    EXPECT_EQ(mxGetField(s.get(), 0, "missing"), nullptr);
    const mxArray* c = mxGetField(s.get(), 0, "b");
    EXPECT_EQ(mxGetNumberOfElements(c), 2u);
    EXPECT_EQ(mxGetCell(c, 1), nullptr);
    CArrayPtr sp = MakeSparse(100, 100);
    EXPECT_TRUE(mxIsSparse(sp.get()));
    EXPECT_EQ(mxGetNumberOfElements(sp.get()), 10000u);
    EXPECT_TRUE(mxIsEmpty(MakeDouble({0, 3}).get()));
}

// The unload hook a module registers runs once, at the next unload only.
TEST(StandInHost, UnloadRunsTheRegisteredExitFunctionOnce)
{
    static int s_iRuns = 0;
    s_iRuns = 0;
    EXPECT_FALSE(NMexStandIn::UnloadModule());
    mexAtExit([] { ++s_iRuns; });
    EXPECT_TRUE(NMexStandIn::UnloadModule());
    EXPECT_FALSE(NMexStandIn::UnloadModule());
    EXPECT_EQ(s_iRuns, 1);
}

TEST(StandInHost, ArrayToStringCopiesCharactersOfCharArraysOnly)
{
    CArrayPtr pmxName = MakeString("clip.avi");
    char* pText = mxArrayToString(pmxName.get());
    ASSERT_NE(pText, nullptr);
    EXPECT_STREQ(pText, "clip.avi");
    mxFree(pText);
    CArrayPtr pmxEmpty = MakeString("");
    pText = mxArrayToString(pmxEmpty.get());
    ASSERT_NE(pText, nullptr);
    EXPECT_STREQ(pText, "");
    mxFree(pText);
    CArrayPtr pmxNumber = MakeScalar(3);
    EXPECT_EQ(mxArrayToString(pmxNumber.get()), nullptr);
}
