// qmv_threads through the stand-in host: the count it reports is the one the
// next parallel region and OpenCV's pool use, and bad counts change nothing.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include <omp.h>
#include <opencv2/core/utility.hpp>

#include "mex_standin.h"

namespace {

using NMexStandIn::CallMex;
using NMexStandIn::CArrayPtr;
using NMexStandIn::MakeScalar;

double Returned(const std::vector<const mxArray*>& vArgs, int nlhs = 1)
{
    NMexStandIn::CCallResult result = CallMex(nlhs, vArgs);
    EXPECT_TRUE(result.bOk) << result.sError << result.sEscaped;
    return result.bOk ? NMexStandIn::Values(result.Output()).at(0) : -1;
}

int TeamSize()
{
    int iTeam = 0;
#pragma omp parallel
    {
#pragma omp single
        iTeam = omp_get_num_threads();
    }
    return iTeam;
}

TEST(ThreadsEntry, SetsTheCountOfTheNextRegionsAndReturnsThePrevious)
{
    const int iBefore = omp_get_max_threads();
    const int iCvBefore = cv::getNumThreads();
    EXPECT_EQ(Returned({}), iBefore);
    EXPECT_EQ(Returned({}, 0), iBefore);  // into ans
    CArrayPtr pmxThree = MakeScalar(3), pmxOne = MakeScalar(1);
    EXPECT_EQ(Returned({pmxThree.get()}), iBefore);
    EXPECT_EQ(TeamSize(), 3);
    EXPECT_EQ(cv::getNumThreads(), 3);
    EXPECT_EQ(Returned({pmxOne.get()}), 3);
    EXPECT_EQ(TeamSize(), 1);
    CArrayPtr pmxBefore = MakeScalar(iBefore);
    EXPECT_EQ(Returned({pmxBefore.get()}), 1);
    EXPECT_EQ(omp_get_max_threads(), iBefore);
    cv::setNumThreads(iCvBefore);
}

TEST(ThreadsEntry, BadCountsAreRefusedAndChangeNothing)
{
    const int iBefore = omp_get_max_threads();
    const double dNaN = std::numeric_limits<double>::quiet_NaN();
    std::vector<CArrayPtr> vBad;
    for (double d : {0.0, -1.0, 1.5, 4097.0, dNaN, std::numeric_limits<double>::infinity()})
        vBad.push_back(MakeScalar(d));
    vBad.push_back(NMexStandIn::MakeDouble({1, 2}, {1, 1}));
    vBad.push_back(NMexStandIn::MakeDouble({0, 0}));
    vBad.push_back(NMexStandIn::MakeString("2"));
    vBad.push_back(NMexStandIn::MakeComplex({1, 1}, {2}, {1}));
    vBad.push_back(NMexStandIn::MakeNumeric({1, 1}, mxLOGICAL_CLASS));
    for (const CArrayPtr& pmxBad : vBad) {
        NMexStandIn::CCallResult result = CallMex(1, {pmxBad.get()});
        EXPECT_FALSE(result.bEscaped);
        EXPECT_EQ(result.sError, "Error: numThreads must be a whole number from 1 to 4096!");
    }
    CArrayPtr pmxOne = MakeScalar(1);
    const std::string sUsage = "Usage: previous = qmv_threads(numThreads)";
    EXPECT_EQ(CallMex(1, {pmxOne.get(), pmxOne.get()}).sError, sUsage);
    EXPECT_EQ(CallMex(2, {pmxOne.get()}).sError, sUsage);
    EXPECT_EQ(omp_get_max_threads(), iBefore);
}

}  // namespace
