// The nearest-pixel rule and the modules' faster forms of it: the operator's
// branch-free offsets and the scatter's min/max index must name the same
// pixel as the rule for every coordinate, or a warp and its transpose (or the
// scatter's vector and scalar paths) would disagree.
#include "mexglue/NearestPixel.h"

#include "qmv_scatter_nearest/MapTargetRule.h"
#include "qmv_system_apply/warp/MapOffsets.h"
#include "tests/reference/ReferenceMapStrips.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using NMexGlue::MapToPixel;
using NMexGlue::NearestIndex;

std::vector<double> Coordinates()
{
    const double dInf = std::numeric_limits<double>::infinity();
    std::vector<double> v = {
        -dInf, -3e9, -1.0,      -0.5000001, -0.5, -0.4999999, 0.0,  0.4999999,
        0.5,   1.5,  6.4999999, 6.5,        7.0,  3e9,        dInf, std::numeric_limits<double>::quiet_NaN()};
    for (int i = -40; i <= 120; ++i) v.push_back(i / 16.0);
    return v;
}

TEST(NearestPixel, RoundsHalvesUpAndClampsToTheImage)
{
    EXPECT_EQ(NearestIndex(1.5, 10), 2);
    EXPECT_EQ(NearestIndex(1.4999, 10), 1);
    EXPECT_EQ(NearestIndex(-0.5, 10), 0);
    EXPECT_EQ(NearestIndex(8.5, 10), 9);
    EXPECT_EQ(NearestIndex(-3e9, 10), 0);
    EXPECT_EQ(NearestIndex(std::numeric_limits<double>::max(), 10), 9);
    int iX = -1, iY = -1;
    EXPECT_TRUE(MapToPixel(1.0, 7.6, 5, 7, iX, iY));  // 1-based in, 0-based out
    EXPECT_EQ(iX, 0);
    EXPECT_EQ(iY, 6);
    EXPECT_FALSE(MapToPixel(std::nan(""), 1.0, 5, 7, iX, iY));
    EXPECT_FALSE(MapToPixel(1.0, -std::numeric_limits<double>::infinity(), 5, 7, iX, iY));
}

TEST(NearestPixel, TheModulesFasterFormsNameTheSamePixel)
{
    const int iCols = 7, iRows = 5, iPlanes = 3;
    const std::int32_t iRowStep = iCols * iPlanes;
    for (double dMapX : Coordinates()) {
        for (double dMapY : Coordinates()) {
            int iX = 0, iY = 0;
            const bool bLegal = MapToPixel(dMapX, dMapY, iCols, iRows, iX, iY);
            const std::int32_t iOffset = NSysApply::EntryOffset32(dMapX, dMapY, iCols, iRows, iRowStep, iPlanes);
            EXPECT_EQ(iOffset, bLegal ? iY * iRowStep + iX * iPlanes : -1) << dMapX << ", " << dMapY;
            EXPECT_EQ(NSysApply::EntryOffset(dMapX, dMapY, iCols, iRows, iRowStep, iPlanes), iOffset);
            if (!bLegal) continue;
            EXPECT_EQ(NContributionLists::NearestInRange(dMapX - 1.0, iCols - 1.0), iX) << dMapX;
            EXPECT_EQ(NContributionLists::NearestInRange(dMapY - 1.0, iRows - 1.0), iY) << dMapY;
        }
    }
}

}  // namespace
