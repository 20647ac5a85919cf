// The per-frame computations against the straightforward operators of
// tests/reference (full-resolution filtering, pixel-by-pixel warps), and the
// same bits whatever the thread count.
#include <gtest/gtest.h>

#include "frameterms/FrameResiduals.h"
#include "frameterms/WeightedRhs.h"
#include "tests/reference/ReferenceForwardOperators.h"
#include "tests/reference/ReferenceTransposeOperators.h"
#include "tests/sysapply/SysApplyTestUtil.h"

#include <omp.h>

namespace {

using namespace NSysApplyTest;
using NSysApply::CFrameStackView;
using NSysApply::CFrameWarnings;

struct CFrameCase {
    int iRows, iCols, iPlanes, iFrames, iScale, iKernel, iReference;
    double dNaN;
};

// A problem plus N observed frames, kept in both layouts.
struct CFrameProblem {
    CProblem pr;
    std::vector<cv::Mat> vecY;
    std::vector<double> vecStack;  // h x w x P x N, column-major
    CFrameStackView stackY;
};

void MakeFrameProblem(CFrameProblem& fp, const CFrameCase& c, cv::RNG& rng)
{
    MakeProblem(fp.pr, c.iRows, c.iCols, c.iPlanes, c.iFrames, c.iScale, c.iKernel, c.iReference, rng, c.dNaN);
    const int h = c.iRows / c.iScale, w = c.iCols / c.iScale;
    for (int k = 0; k < c.iFrames; ++k) {
        fp.vecY.push_back(RandomMat(h, w, c.iPlanes, rng));
        const std::vector<double> v = ToPlanar(fp.vecY.back());
        fp.vecStack.insert(fp.vecStack.end(), v.begin(), v.end());
    }
    fp.stackY = CFrameStackView{fp.vecStack.data(), h, w, c.iPlanes, c.iFrames};
}

cv::Mat FrameOf(const std::vector<double>& vecStack, const CFrameStackView& shape, int k)
{
    const std::size_t iFrame = shape.PlaneSize() * shape.iPlanes;
    return NSysApply::view2cv(
        CPlanarView{vecStack.data() + k * iFrame, shape.iRows, shape.iCols, shape.iPlanes, false});
}

std::vector<double> Residuals(const CFrameProblem& fp, CFrameWarnings& warnings)
{
    std::vector<double> v(fp.vecStack.size(), kNaN);
    NSysApply::ComputeFrameResiduals(fp.pr.args, fp.stackY, v.data(), warnings);
    return v;
}

std::vector<double> Rhs(const CFrameProblem& fp, CFrameWarnings& warnings)
{
    std::vector<double> v(fp.pr.args.viewX.PlaneSize() * fp.pr.args.viewX.iPlanes, kNaN);
    NSysApply::ComputeWeightedRhs(fp.pr.args, fp.stackY, v.data(), warnings);
    return v;
}

cv::Mat ReferenceResidual(const CFrameProblem& fp, int k)
{
    const COperatorArguments& a = fp.pr.args;
    cv::Mat imgWarped;
    if (k != a.iReferenceFrame)
        NSysApply::WarpNearest(imgWarped, fp.pr.imgX, fp.pr.vecMaps[k]);
    else
        imgWarped = fp.pr.imgX;
    cv::Mat imgLow;
    NSysApply::BlurDecimate(imgLow, imgWarped, a.vecKernels[k], a.iScale);
    return imgLow - fp.vecY[k];
}

cv::Mat ReferenceRhs(const CFrameProblem& fp, std::size_t& iIllegal)
{
    const COperatorArguments& a = fp.pr.args;
    cv::Mat imgSum = cv::Mat::zeros(fp.pr.imgX.size(), fp.pr.imgX.type());
    iIllegal = 0;
    for (int k = 0; k < a.iFrames; ++k) {
        cv::Mat imgWeighted = a.bWeighted ? fp.pr.vecWeights[k].mul(fp.vecY[k]) : fp.vecY[k];
        cv::Mat imgUp;
        NSysApply::UpsampleBlurTranspose(imgUp, imgWeighted, a.vecKernels[k], a.iScale);
        cv::Mat imgTerm;
        if (k != a.iReferenceFrame) {
            NSysApply::CIllegalVectorList lst;
            NSysApply::WarpNearestTranspose(imgTerm, imgUp, fp.pr.vecMaps[k], lst);
            iIllegal += lst.size();
        } else {
            imgTerm = imgUp;
        }
        imgSum += imgTerm;
    }
    return imgSum * (a.dDataTermScale / a.iFrames);
}

std::size_t CountWarnings(const CFrameWarnings& warnings)
{
    std::size_t n = 0;
    for (const auto& lst : warnings) n += lst.size();
    return n;
}

const CFrameCase kCases[] = {
    {24, 32, 3, 4, 2, 5, 0, 0.0},   // colour, the usual shape
    {30, 21, 1, 3, 3, 4, 2, 0.0},   // grey, s = 3, even kernel, last frame the reference
    {16, 16, 3, 5, 2, 3, -1, 0.0},  // no reference frame: every frame warped
    {20, 24, 3, 3, 2, 5, 0, 0.03},  // illegal map entries
    {8, 8, 2, 1, 1, 1, 0, 0.0},     // s = 1, 1 x 1 kernel, a single frame
};

TEST(FrameResiduals, MatchTheStraightforwardOperators)
{
    cv::RNG rng(1701);
    for (const CFrameCase& c : kCases) {
        CFrameProblem fp;
        MakeFrameProblem(fp, c, rng);
        CFrameWarnings warnings;
        const std::vector<double> v = Residuals(fp, warnings);
        for (int k = 0; k < c.iFrames; ++k) {
            EXPECT_LT(RelativeDifference(FrameOf(v, fp.stackY, k), ReferenceResidual(fp, k)), 1e-12)
                << c.iRows << "x" << c.iCols << "x" << c.iPlanes << " frame " << k;
        }
        ASSERT_EQ(warnings.size(), static_cast<std::size_t>(c.iFrames));
        EXPECT_EQ(CountWarnings(warnings) > 0, c.dNaN > 0.0);
        if (c.iReference >= 0) {
            EXPECT_TRUE(warnings[c.iReference].empty());
        }
    }
}

TEST(WeightedRhs, MatchesTheStraightforwardOperators)
{
    cv::RNG rng(1702);
    for (const CFrameCase& c : kCases) {
        CFrameProblem fp;
        MakeFrameProblem(fp, c, rng);
        for (const bool bWeighted : {true, false}) {
            fp.pr.args.bWeighted = bWeighted;
            CFrameWarnings warnings;
            const std::vector<double> v = Rhs(fp, warnings);
            const cv::Mat imgRhs = NSysApply::view2cv(CPlanarView{v.data(), c.iRows, c.iCols, c.iPlanes, false});
            std::size_t iIllegal = 0;
            const cv::Mat imgReference = ReferenceRhs(fp, iIllegal);
            EXPECT_LT(RelativeDifference(imgRhs, imgReference), 1e-12)
                << c.iRows << "x" << c.iCols << "x" << c.iPlanes << (bWeighted ? " weighted" : " unweighted");
            EXPECT_EQ(CountWarnings(warnings), iIllegal);
        }
    }
}

// The rhs is the adjoint of the residual's forward part: <b, x> equals
// (f/N) sum_k <W_k .* y_k, D B M_k x>, which ties the two functions together.
// (Exactly so for a 1 x 1 kernel: with a wider one the replicated border of
// the transposed blur is the model's approximation, not a transpose.)
TEST(FrameTerms, RhsIsTheAdjointOfTheForwardPart)
{
    cv::RNG rng(1703);
    CFrameProblem fp;
    MakeFrameProblem(fp, CFrameCase{24, 20, 3, 4, 2, 1, 1, 0.0}, rng);
    CFrameWarnings warnings;
    const std::vector<double> vRes = Residuals(fp, warnings);
    const std::vector<double> vRhs = Rhs(fp, warnings);
    const COperatorArguments& a = fp.pr.args;
    double dRight = 0.0;
    for (int k = 0; k < a.iFrames; ++k) {
        const cv::Mat imgForward = FrameOf(vRes, fp.stackY, k) + fp.vecY[k];
        dRight += Dot(fp.pr.vecWeights[k].mul(fp.vecY[k]), imgForward);
    }
    dRight *= a.dDataTermScale / a.iFrames;
    const cv::Mat imgRhs = NSysApply::view2cv(CPlanarView{vRhs.data(), 24, 20, 3, false});
    EXPECT_NEAR(Dot(imgRhs, fp.pr.imgX), dRight, 1e-10 * std::abs(dRight));
}

TEST(FrameTerms, SameBitsForEveryThreadCount)
{
    cv::RNG rng(1704);
    CFrameProblem fp;
    MakeFrameProblem(fp, CFrameCase{32, 28, 3, 7, 2, 5, 3, 0.01}, rng);
    const int iDefault = omp_get_max_threads();
    std::vector<std::vector<double>> vecRes, vecRhs;
    for (const int iThreads : {1, 2, 3, 8}) {
        omp_set_num_threads(iThreads);
        CFrameWarnings warnings;
        vecRes.push_back(Residuals(fp, warnings));
        vecRhs.push_back(Rhs(fp, warnings));
    }
    omp_set_num_threads(iDefault);
    for (std::size_t i = 1; i < vecRes.size(); ++i) {
        EXPECT_TRUE(std::memcmp(vecRes[0].data(), vecRes[i].data(), vecRes[0].size() * sizeof(double)) == 0) << i;
        EXPECT_TRUE(std::memcmp(vecRhs[0].data(), vecRhs[i].data(), vecRhs[0].size() * sizeof(double)) == 0) << i;
    }
}

}  // namespace
