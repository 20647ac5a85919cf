// The pieces of the entry's path: targets found four by four with AVX2
// against the element-by-element rule, and the lists with 64-bit entries
// (which only planes beyond 2^30 elements take) against the scatter on
// library images.
#include "ContributionLists.h"
#include "MapTargets.h"
#include "MapTargetsAvx2.h"
#include "ScatterArrays.h"
#include "tests/reference/ReferenceScatterNearest.h"

#include "mex_standin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using NContributionLists::FindTargets;
using NContributionLists::FindTargetsPortable;

// A column-major H x W x 2 map of 1-based coordinates around the plane, with
// about one entry in iOddEvery non-finite, huge or exactly half-way.
std::vector<double> RandomMap(qelMInt iW, qelMInt iH, unsigned iSeed, int iOddEvery)
{
    const double kNaN = std::numeric_limits<double>::quiet_NaN();
    const double kInf = std::numeric_limits<double>::infinity();
    const double aOdd[] = {kNaN, kInf, -kInf, 1e300, -1e300, 3e9, -3e9, 2.5, 0.5, -0.5, 1.5, -0.0};
    std::mt19937 gen(iSeed);
    std::uniform_int_distribution<int> pick(0, iOddEvery * 12 - 1);
    std::vector<double> map(static_cast<size_t>(iW) * iH * 2);
    for (size_t i = 0; i < map.size(); ++i) {
        const double dSize = i < map.size() / 2 ? iW : iH;
        const int iOdd = pick(gen);
        map[i] = iOdd < 12 ? aOdd[iOdd] : std::uniform_real_distribution<double>(-2.0, dSize + 3.0)(gen);
    }
    return map;
}

struct CTargets {
    std::vector<std::uint32_t> vTargets;
    std::vector<std::uint32_t> vCounts;
    std::ptrdiff_t iLegal;
};

template <class FFind>
CTargets Targets(FFind fnFind, const std::vector<double>& map, qelMInt iW, qelMInt iH)
{
    const std::ptrdiff_t iPitch = NContributionLists::TargetPitch<std::uint32_t>(iW);
    CTargets r;
    r.vTargets.assign(static_cast<size_t>(iPitch * iH), 0);
    r.vCounts.assign(static_cast<size_t>(iW) * iH, 0);
    r.iLegal = fnFind(map.data(), iW, iH, r.vTargets.data(), iPitch, r.vCounts.data());
    return r;
}

TEST(ScatterTargets, FourByFourBlocksAgreeWithTheElementRule)
{
    if (!NContributionLists::HasAvx2()) {
        GTEST_SKIP() << "no AVX2 on this processor";
    }
    const qelMInt aSizes[][2] = {{1, 1}, {4, 4}, {3, 9}, {13, 7}, {17, 33}, {40, 512}, {64, 5}};
    unsigned iSeed = 1;
    for (const auto& size : aSizes) {
        for (int iOddEvery : {1, 4, 1000}) {
            SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]) + " odd 1/" +
                         std::to_string(iOddEvery));
            const std::vector<double> map = RandomMap(size[0], size[1], iSeed++, iOddEvery);
            const CTargets block = Targets(NContributionLists::FindTargetsAvx2, map, size[0], size[1]);
            const CTargets rule = Targets(FindTargetsPortable<std::uint32_t>, map, size[0], size[1]);
            EXPECT_EQ(block.vTargets, rule.vTargets);
            EXPECT_EQ(block.vCounts, rule.vCounts);
            EXPECT_EQ(block.iLegal, rule.iLegal);
        }
    }
}

TEST(ScatterTargets, RoundHalfUpClampAndMarkNonFiniteVectors)
{
    // One row of five sources in a 3 x 5 plane: (column, row) 1-based.
    const qelMInt iW = 5, iH = 1;
    const std::vector<double> map = {2.5, 2.499, -7.0, 1e300, std::numeric_limits<double>::quiet_NaN(),
                                     1.0, 1.0,   1.0,  1.0,   1.0};
    for (bool bBlocks : {false, true}) {
        const CTargets r = bBlocks ? Targets(FindTargets<std::uint32_t>, map, iW, iH)
                                   : Targets(FindTargetsPortable<std::uint32_t>, map, iW, iH);
        const std::uint32_t kNone = NContributionLists::kNoTarget<std::uint32_t>;
        EXPECT_EQ(std::vector<std::uint32_t>(r.vTargets.begin(), r.vTargets.begin() + iW),
                  (std::vector<std::uint32_t>{2, 1, 0, 4, kNone}));
        EXPECT_EQ(r.vCounts, (std::vector<std::uint32_t>{1, 1, 1, 0, 1}));
        EXPECT_EQ(r.iLegal, 4);
    }
}

TEST(ScatterLists, SixtyFourBitEntriesGiveTheImagePathsSums)
{
    const qelMInt aShapes[][3] = {{7, 5, 3}, {33, 16, 1}, {20, 9, 6}};
    unsigned iSeed = 50;
    for (const auto& s : aShapes) {
        const qelMInt iW = s[0], iH = s[1], iK = s[2];
        SCOPED_TRACE(std::to_string(iW) + "x" + std::to_string(iH) + "x" + std::to_string(iK));
        std::mt19937 gen(iSeed);
        const std::vector<double> vMap = RandomMap(iW, iH, iSeed++, 6);
        NMexStandIn::CArrayPtr img =
            NMexStandIn::MakeDoubleFrom(size_t(iH), size_t(iW), size_t(iK), [&](int, int, int) {
                return std::ldexp(std::uniform_real_distribution<double>(-1.0, 1.0)(gen),
                                  std::uniform_int_distribution<int>(-20, 20)(gen));
            });
        NMexStandIn::CArrayPtr map = NMexStandIn::MakeDouble({size_t(iH), size_t(iW), 2}, vMap);
        NMexStandIn::CArrayPtr ref = NMexStandIn::MakeDouble(NMexStandIn::Dims(img.get()));
        std::vector<CIllegalVector> vRefIllegal, vIllegal;
        ScatterArraysByImages(img.get(), map.get(), ref.get(), vRefIllegal);

        const auto lists = NContributionLists::BuildLists<std::uint64_t>(vMap.data(), iW, iH, vIllegal);
        std::vector<double> vOut(mxGetNumberOfElements(img.get()), -1.0);
        NContributionLists::SumLists(lists, mxGetPr(img.get()), vOut.data(), iW, iH, iK);
        EXPECT_EQ(std::memcmp(vOut.data(), mxGetPr(ref.get()), vOut.size() * sizeof(double)), 0);
        ASSERT_EQ(vIllegal.size(), vRefIllegal.size());
        for (size_t i = 0; i < vIllegal.size(); ++i) {
            EXPECT_EQ(vIllegal[i].iX, vRefIllegal[i].iX);
            EXPECT_EQ(vIllegal[i].iY, vRefIllegal[i].iY);
        }
    }
}

}  // namespace
