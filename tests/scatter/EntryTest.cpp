// qmv_scatter_nearest through the stand-in host: results on small worked maps,
// the warning lines, shapes, and every refusal in its order of checking.
#include "mex_standin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using NMexStandIn::CallMex;
using NMexStandIn::CArrayPtr;
using NMexStandIn::Dims;
using NMexStandIn::MakeDouble;
using NMexStandIn::Values;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Map of H x W x 2 with plane 1 = column and plane 2 = row, both 1-based.
std::vector<double> IdentityMap(size_t iH, size_t iW)
{
    std::vector<double> v(iH * iW * 2);
    for (size_t x = 0; x < iW; ++x) {
        for (size_t y = 0; y < iH; ++y) {
            v[y + x * iH] = static_cast<double>(x + 1);
            v[iH * iW + y + x * iH] = static_cast<double>(y + 1);
        }
    }
    return v;
}

std::vector<double> Ramp(size_t n)
{
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<double>(i + 1);
    }
    return v;
}

// Runs the module on img and map, expecting success.
std::vector<double> Scatter(const mxArray* pImg, const mxArray* pMap, std::string* pPrinted = nullptr)
{
    auto result = CallMex(1, {pImg, pMap});
    EXPECT_TRUE(result.bOk) << result.sError;
    EXPECT_FALSE(result.bEscaped);
    if (pPrinted) {
        *pPrinted = result.sPrinted;
    }
    if (!result.Output()) {
        return {};
    }
    EXPECT_EQ(Dims(result.Output()), Dims(pImg));
    return Values(result.Output());
}

TEST(ScatterEntry, IdentityMapKeepsTheImageIn2DAnd3D)
{
    auto map = MakeDouble({3, 4, 2}, IdentityMap(3, 4));
    auto img2 = MakeDouble({3, 4}, Ramp(12));
    EXPECT_EQ(Scatter(img2.get(), map.get()), Ramp(12));
    auto img3 = MakeDouble({3, 4, 3}, Ramp(36));
    EXPECT_EQ(Scatter(img3.get(), map.get()), Ramp(36));
}

TEST(ScatterEntry, EverythingMappedToOnePixelSumsEachChannel)
{
    auto map = MakeDouble({2, 3, 2}, std::vector<double>(12, 1.0));
    auto img = MakeDouble({2, 3, 2}, Ramp(12));
    const std::vector<double> vExpected = {21, 0, 0, 0, 0, 0, 57, 0, 0, 0, 0, 0};
    EXPECT_EQ(Scatter(img.get(), map.get()), vExpected);
}

TEST(ScatterEntry, FarCoordinatesLandOnTheBorder)
{
    // 1 x 4 image; columns 0, -5, W + 10 and 1e300, all in row 1.
    auto map = MakeDouble({1, 4, 2}, {0, -5, 14, 1e300, 1, 1, 1, 1});
    auto img = MakeDouble({1, 4}, {1, 2, 4, 8});
    EXPECT_EQ(Scatter(img.get(), map.get()), (std::vector<double>{3, 0, 0, 12}));
    // Rows far outside a 3 x 1 image, beyond the 32-bit range too.
    auto mapRows = MakeDouble({3, 1, 2}, {1, 1, 1, -3e10, 1e10, -1e300});
    auto imgRows = MakeDouble({3, 1}, {1, 2, 4});
    EXPECT_EQ(Scatter(imgRows.get(), mapRows.get()), (std::vector<double>{5, 0, 2}));
}

TEST(ScatterEntry, HalvesRoundUp)
{
    // Columns 2.5 -> 3, 2.499 -> 2, 0.5 -> 1 in a 1 x 3 image.
    auto map = MakeDouble({1, 3, 2}, {2.5, 2.499, 0.5, 1, 1, 1});
    auto img = MakeDouble({1, 3}, {1, 10, 100});
    EXPECT_EQ(Scatter(img.get(), map.get()), (std::vector<double>{100, 10, 1}));
}

TEST(ScatterEntry, NonFiniteVectorsWarnInVisitingOrderAndAreLeftOut)
{
    std::vector<double> vMap = IdentityMap(2, 3);
    vMap[0 + 2 * 2] = kNaN;      // (row 1, column 3), plane 1
    vMap[6 + 1 + 0 * 2] = kInf;  // (row 2, column 1), plane 2
    vMap[1 + 1 * 2] = -kInf;     // (row 2, column 2), plane 1
    auto map = MakeDouble({2, 3, 2}, vMap);
    auto img = MakeDouble({2, 3}, Ramp(6));
    auto result = CallMex(1, {img.get(), map.get()});
    ASSERT_TRUE(result.bOk) << result.sError;
    EXPECT_EQ(result.sPrinted,
              "__warning: illegal flow vector at (2, 0)\n"
              "__warning: illegal flow vector at (0, 1)\n"
              "__warning: illegal flow vector at (1, 1)\n");
    EXPECT_EQ(result.vEvals, (std::vector<std::string>(3, "drawnow;")));
    EXPECT_EQ(Values(result.Output()), (std::vector<double>{1, 0, 3, 0, 0, 6}));
}

TEST(ScatterEntry, ComplexInputIsReadByItsRealPart)
{
    auto map = NMexStandIn::MakeComplex({1, 2, 2}, {2, 2, 1, 1}, {-1, -1, 5, 5});
    auto img = NMexStandIn::MakeComplex({1, 2}, {3, 4}, {100, 200});
    EXPECT_EQ(Scatter(img.get(), map.get()), (std::vector<double>{0, 7}));
}

std::string ErrorOf(int nlhs, const std::vector<const mxArray*>& vArgs)
{
    auto result = CallMex(nlhs, vArgs);
    EXPECT_FALSE(result.bOk);
    EXPECT_FALSE(result.bEscaped) << result.sEscaped;
    return result.sError;
}

TEST(ScatterEntry, ArgumentChecksInTheirOrder)
{
    const std::string sUsage = "Usage: imgWarped = qmv_scatter_nearest(img, imgMap)";
    auto img = MakeDouble({3, 4}, Ramp(12));
    auto map = MakeDouble({3, 4, 2}, IdentityMap(3, 4));
    auto single = NMexStandIn::MakeNumeric({3, 4, 2}, mxSINGLE_CLASS);
    auto img4d = MakeDouble({3, 4, 1, 2});
    auto map2d = MakeDouble({3, 4});
    auto map3 = MakeDouble({3, 4, 3});

    EXPECT_EQ(ErrorOf(0, {img.get(), map.get()}), sUsage);
    EXPECT_EQ(ErrorOf(2, {img.get(), map.get()}), sUsage);
    EXPECT_EQ(ErrorOf(1, {img.get()}), sUsage);
    EXPECT_EQ(ErrorOf(1, {img.get(), map.get(), map.get()}), sUsage);
    EXPECT_EQ(ErrorOf(1, {single.get(), img4d.get()}), "Error: data format is not double!");
    EXPECT_EQ(ErrorOf(1, {img.get(), single.get()}), "Error: data format is not double!");
    EXPECT_EQ(ErrorOf(1, {img4d.get(), map2d.get()}), "Error: img must be an image!");
    EXPECT_EQ(ErrorOf(1, {img.get(), map2d.get()}), "Error: imgMap must be a vector field!");
    EXPECT_EQ(ErrorOf(1, {img.get(), img4d.get()}), "Error: imgMap must be a vector field!");
    EXPECT_EQ(ErrorOf(1, {img.get(), map3.get()}), "Error: size(imgMap, 3) MUST == 2!");
}

TEST(ScatterEntry, RefusesWhatTheImagesCannotHoldBeforeCreatingThem)
{
    auto map = MakeDouble({3, 4, 2}, IdentityMap(3, 4));
    auto sparse = NMexStandIn::MakeSparse(3, 4);
    auto empty = MakeDouble({0, 4});
    auto noPlanes = MakeDouble({3, 4, 0});
    auto emptyMap = MakeDouble({0, 4, 2});
    auto img = MakeDouble({3, 4}, Ramp(12));
    auto wideMap = MakeDouble({3, 5, 2});
    auto tallMap = MakeDouble({4, 4, 2});
    auto transposedMap = MakeDouble({4, 3, 2});

    EXPECT_EQ(ErrorOf(1, {sparse.get(), map.get()}), "Error: sparse arrays are not supported!");
    EXPECT_EQ(ErrorOf(1, {empty.get(), emptyMap.get()}), "Error: img must not be empty!");
    EXPECT_EQ(ErrorOf(1, {noPlanes.get(), map.get()}), "Error: img must not be empty!");
    const std::string sSize = "Error: imgMap must have the same height and width as img!";
    EXPECT_EQ(ErrorOf(1, {img.get(), emptyMap.get()}), sSize);
    EXPECT_EQ(ErrorOf(1, {img.get(), wideMap.get()}), sSize);
    EXPECT_EQ(ErrorOf(1, {img.get(), tallMap.get()}), sSize);
    EXPECT_EQ(ErrorOf(1, {img.get(), transposedMap.get()}), sSize);
}

TEST(ScatterEntry, ReleasesEverythingButTheOutput)
{
    auto map = MakeDouble({3, 4, 2}, IdentityMap(3, 4));
    auto img = MakeDouble({3, 4}, Ramp(12));
    const size_t iBefore = NMexStandIn::LiveArrayCount();
    {
        auto result = CallMex(1, {img.get(), map.get()});
        ASSERT_TRUE(result.bOk);
        EXPECT_EQ(NMexStandIn::LiveArrayCount(), iBefore + 1);
    }
    ErrorOf(1, {img.get(), MakeDouble({3, 4, 3}).get()});
    EXPECT_EQ(NMexStandIn::LiveArrayCount(), iBefore);
}

}  // namespace
