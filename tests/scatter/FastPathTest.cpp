// The entry's path straight between the arrays against the path through
// library images: bit-identical sums and the same illegal vectors in the same
// order, on maps that exercise every branch of the fast path (targets spread
// over the image, which read the planes ahead, targets near their sources,
// both in one image, many sources on few targets, non-finite and huge
// coordinates) and on shapes around its four-by-four blocks and cache lines.
#include "ScatterArrays.h"
#include "tests/reference/ReferenceScatterNearest.h"

#include "mex_standin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using NMexStandIn::CArrayPtr;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Coordinate (1-based) for source pixel (x, y) in plane c (0 = column, 1 = row).
using FCoordinate = std::function<double(size_t x, size_t y, size_t c)>;

struct CShape {
    size_t iH;
    size_t iW;
    size_t iK;  // 0: a 2-D image
};

std::vector<size_t> ImageDims(const CShape& s)
{
    return s.iK == 0 ? std::vector<size_t>{s.iH, s.iW} : std::vector<size_t>{s.iH, s.iW, s.iK};
}

// Values of very different magnitudes and signs, so that adding them in
// another order changes the last bits of the sums.
CArrayPtr RandomImage(const CShape& s, std::mt19937& gen)
{
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-20, 20);
    CArrayPtr img = NMexStandIn::MakeDouble(ImageDims(s));
    double* p = mxGetPr(img.get());
    for (size_t i = 0; i < mxGetNumberOfElements(img.get()); ++i) {
        p[i] = std::ldexp(mantissa(gen), exponent(gen));
    }
    return img;
}

CArrayPtr MakeMap(const CShape& s, const FCoordinate& fnCoord)
{
    CArrayPtr map = NMexStandIn::MakeDouble({s.iH, s.iW, 2});
    double* p = mxGetPr(map.get());
    for (size_t c = 0; c < 2; ++c) {
        for (size_t x = 0; x < s.iW; ++x) {
            for (size_t y = 0; y < s.iH; ++y) {
                p[c * s.iH * s.iW + x * s.iH + y] = fnCoord(x, y, c);
            }
        }
    }
    return map;
}

// Replaces about one coordinate in iEvery by a non-finite or huge value, or a
// value that is exactly half-way between two pixels.
FCoordinate WithOddEntries(FCoordinate fnCoord, unsigned iSeed, int iEvery)
{
    auto pGen = std::make_shared<std::mt19937>(iSeed);
    return [=](size_t x, size_t y, size_t c) {
        const double aOdd[] = {kNaN, kInf, -kInf, 1e300, -1e300, 3e9, -3e9, 2.5, 0.5, -0.5};
        std::uniform_int_distribution<int> pick(0, iEvery * 10 - 1);
        const int i = pick(*pGen);
        return i < 10 ? aOdd[i] : fnCoord(x, y, c);
    };
}

FCoordinate Spread(const CShape& s, unsigned iSeed)
{
    auto pGen = std::make_shared<std::mt19937>(iSeed);
    return [=](size_t, size_t, size_t c) {
        const double dSize = static_cast<double>(c == 0 ? s.iW : s.iH);
        return std::uniform_real_distribution<double>(-2.0, dSize + 3.0)(*pGen);
    };
}

// Motion as a reconstruction's maps have it: a small shift with jitter, so
// each band's targets lie in a few rows; some pile up on the border.
FCoordinate Motion(unsigned iSeed)
{
    auto pGen = std::make_shared<std::mt19937>(iSeed);
    return [=](size_t x, size_t y, size_t c) {
        const double dJitter = std::normal_distribution<double>(0.0, 0.6)(*pGen);
        return c == 0 ? static_cast<double>(x) + 2.3 + dJitter : static_cast<double>(y) - 1.7 + dJitter;
    };
}

// Many sources onto few targets: long sums whose order shows in the bits.
FCoordinate Crowded(unsigned iSeed)
{
    auto pGen = std::make_shared<std::mt19937>(iSeed);
    return [=](size_t, size_t, size_t) { return static_cast<double>(std::uniform_int_distribution<int>(1, 3)(*pGen)); };
}

// Motion in the upper half, targets spread over the image in the lower half.
FCoordinate Mixed(const CShape& s, unsigned iSeed)
{
    FCoordinate fnMotion = Motion(iSeed), fnSpread = Spread(s, iSeed + 1);
    return [=](size_t x, size_t y, size_t c) { return y < s.iH / 2 ? fnMotion(x, y, c) : fnSpread(x, y, c); };
}

struct CPathResult {
    CArrayPtr out;
    std::vector<CIllegalVector> vIllegal;
};

CPathResult RunPath(void (*fnPath)(const mxArray*, const mxArray*, mxArray*, std::vector<CIllegalVector>&),
                    const mxArray* pImg, const mxArray* pMap)
{
    CPathResult r;
    r.out = NMexStandIn::MakeDouble(NMexStandIn::Dims(pImg));
    fnPath(pImg, pMap, r.out.get(), r.vIllegal);
    return r;
}

// Both paths, then the entry itself, agree bit for bit.
void ExpectSamePaths(const CShape& s, const FCoordinate& fnCoord, unsigned iSeed, const std::string& sCase)
{
    SCOPED_TRACE(sCase + " " + std::to_string(s.iH) + "x" + std::to_string(s.iW) + "x" + std::to_string(s.iK));
    std::mt19937 gen(iSeed);
    CArrayPtr img = RandomImage(s, gen);
    CArrayPtr map = MakeMap(s, fnCoord);
    CPathResult ref = RunPath(ScatterArraysByImages, img.get(), map.get());
    CPathResult fast = RunPath(ScatterArraysInPlace, img.get(), map.get());
    const size_t iBytes = mxGetNumberOfElements(img.get()) * sizeof(double);
    EXPECT_EQ(std::memcmp(mxGetPr(ref.out.get()), mxGetPr(fast.out.get()), iBytes), 0);
    ASSERT_EQ(ref.vIllegal.size(), fast.vIllegal.size());
    std::string sWarnings;
    for (size_t i = 0; i < ref.vIllegal.size(); ++i) {
        EXPECT_EQ(ref.vIllegal[i].iX, fast.vIllegal[i].iX) << i;
        EXPECT_EQ(ref.vIllegal[i].iY, fast.vIllegal[i].iY) << i;
        sWarnings += "__warning: illegal flow vector at (" + std::to_string(ref.vIllegal[i].iX) + ", " +
                     std::to_string(ref.vIllegal[i].iY) + ")\n";
    }
    auto call = NMexStandIn::CallMex(1, {img.get(), map.get()});
    ASSERT_TRUE(call.bOk) << call.sError;
    EXPECT_EQ(std::memcmp(mxGetPr(ref.out.get()), mxGetPr(call.Output()), iBytes), 0);
    EXPECT_EQ(call.sPrinted, sWarnings);
}

const CShape kShapes[] = {
    {512, 40, 3},  // height a multiple of 512: power-of-two strides between columns
    {512, 40, 0},  {37, 53, 3}, {70, 29, 0},   {33, 1, 2}, {1, 77, 0},
    {5, 9, 4},     {1, 1, 0},   {30, 1300, 0},  // wide: long rows of targets, and a width that is no multiple of four
    {20, 5000, 2}, {23, 19, 6},                 // planes summed four, then two, to a pass
};

TEST(ScatterFastPath, SpreadTargetsMatchTheImagePathBitForBit)
{
    unsigned iSeed = 1;
    for (const CShape& s : kShapes) {
        ExpectSamePaths(s, Spread(s, iSeed), iSeed, "spread");
        ExpectSamePaths(s, WithOddEntries(Spread(s, iSeed), iSeed, 20), iSeed, "spread, odd");
        ++iSeed;
    }
}

TEST(ScatterFastPath, MotionTargetsMatchTheImagePathBitForBit)
{
    unsigned iSeed = 100;
    for (const CShape& s : kShapes) {
        ExpectSamePaths(s, Motion(iSeed), iSeed, "motion");
        ExpectSamePaths(s, WithOddEntries(Motion(iSeed), iSeed, 50), iSeed, "motion, odd");
        ExpectSamePaths(s, Mixed(s, iSeed), iSeed, "mixed");
        ExpectSamePaths(s, Crowded(iSeed), iSeed, "crowded");
        ++iSeed;
    }
}

TEST(ScatterFastPath, MapsWithoutLegalVectorsOrWithOnlyHugeOnesMatch)
{
    const CShape s{64, 9, 3};
    ExpectSamePaths(
        s, [](size_t, size_t, size_t) { return kNaN; }, 7, "all NaN");
    ExpectSamePaths(
        s, [](size_t x, size_t, size_t c) { return c == 0 && x % 2 ? kInf : 1e300; }, 8, "huge and infinite");
    ExpectSamePaths(s, WithOddEntries(Spread(s, 9), 9, 1), 9, "mostly odd");
}

}  // namespace
