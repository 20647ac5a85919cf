// The heap one call of qmv_system_apply needs at its peak, against the budget
// of N + 2 * threads + 4 high-resolution images (the inputs belong to the
// caller and are not counted; the output is). This binary replaces malloc to
// count, so it holds no other tests.
#include "tests/sysapply/AllocationMeter.h"

#include "mex_standin.h"
#include "qmv_system_apply/frameloop/LargeBuffers.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace NMexStandIn;

// Peak heap of one call, in high-resolution images.
double PeakImages(int iSize, int iPlanes, int iFrames, int iScale, int iKernel, int iThreads)
{
    CArrayPtr imgI =
        MakeDoubleFrom(iSize, iSize, iPlanes, [](int y, int x, int c) { return std::sin(0.1 * y + 0.2 * x + c); });
    std::vector<CArrayPtr> kers, weights, maps;
    for (int k = 0; k < iFrames; ++k) {
        kers.push_back(MakeDoubleFrom(iKernel, iKernel, 1, [](int, int, int) { return 0.1; }));
        weights.push_back(MakeDoubleFrom(iSize / iScale, iSize / iScale, iPlanes, [](int, int, int) { return 0.5; }));
        maps.push_back(MakeDoubleFrom(iSize, iSize, 2, [k](int y, int x, int c) { return (c ? y : x) + 1 + 0.7 * k; }));
    }
    std::vector<std::pair<std::string, CArrayPtr>> fields;
    fields.emplace_back("idx0", MakeScalar(1));
    fields.emplace_back("numFrames", MakeScalar(iFrames));
    fields.emplace_back("scaleFactor", MakeScalar(iScale));
    fields.emplace_back("vecKers", MakeCellFrom(std::move(kers)));
    fields.emplace_back("imgWs", MakeDoubleFrom(iSize, iSize, iPlanes, [](int, int, int) { return 1.0; }));
    fields.emplace_back("vecImgW", MakeCellFrom(std::move(weights)));
    fields.emplace_back("vecMapB", MakeCellFrom(std::move(maps)));
    fields.emplace_back("dataTermScale", MakeScalar(1.0));
    fields.emplace_back("eta", MakeScalar(0.1));
    CArrayPtr param = MakeStructFrom(std::move(fields));

    const int iBefore = omp_get_max_threads();
    omp_set_num_threads(iThreads);
    CallMex(1, {imgI.get(), param.get()});  // threads and their pools start here, not in the measured call
    NSysApply::ReleaseKeptBuffers();        // the measured call starts without the buffers of this one
    bool bOk = false;
    const long long iPeak = NAllocationMeter::PeakBytesOf([&] { bOk = CallMex(1, {imgI.get(), param.get()}).bOk; });
    omp_set_num_threads(iBefore);
    EXPECT_TRUE(bOk);
    return static_cast<double>(iPeak) / (static_cast<double>(iSize) * iSize * iPlanes * sizeof(double));
}

TEST(SysApplyMemory, PeakStaysWithinTheBudget)
{
    struct CCase {
        int iSize, iPlanes, iFrames, iScale, iKernel;
    };
    for (const CCase& c :
         {CCase{192, 3, 8, 2, 5}, CCase{192, 1, 8, 3, 9}, CCase{96, 3, 2, 1, 3}, CCase{448, 3, 8, 2, 5}}) {
        for (int iThreads : {1, 2, 4}) {
            const int iTeam = std::min(iThreads, c.iFrames);
            const double dPeak = PeakImages(c.iSize, c.iPlanes, c.iFrames, c.iScale, c.iKernel, iThreads);
            EXPECT_LE(dPeak, c.iFrames + 2 * iTeam + 4)
                << c.iSize << "x" << c.iSize << "x" << c.iPlanes << " N=" << c.iFrames << " threads=" << iThreads;
            std::printf("%dx%dx%d N=%d s=%d k=%d threads=%d: peak %.2f images (budget %d)\n", c.iSize, c.iSize,
                        c.iPlanes, c.iFrames, c.iScale, c.iKernel, iThreads, dPeak, c.iFrames + 2 * iTeam + 4);
        }
    }
}

}  // namespace

namespace {

// Buffers of a megabyte and more outlive their call for the next one of the
// same size; another size gives them back, and so does ReleaseKeptBuffers.
// Smaller ones go back at once.
TEST(SysApplyMemory, LargeBuffersAreKeptForTheSameSizeOnly)
{
#if defined(__linux__)
    using NAllocationMeter::g_iCurrent;
    const std::size_t iEight = std::size_t(8) << 20, iTwelve = std::size_t(12) << 20;
    NSysApply::ReleaseKeptBuffers();
    const long long iBase = g_iCurrent.load();
    void* p = NSysApply::AllocateLarge(iEight);
    NSysApply::FreeLarge(p, iEight);
    EXPECT_GE(g_iCurrent.load() - iBase, static_cast<long long>(iEight));  // kept
    void* q = NSysApply::AllocateLarge(iEight);
    EXPECT_EQ(p, q);
    NSysApply::FreeLarge(q, iEight);
    void* r = NSysApply::AllocateLarge(iTwelve);
    EXPECT_LT(g_iCurrent.load() - iBase, static_cast<long long>(iTwelve + iEight));  // the 8 MB one is gone
    NSysApply::FreeLarge(r, iTwelve);
    NSysApply::ReleaseKeptBuffers();
    EXPECT_EQ(g_iCurrent.load(), iBase);

    const std::size_t iOneAndHalf = std::size_t(3) << 19, iHalf = std::size_t(1) << 19;
    void* s = NSysApply::AllocateLarge(iOneAndHalf);
    NSysApply::FreeLarge(s, iOneAndHalf);
    EXPECT_GE(g_iCurrent.load() - iBase, static_cast<long long>(iOneAndHalf));  // kept
    void* t = NSysApply::AllocateLarge(iHalf);
    NSysApply::FreeLarge(t, iHalf);
    EXPECT_LT(g_iCurrent.load() - iBase, static_cast<long long>(iOneAndHalf + iHalf));  // not kept
    EXPECT_EQ(NSysApply::AllocateLarge(iOneAndHalf), s);
    NSysApply::FreeLarge(s, iOneAndHalf);
    NSysApply::ReleaseKeptBuffers();
    EXPECT_EQ(g_iCurrent.load(), iBase);
#else
    GTEST_SKIP() << "the allocation meter counts on Linux only";
#endif
}

}  // namespace
