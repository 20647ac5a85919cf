// qmv_conjugate_gradients: the solve on a random problem of the operator
// (A x matches b, the residual it reports is the true one), zero steps, the
// same bits for any thread count; the entry through the stand-in host with
// its usage, its messages after the operator's contract, and its outputs.
#include <gtest/gtest.h>

#include "frameterms/ConjugateGradients.h"
#include "mex_standin.h"
#include "tests/sysapply/SysApplyTestUtil.h"

#include <omp.h>

#include <cmath>
#include <vector>

namespace {

using namespace NSysApplyTest;
using NMexStandIn::CallMex;
using NMexStandIn::CArrayPtr;
using NMexStandIn::MakeDouble;

// A x for the planar image vecX, through the operator itself.
std::vector<double> ApplyTo(CProblem& pr, const std::vector<double>& vecX)
{
    COperatorArguments args = pr.args;
    args.viewX.pData = vecX.data();
    std::vector<double> vecOut(vecX.size());
    NSysApply::CFrameWarnings warnings;
    NSysApply::ApplySystemOperator(args, vecOut.data(), warnings);
    return vecOut;
}

double Norm(const std::vector<double>& v)
{
    double d = 0;
    for (double x : v) d += x * x;
    return std::sqrt(d);
}

struct CSolveCase {
    CProblem pr;
    std::vector<double> vecB;

    explicit CSolveCase(int iFrames = 3)
    {
        cv::RNG rng(11);
        MakeProblem(pr, 16, 12, 2, iFrames, 2, 3, 0, rng);
        vecB = ApplyTo(pr, ToPlanar(RandomMat(16, 12, 2, rng)));
    }
    NSysApply::CCgOutcome Solve(std::vector<double>& vecX, int iSteps, double dTol)
    {
        NSysApply::CFrameWarnings warnings;
        return NSysApply::SolveConjugateGradients(pr.args, vecB.data(), vecX.data(), iSteps, dTol, warnings);
    }
};

TEST(ConjugateGradients, SolvesTheOperatorsSystemAndReportsItsResidual)
{
    CSolveCase c;
    std::vector<double> vecX(c.vecB.size(), 0.0);
    const NSysApply::CCgOutcome outcome = c.Solve(vecX, 300, 1e-9);
    EXPECT_GT(outcome.iSteps, 2);
    EXPECT_LT(outcome.iSteps, 300);
    EXPECT_LE(outcome.dRelRes, 1e-9);
    std::vector<double> vecR = ApplyTo(c.pr, vecX);
    for (std::size_t i = 0; i < vecR.size(); ++i) vecR[i] = c.vecB[i] - vecR[i];
    EXPECT_LT(Norm(vecR) / Norm(c.vecB), 1e-7);
}

TEST(ConjugateGradients, ZeroStepsKeepTheStartAndThreadsChangeNoBit)
{
    CSolveCase c(5);
    std::vector<double> vecX(c.vecB.size(), 0.25);
    const std::vector<double> vecStart = vecX;
    const NSysApply::CCgOutcome none = c.Solve(vecX, 0, 1e-6);
    EXPECT_EQ(none.iSteps, 0);
    EXPECT_EQ(vecX, vecStart);
    EXPECT_GT(none.dRelRes, 0.0);
    const int iThreads = omp_get_max_threads();
    omp_set_num_threads(1);
    c.Solve(vecX, 6, 0);
    const std::vector<double> vecOne = vecX;
    vecX = vecStart;
    omp_set_num_threads(3);
    c.Solve(vecX, 6, 0);
    omp_set_num_threads(iThreads);
    EXPECT_EQ(vecX, vecOne);
}

// The entry: an 8 x 6 start, one unmoved frame, s = 2.
struct CCall {
    CArrayPtr pmxX, pmxB, pmxParam, pmxSteps, pmxTol;

    void Build()
    {
        pmxX = MakeDouble({8, 6});
        pmxB = NMexStandIn::MakeDoubleFrom(8, 6, 1, [](int y, int x, int) { return std::sin(0.7 * x + 0.3 * y); });
        std::vector<double> vMap(8 * 6 * 2);
        for (int x = 0; x < 6; ++x)
            for (int y = 0; y < 8; ++y) {
                vMap[y + x * 8] = x + 1;
                vMap[y + x * 8 + 48] = y + 1;
            }
        pmxParam = NMexStandIn::MakeStruct(
            "idx0", NMexStandIn::MakeScalar(1).release(), "numFrames", NMexStandIn::MakeScalar(1).release(),
            "scaleFactor", NMexStandIn::MakeScalar(2).release(), "vecKers",
            NMexStandIn::MakeCell(MakeDouble({1, 1}, {1.0}).release()).release(), "imgWs",
            MakeDouble({8, 6}, std::vector<double>(48, 1.0)).release(), "vecImgW",
            NMexStandIn::MakeCell(MakeDouble({0, 0}).release()).release(), "vecMapB",
            NMexStandIn::MakeCell(MakeDouble({8, 6, 2}, vMap).release()).release(), "dataTermScale",
            NMexStandIn::MakeScalar(1).release(), "eta", NMexStandIn::MakeScalar(0.1).release());
        pmxSteps = NMexStandIn::MakeScalar(50);
        pmxTol = NMexStandIn::MakeScalar(1e-9);
    }
    std::vector<const mxArray*> Args() const
    {
        return {pmxX.get(), pmxB.get(), pmxParam.get(), pmxSteps.get(), pmxTol.get()};
    }
};

std::string ErrorOf(int nlhs, const std::vector<const mxArray*>& vArgs)
{
    const NMexStandIn::CCallResult result = CallMex(nlhs, vArgs);
    EXPECT_FALSE(result.bEscaped) << result.sEscaped;
    EXPECT_EQ(result.iOffThreadHostCalls, 0);
    return result.bOk ? std::string("<no error>") : result.sError;
}

TEST(ConjugateGradientsEntry, UsageThenTheContractThenItsOwnArguments)
{
    CCall call;
    call.Build();
    const std::string sUsage =
        "Usage: [imgX, numSteps, relRes] = qmv_conjugate_gradients(imgI, imgB, func_param, maxSteps, tol);";
    std::vector<const mxArray*> v = call.Args();
    EXPECT_EQ(ErrorOf(4, v), sUsage);
    EXPECT_EQ(ErrorOf(1, {v[0], v[1], v[2], v[3]}), sUsage);
    EXPECT_EQ(ErrorOf(1, {v[0], v[1], v[0], v[3], v[4]}), "Error: func_param should be a struct.");
    CArrayPtr pmxWide = MakeDouble({8, 7}), pmxHalf = NMexStandIn::MakeScalar(1.5),
              pmxNegative = NMexStandIn::MakeScalar(-1), pmxNaN = NMexStandIn::MakeScalar(std::nan(""));
    EXPECT_EQ(ErrorOf(1, {v[0], pmxWide.get(), v[2], v[3], v[4]}),
              "Error: imgB should be a real double image of the size of imgI.");
    EXPECT_EQ(ErrorOf(1, {v[0], v[1], v[2], pmxHalf.get(), v[4]}),
              "Error: maxSteps should be a whole number from 0 to 1000000.");
    EXPECT_EQ(ErrorOf(1, {v[0], v[1], v[2], pmxNegative.get(), v[4]}),
              "Error: maxSteps should be a whole number from 0 to 1000000.");
    EXPECT_EQ(ErrorOf(1, {v[0], v[1], v[2], v[3], pmxNaN.get()}),
              "Error: tol should be a finite real number of at least 0.");
    EXPECT_EQ(ErrorOf(1, {v[0], v[1], v[2], v[3], pmxNegative.get()}),
              "Error: tol should be a finite real number of at least 0.");
}

TEST(ConjugateGradientsEntry, ThreeOutputsNothingLeakedStartUntouched)
{
    CCall call;
    call.Build();
    const size_t nLive = NMexStandIn::LiveArrayCount();
    {
        const NMexStandIn::CCallResult result = CallMex(3, call.Args());
        ASSERT_TRUE(result.bOk) << result.sError;
        EXPECT_TRUE(result.sPrinted.empty());
        EXPECT_EQ(NMexStandIn::Dims(result.Output(0)), (std::vector<size_t>{8, 6}));
        const double dSteps = NMexStandIn::Values(result.Output(1)).at(0);
        EXPECT_GT(dSteps, 0.0);
        EXPECT_LE(NMexStandIn::Values(result.Output(2)).at(0), 1e-9);
        for (double d : NMexStandIn::Values(call.pmxX.get())) EXPECT_EQ(d, 0.0);  // the input stays as it was
    }
    EXPECT_EQ(NMexStandIn::LiveArrayCount(), nLive);
}

}  // namespace
