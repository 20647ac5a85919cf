// The frame loop and the assembled operator: the fast form against the
// straightforward one, thread-count invariance, the reference frame, warnings.
#include "SysApplyTestUtil.h"

#include "qmv_system_apply/SystemOperator.h"
#include "qmv_system_apply/regulariser/WeightedDifferenceTerm.h"
#include "tests/reference/ReferenceSystemOperator.h"

#include <gtest/gtest.h>
#include <omp.h>

namespace {

using namespace NSysApply;
using namespace NSysApplyTest;

// Runs fnRun with iThreads OpenMP threads and restores the previous setting.
template <class TFn>
void WithThreads(int iThreads, const TFn& fnRun)
{
    const int iBefore = omp_get_max_threads();
    omp_set_num_threads(iThreads);
    fnRun();
    omp_set_num_threads(iBefore);
}

size_t WarningCount(const CFrameWarnings& warnings)
{
    size_t n = 0;
    for (const CIllegalVectorList& lst : warnings) n += lst.size();
    return n;
}

struct COperatorCase {
    int iRows, iCols, iPlanes, iFrames, iScale, iKernel, iReference;
};

TEST(SystemOperator, FastFormAgreesWithTheStraightforwardOne)
{
    const COperatorCase kCases[] = {{24, 30, 3, 4, 2, 5, 0}, {27, 18, 1, 3, 3, 9, 2}, {16, 16, 3, 2, 1, 3, -1},
                                    {32, 24, 7, 3, 4, 6, 1}, {9, 12, 2, 1, 3, 11, 0}, {64, 64, 3, 8, 2, 9, 3}};
    cv::RNG rng(13);
    for (const COperatorCase& c : kCases) {
        CProblem pr;
        MakeProblem(pr, c.iRows, c.iCols, c.iPlanes, c.iFrames, c.iScale, c.iKernel, c.iReference, rng, 0.02);
        cv::Mat imgFast, imgReference;
        CFrameWarnings warnFast, warnReference;
        imgFast = ApplyFast(pr.args, warnFast);
        ApplySystemOperatorReference(pr.args, imgReference, warnReference);
        EXPECT_LE(RelativeDifference(imgFast, imgReference), 1e-12) << c.iRows << "x" << c.iCols << "x" << c.iPlanes;
        ASSERT_EQ(warnFast.size(), static_cast<size_t>(c.iFrames));
        EXPECT_EQ(WarningCount(warnFast), WarningCount(warnReference));
        if (c.iFrames > 1) {
            EXPECT_GT(WarningCount(warnFast), 0u);  // some frame is warped
        }
    }
}

TEST(SystemOperator, ResultDoesNotDependOnTheThreadCount)
{
    cv::RNG rng(14);
    CProblem pr;
    MakeProblem(pr, 96, 80, 3, 5, 2, 5, 1, rng, 0.01);
    cv::Mat imgOne, imgOneReference;
    CFrameWarnings warnOne, warnings;
    WithThreads(1, [&] {
        imgOne = ApplyFast(pr.args, warnOne);
        ApplySystemOperatorReference(pr.args, imgOneReference, warnings);
    });
    for (int iThreads : {2, 3, 8}) {
        cv::Mat imgMany, imgManyReference;
        CFrameWarnings warnMany;
        WithThreads(iThreads, [&] {
            imgMany = ApplyFast(pr.args, warnMany);
            ApplySystemOperatorReference(pr.args, imgManyReference, warnings);
        });
        EXPECT_TRUE(BitIdentical(imgOne, imgMany)) << iThreads << " threads";
        EXPECT_TRUE(BitIdentical(imgOneReference, imgManyReference)) << iThreads << " threads";
        for (size_t k = 0; k < warnOne.size(); ++k) {
            ASSERT_EQ(warnOne[k].size(), warnMany[k].size());
            for (size_t i = 0; i < warnOne[k].size(); ++i) EXPECT_EQ(warnOne[k][i].iX, warnMany[k][i].iX);
        }
    }
}

TEST(SystemOperator, ReferenceFrameSkipsItsMapAndMatchesAnIdentityWarp)
{
    cv::RNG rng(15);
    CProblem pr;
    MakeProblem(pr, 20, 24, 3, 3, 2, 5, 1, rng);
    // The reference frame's map is all NaN and must not be read.
    pr.args.vecMaps[1] = pr.store.View(cv::Mat(20, 24, CV_64FC2, cv::Scalar::all(kNaN)));
    cv::Mat imgAsReference, imgAsIdentity;
    CFrameWarnings warnings;
    imgAsReference = ApplyFast(pr.args, warnings);
    EXPECT_EQ(WarningCount(warnings), 0u);

    pr.args.vecMaps[1] = pr.store.View(RandomMap(20, 24, rng, 0.0));
    pr.args.iReferenceFrame = -1;  // every frame warped, frame 1 by the identity
    imgAsIdentity = ApplyFast(pr.args, warnings);
    EXPECT_TRUE(BitIdentical(imgAsReference, imgAsIdentity));
}

TEST(SystemOperator, SingleFrameIdentityModelGivesEtaRPlusScaledImage)
{
    cv::RNG rng(16);
    CProblem pr;
    MakeProblem(pr, 10, 14, 3, 1, 1, 1, 0, rng);
    pr.args.vecKernels[0] = cv::Mat::ones(1, 1, CV_64F);
    pr.args.vecWeights[0] = pr.store.View(cv::Mat(10, 14, CV_64FC3, cv::Scalar::all(1)));
    cv::Mat imgResult, imgR;
    CFrameWarnings warnings;
    imgResult = ApplyFast(pr.args, warnings);
    WeightedDifferenceTerm(imgR, pr.imgX, pr.imgW);
    const cv::Mat imgExpected = pr.args.dEta * imgR + pr.args.dDataTermScale * pr.imgX;
    EXPECT_LE(RelativeDifference(imgResult, imgExpected), 1e-15);

    pr.args.bWeighted = false;  // no weights: the same as weights of 1
    cv::Mat imgUnweighted;
    imgUnweighted = ApplyFast(pr.args, warnings);
    EXPECT_TRUE(BitIdentical(imgUnweighted, imgResult));
}

TEST(SystemOperator, EtaAndDataTermScaleSelectTheTerms)
{
    cv::RNG rng(17);
    CProblem pr;
    MakeProblem(pr, 12, 12, 1, 2, 2, 3, 0, rng);
    cv::Mat imgBoth, imgData, imgReg, imgR;
    CFrameWarnings warnings;
    imgBoth = ApplyFast(pr.args, warnings);
    pr.args.dEta = 0;
    imgData = ApplyFast(pr.args, warnings);
    pr.args.dEta = 0.3;
    pr.args.dDataTermScale = 0;
    imgReg = ApplyFast(pr.args, warnings);
    WeightedDifferenceTerm(imgR, pr.imgX, pr.imgW);
    EXPECT_LE(RelativeDifference(imgReg, 0.3 * imgR), 1e-15);
    EXPECT_LE(RelativeDifference(imgData + imgReg, imgBoth), 1e-14);
}

}  // namespace
