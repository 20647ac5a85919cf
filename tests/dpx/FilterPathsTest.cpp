// The filter's fast path against its scalar reference: the vectorised
// exponential within 2 units in the last place of expf, the vector kernel's
// exponents bit for bit, and results independent of the thread count.
#include "DpxTestImages.h"

#include "dpx_guided_smooth/BilatKernel.h"
#include "dpx_guided_smooth/ImgBilatFilter.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace NDpxTest;
using CFilter = CImgBilatFilter<float, CColour>;

namespace {

// Distance in representable floats (same sign assumed, as for exp).
std::int64_t UlpDistance(float a, float b)
{
    std::int32_t ia, ib;
    std::memcpy(&ia, &a, sizeof ia);
    std::memcpy(&ib, &b, sizeof ib);
    return std::llabs(static_cast<std::int64_t>(ia) - ib);
}

CFloatImage FilterWith(const CGuide& guide, const CFloatImage& src, int r, float fSeps, float fReps, int iP,
                       CFilter::EKernel eKernel)
{
    testing::internal::CaptureStderr();  // p = 3 is reported; not the point here
    CFilter filter(r, fSeps, fReps, iP);
    testing::internal::GetCapturedStderr();
    filter.SetKernel(eKernel);
    filter.Precompute(guide);
    CFloatImage dst;
    filter.RunFilter(dst, src);
    return dst;
}

struct SCase {
    int iW, iH, r;
};

// Widths below, at and around the vector width, radii from 0 to beyond the image.
const SCase aCases[] = {{1, 1, 1},   {3, 5, 1},   {8, 8, 2},  {9, 4, 3},       {17, 13, 2},
                        {40, 23, 5}, {31, 9, 12}, {64, 3, 0}, {12, 7, INT_MAX}};

}  // namespace

TEST(DpxFastPath, VectorExpWithinTwoUlpOfExpf)
{
    std::vector<float> vIn;
    for (std::uint64_t u = 0; u <= 0xffffffffu; u += 4093) {  // every sign and exponent
        const std::uint32_t v = static_cast<std::uint32_t>(u);
        float f;
        std::memcpy(&f, &v, sizeof f);
        vIn.push_back(f);
    }
    for (float f = -110.0f; f < 95.0f; f += 0.0137f) vIn.push_back(f);  // the working range, densely
    const float inf = std::numeric_limits<float>::infinity();
    // Underflow and overflow thresholds, subnormal results, specials.
    for (float f : {0.0f, -0.0f, inf, -inf, -87.33654f, -87.33655f, -103.27893f, -103.97208f, -103.97209f, 88.72283f,
                    88.72284f, 1e-30f, -1e-45f, 1e-7f})
        vIn.push_back(f);
    std::vector<float> vOut(vIn.size());
    NBilatKernel::ExpfVector(vIn.data(), vOut.data(), vIn.size());

    std::int64_t iMax = 0;
    for (std::size_t i = 0; i < vIn.size(); ++i) {
        const float fRef = std::exp(vIn[i]);
        if (std::isnan(fRef)) {
            EXPECT_TRUE(std::isnan(vOut[i])) << vIn[i];
            continue;
        }
        const std::int64_t iUlp = UlpDistance(vOut[i], fRef);
        iMax = std::max(iMax, iUlp);
        ASSERT_LE(iUlp, 2) << "x = " << vIn[i] << ": " << vOut[i] << " vs expf " << fRef;
    }
    RecordProperty("max_ulp", static_cast<int>(iMax));
}

TEST(DpxFastPath, VectorKernelFormsTheExponentsBitForBit)
{
    if (!NBilatKernel::HasVectorPath()) GTEST_SKIP() << "no AVX2 on this processor";
    unsigned uSeed = 100;
    for (const SCase& c : aCases) {
        CGuide guide = RandomGuide(c.iW, c.iH, ++uSeed);
        CFloatImage src = RandomFloat(c.iW, c.iH, ++uSeed);
        // Non-finite values must stay inside the windows that contain them.
        if (c.iW > 6) {
            src.At(c.iW - 1, 0) = std::numeric_limits<float>::infinity();
            guide.At(0, c.iH - 1).g = std::numeric_limits<float>::quiet_NaN();
        }
        for (int iP : {1, 2, 3}) {
            const auto vScalar = Bits(FilterWith(guide, src, c.r, 1.3f, 0.2f, iP, CFilter::EKernel::Scalar));
            EXPECT_EQ(Bits(FilterWith(guide, src, c.r, 1.3f, 0.2f, iP, CFilter::EKernel::VectorScalarExp)), vScalar)
                << c.iW << " x " << c.iH << ", r = " << c.r << ", p = " << iP;
        }
    }
}

TEST(DpxFastPath, FastKernelStaysCloseToTheScalarReference)
{
    unsigned uSeed = 200;
    for (const SCase& c : aCases) {
        const CGuide guide = RandomGuide(c.iW, c.iH, ++uSeed);
        const CFloatImage src = RandomFloat(c.iW, c.iH, ++uSeed);
        for (int iP : {1, 2}) {
            const auto vScalar = Pixels(FilterWith(guide, src, c.r, 2.0f, 0.3f, iP, CFilter::EKernel::Scalar));
            const auto vFast = Pixels(FilterWith(guide, src, c.r, 2.0f, 0.3f, iP, CFilter::EKernel::Fastest));
            ASSERT_EQ(vFast.size(), vScalar.size());
            // Weights within 2 ulp move a mean of values in [0, 1] by a few 1e-7.
            for (std::size_t i = 0; i < vFast.size(); ++i) EXPECT_NEAR(vFast[i], vScalar[i], 2e-6);
        }
    }
}

TEST(DpxFastPath, ResultsDoNotDependOnTheThreadCount)
{
    const CGuide guide = RandomGuide(45, 37, 300);
    const CFloatImage src = RandomFloat(45, 37, 301);
    const int nSaved = omp_get_max_threads();
    for (auto eKernel : {CFilter::EKernel::Fastest, CFilter::EKernel::Scalar}) {
        omp_set_num_threads(1);
        const auto vOne = Bits(FilterWith(guide, src, 4, 2.0f, 0.3f, 2, eKernel));
        for (int n : {2, 3, 7}) {
            omp_set_num_threads(n);
            EXPECT_EQ(Bits(FilterWith(guide, src, 4, 2.0f, 0.3f, 2, eKernel)), vOne) << n << " threads";
        }
    }
    omp_set_num_threads(nSaved);
}
