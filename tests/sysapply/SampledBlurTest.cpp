// The sampled blur pair against the full-resolution filter2D forms it
// replaces: kernels of odd and even size, larger than the image, every border.
#include "SysApplyTestUtil.h"

#include "mexglue/NearestPixel.h"
#include "qmv_system_apply/blur/SampledBlurOperators.h"
#include "qmv_system_apply/blur/ScaledRowSums.h"
#include "tests/reference/ReferenceForwardOperators.h"
#include "tests/reference/ReferenceSystemOperator.h"
#include "tests/reference/ReferenceTransposeOperators.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

using namespace NSysApply;
using NMexGlue::MapToPixel;
using namespace NSysApplyTest;

struct CBlurCase {
    int iRows, iCols, iPlanes, iScale, iKh, iKw;
};

// 9 x 9 and larger kernels take filter2D's DFT path; the 1 x 1 and 2 x 2 images
// make every tap a border tap.
const CBlurCase kCases[] = {
    {12, 16, 1, 1, 3, 3}, {12, 16, 3, 2, 5, 5}, {18, 15, 3, 3, 9, 9}, {16, 16, 2, 2, 4, 6}, {7, 9, 1, 2, 3, 5},
    {20, 8, 5, 4, 1, 7},  {2, 2, 3, 2, 9, 9},   {3, 3, 1, 3, 11, 2},  {1, 1, 3, 1, 5, 5},   {30, 24, 3, 3, 13, 13},
};

// Random entries take the 2-D sum; the product of a column and a row (any
// signs) takes the factored form.
cv::Mat MakeKernel(int iKh, int iKw, bool bProduct, cv::RNG& rng)
{
    if (!bProduct) return RandomMat(iKh, iKw, 1, rng);
    return cv::Mat(RandomMat(iKh, 1, 1, rng) * RandomMat(1, iKw, 1, rng));
}

// Every geometry with either kind of kernel.
std::vector<std::pair<CBlurCase, bool>> KernelCases()
{
    std::vector<std::pair<CBlurCase, bool>> vecCases;
    for (const bool bProduct : {false, true})
        for (const CBlurCase& c : kCases) vecCases.emplace_back(c, bProduct);
    return vecCases;
}

TEST(SampledBlur, ForwardAgreesWithFullResolutionFiltering)
{
    cv::RNG rng(7);
    for (const auto& [c, bProduct] : KernelCases()) {
        const cv::Mat imgSrc = RandomMat(c.iRows, c.iCols, c.iPlanes, rng);
        const cv::Mat imgKernel = MakeKernel(c.iKh, c.iKw, bProduct, rng);
        cv::Mat imgFast, imgReference;
        BlurDecimateAtSamples(imgFast, imgSrc, imgKernel, c.iScale);
        BlurDecimate(imgReference, imgSrc, imgKernel, c.iScale);
        ASSERT_EQ(imgFast.size(), imgReference.size());
        EXPECT_LE(RelativeDifference(imgFast, imgReference), 1e-12)
            << c.iRows << "x" << c.iCols << "x" << c.iPlanes << " s=" << c.iScale << " k=" << c.iKh << "x" << c.iKw
            << (bProduct ? " (product kernel)" : "");
    }
}

TEST(SampledBlur, TransposeAgreesWithZeroFillAndFiltering)
{
    cv::RNG rng(8);
    for (const auto& [c, bProduct] : KernelCases()) {
        const cv::Mat imgLow =
            RandomMat(std::max(c.iRows / c.iScale, 1), std::max(c.iCols / c.iScale, 1), c.iPlanes, rng);
        const cv::Mat imgKernel = MakeKernel(c.iKh, c.iKw, bProduct, rng);
        cv::Mat imgFast, imgReference;
        UpsampleBlurTransposeFromSamples(imgFast, imgLow, imgKernel, c.iScale);
        UpsampleBlurTranspose(imgReference, imgLow, imgKernel, c.iScale);
        ASSERT_EQ(imgFast.size(), imgReference.size());
        EXPECT_LE(RelativeDifference(imgFast, imgReference), 1e-12)
            << c.iRows << "x" << c.iCols << "x" << c.iPlanes << " s=" << c.iScale << " k=" << c.iKh << "x" << c.iKw
            << (bProduct ? " (product kernel)" : "");
    }
}

// The fused forward warp on a transposed plane, as the module runs it, against
// the straightforward warp followed by the sampled blur on that plane.
TEST(SampledBlur, WarpedFormEqualsTheComposedOperatorsBitForBit)
{
    cv::RNG rng(10);
    for (const auto& [c, bProduct] : KernelCases()) {
        const int iRows = c.iScale * std::max(c.iRows / c.iScale, 1),
                  iCols = c.iScale * std::max(c.iCols / c.iScale, 1);
        const cv::Mat imgSrc = RandomMat(iRows, iCols, 1, rng);
        const cv::Mat imgKernel = MakeKernel(c.iKh, c.iKw, bProduct, rng);
        const cv::Mat imgMap = RandomMap(iRows, iCols, rng, 5.0, 0.1);
        CPlanarStore store;
        const CPlanarView viewMap = store.View(imgMap);
        cv::Mat imgWarped, imgComposed, imgFused;
        WarpNearest(imgWarped, imgSrc, viewMap);
        BlurDecimateAtSamples(imgComposed, cv::Mat(imgWarped.t()), imgKernel, c.iScale);
        CFrameMapOffsets offsets;
        offsets.ResolveColumnMajor(viewMap);
        WarpBlurDecimateAtSamples(imgFused, cv::Mat(imgSrc.t()), offsets, imgKernel, c.iScale);
        EXPECT_TRUE(BitIdentical(imgFused, imgComposed))
            << iRows << "x" << iCols << " s=" << c.iScale << (bProduct ? " (product)" : "");

        // The resolved map names the same illegal entries, in the order the
        // straightforward transposed warp reports them.
        cv::Mat imgBack;
        CIllegalVectorList lstComposed, lstResolved;
        WarpNearestTranspose(imgBack, imgWarped, viewMap, lstComposed);
        offsets.IllegalEntriesColumnMajor(viewMap, lstResolved);
        ASSERT_EQ(lstResolved.size(), lstComposed.size());
        for (size_t i = 0; i < lstResolved.size(); ++i) {
            EXPECT_EQ(lstResolved[i].iX, lstComposed[i].iX);
            EXPECT_EQ(lstResolved[i].iY, lstComposed[i].iY);
        }
    }
}

TEST(SampledBlur, ReusesADestinationOfTheRightSize)
{
    cv::RNG rng(9);
    const cv::Mat imgSrc = RandomMat(8, 8, 3, rng), imgKernel = RandomMat(3, 3, 1, rng);
    cv::Mat imgLow(4, 4, CV_64FC3), imgHigh(8, 8, CV_64FC3);
    const uchar* pLow = imgLow.data;
    const uchar* pHigh = imgHigh.data;
    BlurDecimateAtSamples(imgLow, imgSrc, imgKernel, 2);
    UpsampleBlurTransposeFromSamples(imgHigh, imgLow, imgKernel, 2);
    EXPECT_EQ(imgLow.data, pLow);
    EXPECT_EQ(imgHigh.data, pHigh);
}

}  // namespace

namespace {

// The row sums behind both directions: each element is the sum from 0.0 in
// tap order (so products of -0.0 give +0.0), and the AVX2 form, where the
// processor has it, gives the bits of the plain one for every tap count and
// row length (vector bodies, remainders, misaligned rows, non-finite values).
TEST(SampledBlur, RowSumsStartFromZeroAndWiderRegistersGiveTheSameBits)
{
    cv::RNG rng(31);
    std::vector<double> vecIn(40 * 64);
    for (double& d : vecIn) d = rng.uniform(-1e3, 1e3);
    vecIn[5] = kNaN;
    vecIn[70] = std::numeric_limits<double>::infinity();
    for (int iTaps : {0, 1, 2, 3, 4, 5, 9, 25, 37}) {
        std::vector<const double*> vecRows(iTaps);
        std::vector<double> vecTaps(iTaps);
        for (int t = 0; t < iTaps; ++t) {
            vecRows[t] = vecIn.data() + t * 64;
            vecTaps[t] = rng.uniform(-2.0, 2.0);
        }
        const std::size_t iCount = 61;
        std::vector<double> vecSum(iCount, kNaN), vecExpected(iCount, 0.0);
        SumScaledRowsPortable(vecSum.data(), vecRows.data(), vecTaps.data(), iTaps, iCount);
        for (std::size_t m = 0; m < iCount; ++m)
            for (int t = 0; t < iTaps; ++t) vecExpected[m] = vecExpected[m] + vecTaps[t] * vecRows[t][m];
        EXPECT_EQ(std::memcmp(vecSum.data(), vecExpected.data(), iCount * sizeof(double)), 0) << iTaps << " taps";
    }
    {
        std::vector<double> vecZero(8, 0.0), vecNegativeZero(8, -0.0), vecSum(8, kNaN);
        const double* apRows[2] = {vecNegativeZero.data(), vecZero.data()};
        const double adTaps[2] = {1.0, -1.0};
        SumScaledRowsPortable(vecSum.data(), apRows, adTaps, 1, 8);
        EXPECT_FALSE(std::signbit(vecSum[0]));  // 0.0 + -0.0
        SumScaledRowsPortable(vecSum.data(), apRows, adTaps, 2, 8);
        EXPECT_FALSE(std::signbit(vecSum[3]));
    }
#if QMV_HAVE_AVX2_CLONES
    if (!CpuHasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    for (int iTaps : {0, 1, 2, 3, 4, 5, 9, 25, 37}) {
        for (std::size_t iCount : {1u, 3u, 4u, 7u, 16u, 61u}) {
            std::vector<const double*> vecRows(iTaps);
            std::vector<double> vecTaps(iTaps);
            for (int t = 0; t < iTaps; ++t) {
                vecRows[t] = vecIn.data() + t * 64 + (t % 3);  // rows at any alignment
                vecTaps[t] = rng.uniform(-2.0, 2.0);
            }
            std::vector<double> vecPlain(iCount, 0.25), vecWide(iCount, 0.75);
            SumScaledRowsPortable(vecPlain.data(), vecRows.data(), vecTaps.data(), iTaps, iCount);
            SumScaledRowsAvx2(vecWide.data(), vecRows.data(), vecTaps.data(), iTaps, iCount);
            EXPECT_EQ(std::memcmp(vecPlain.data(), vecWide.data(), iCount * sizeof(double)), 0)
                << iTaps << " taps, " << iCount;
        }
    }
#endif
}

}  // namespace

namespace {

// The branch-free map resolution (both builds of it) names the pixel of the
// nearest-pixel rule, halves rounding up and clamped, and -1 for non-finite
// coordinates, at every boundary and for coordinates far outside the image.
TEST(SampledBlur, MapResolutionFollowsTheNearestPixelRule)
{
    const int iRows = 7, iCols = 5;
    const std::size_t m = static_cast<std::size_t>(iRows) * iCols;
    const double kInf = std::numeric_limits<double>::infinity();
    const std::vector<double> vecValues = {kNaN,       kInf,   -kInf,     -1e300, 1e300,     -3e9, 3e9, -0.5,
                                           0.49999999, 0.5,    0.5000001, 1.0,    1.4999999, 1.5,  3.0, 4.5,
                                           5.0,        5.4999, 5.5,       6.5,    7.0,       7.5,  8.0, -0.0};
    std::vector<double> vecX, vecY;
    std::vector<std::int32_t> vecExpected;
    for (double dX : vecValues) {
        for (double dY : vecValues) {
            vecX.push_back(dX);
            vecY.push_back(dY);
            // The rule as the straightforward warp applies it; offsets of a
            // column-major iRows x iCols plane are X * iRows + Y.
            int iX = 0, iY = 0;
            vecExpected.push_back(MapToPixel(dX, dY, iCols, iRows, iX, iY) ? iX * iRows + iY : -1);
        }
    }
    // The entries go through maps of iRows x iCols, one after the other.
    for (std::size_t iFirst = 0; iFirst + m <= vecX.size(); iFirst += m) {
        const auto itExpected = vecExpected.begin() + static_cast<std::ptrdiff_t>(iFirst);
        std::vector<std::int32_t> vecPlain(m);
        EXPECT_EQ(ResolveColumnsPortable(vecPlain.data(), vecX.data() + iFirst, vecY.data() + iFirst, m, iRows, iCols),
                  static_cast<std::size_t>(std::count(itExpected, itExpected + static_cast<std::ptrdiff_t>(m), -1)));
        EXPECT_TRUE(std::equal(vecPlain.begin(), vecPlain.end(), itExpected)) << "entries from " << iFirst;
#if QMV_HAVE_AVX2_CLONES
        if (CpuHasAvx2()) {
            std::vector<std::int32_t> vecWide(m);
            EXPECT_EQ(ResolveColumnsAvx2(vecWide.data(), vecX.data() + iFirst, vecY.data() + iFirst, m, iRows, iCols),
                      static_cast<std::size_t>(std::count(vecPlain.begin(), vecPlain.end(), -1)));
            EXPECT_EQ(vecWide, vecPlain);
        }
#endif
    }
    EXPECT_GT(std::count(vecExpected.begin(), vecExpected.end(), -1), 0);
}

}  // namespace
