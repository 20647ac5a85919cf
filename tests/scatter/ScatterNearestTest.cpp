// The scatter on library images: rounding and clamping of target indices, and
// the adjoint relation with a nearest-neighbour gather.
#include "mexglue/NearestPixel.h"
#include "tests/reference/ReferenceScatterNearest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

TEST(NearestIndex, RoundsHalfUpAndClampsFarCoordinatesToTheBorder)
{
    EXPECT_EQ(NMexGlue::NearestIndex(1.5, 10), 2);
    EXPECT_EQ(NMexGlue::NearestIndex(1.499, 10), 1);
    EXPECT_EQ(NMexGlue::NearestIndex(-0.5, 10), 0);
    EXPECT_EQ(NMexGlue::NearestIndex(-0.51, 10), 0);
    EXPECT_EQ(NMexGlue::NearestIndex(8.5, 10), 9);
    EXPECT_EQ(NMexGlue::NearestIndex(3e9, 10), 9);
    EXPECT_EQ(NMexGlue::NearestIndex(-3e9, 10), 0);
    EXPECT_EQ(NMexGlue::NearestIndex(std::numeric_limits<double>::max(), 10), 9);
    EXPECT_EQ(NMexGlue::NearestIndex(-std::numeric_limits<double>::max(), 10), 0);
    EXPECT_EQ(NMexGlue::NearestIndex(2147483647.0, 2147483647), 2147483646);
}

struct CCase {
    NImage::CImage<double> img;
    CMapImage map;
};

CCase RandomCase(qelMInt iW, qelMInt iH, qelMInt iK, unsigned iSeed)
{
    std::mt19937 gen(iSeed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::uniform_real_distribution<double> coord(-3.0, iW + 3.0);
    CCase c;
    c.img.Create(iW, iH, iK);
    c.map.Create(iW, iH, 2);
    for (qelMInt y = 0; y < iH; ++y) {
        for (qelMInt x = 0; x < iW; ++x) {
            for (qelMInt k = 0; k < iK; ++k) {
                c.img.Pixel(x, y)[k] = value(gen);
            }
            c.map.PixelRow(y)[x] = {coord(gen), coord(gen) * iH / iW};
        }
    }
    return c;
}

// The forward remap: each pixel reads the source at its rounded, clamped target.
NImage::CImage<double> Gather(const NImage::CImage<double>& src, const CMapImage& map)
{
    NImage::CImage<double> out;
    out.Create(src.Width(), src.Height(), src.Channels());
    for (qelMInt y = 0; y < src.Height(); ++y) {
        for (qelMInt x = 0; x < src.Width(); ++x) {
            const auto v = map.PixelRow(y)[x];
            const qelMInt tx = std::min(std::max(static_cast<qelMInt>(std::floor(v.x + 0.5)), 0), src.Width() - 1);
            const qelMInt ty = std::min(std::max(static_cast<qelMInt>(std::floor(v.y + 0.5)), 0), src.Height() - 1);
            for (qelMInt k = 0; k < src.Channels(); ++k) {
                out.Pixel(x, y)[k] = src.Pixel(tx, ty)[k];
            }
        }
    }
    return out;
}

double Dot(const NImage::CImage<double>& a, const NImage::CImage<double>& b)
{
    double dSum = 0.0;
    for (qelMInt y = 0; y < a.Height(); ++y) {
        for (qelMInt i = 0; i < a.Width() * a.Channels(); ++i) {
            dSum += a.Row(y)[i] * b.Row(y)[i];
        }
    }
    return dSum;
}

TEST(ScatterNearest, IsTheAdjointOfTheNearestGather)
{
    for (qelMInt iK : {1, 3}) {
        CCase a = RandomCase(17, 11, iK, 1u + iK);
        CCase b = RandomCase(17, 11, iK, 7u + iK);
        NImage::CImage<double> scattered;
        scattered.Create(17, 11, iK);
        std::vector<CIllegalVector> vIllegal;
        ScatterNearest(scattered, b.img, a.map, vIllegal);
        EXPECT_TRUE(vIllegal.empty());
        EXPECT_NEAR(Dot(Gather(a.img, a.map), b.img), Dot(a.img, scattered), 1e-12) << iK;
    }
}

TEST(ScatterNearest, SkipsNonFiniteVectorsInVisitingOrder)
{
    CCase c = RandomCase(4, 3, 1, 3);
    c.map.PixelRow(2)[1].x = std::numeric_limits<double>::infinity();
    c.map.PixelRow(0)[3].y = std::numeric_limits<double>::quiet_NaN();
    NImage::CImage<double> out;
    out.Create(4, 3, 1);
    out.Fill(99.0);  // overwritten, not accumulated into
    std::vector<CIllegalVector> vIllegal;
    ScatterNearest(out, c.img, c.map, vIllegal);
    ASSERT_EQ(vIllegal.size(), 2u);
    EXPECT_EQ(vIllegal[0].iX, 3);
    EXPECT_EQ(vIllegal[0].iY, 0);
    EXPECT_EQ(vIllegal[1].iX, 1);
    EXPECT_EQ(vIllegal[1].iY, 2);
    double dIn = 0.0, dOut = 0.0;
    for (qelMInt y = 0; y < 3; ++y) {
        for (qelMInt x = 0; x < 4; ++x) {
            dIn += c.img.Pixel(x, y)[0];
            dOut += out.Pixel(x, y)[0];
        }
    }
    dIn -= c.img.Pixel(1, 2)[0] + c.img.Pixel(3, 0)[0];
    EXPECT_NEAR(dOut, dIn, 1e-12);
}

}  // namespace
