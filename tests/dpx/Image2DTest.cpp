// The smoothing module's image layer: block layout, stride rule, Resize and
// sharing of pixel blocks.
#include "DpxTestImages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

using namespace NDpxTest;

namespace {

std::string ResizeMessage(int iW, int iH)
{
    CFloatImage img;
    try {
        img.Resize(iW, iH);
    } catch (const std::string& s) {
        EXPECT_FALSE(img.HasBlock());
        EXPECT_EQ(img.GetPixels(), nullptr);
        EXPECT_EQ(img.GetWidth(), 0);
        return s;
    }
    return "";
}

bool Aligned16(const void* p) { return reinterpret_cast<std::uintptr_t>(p) % 16 == 0; }

}  // namespace

TEST(DpxImage, StrideRoundsRowsToSixteenBytes)
{
    for (int iW : {1, 2, 3, 4}) {
        EXPECT_EQ(CFloatImage::StrideFor(iW), 4);
        EXPECT_EQ(CGuide::StrideFor(iW), 4);
    }
    EXPECT_EQ(CFloatImage::StrideFor(5), 8);
    EXPECT_EQ(CGuide::StrideFor(5), 8);

    CFloatImage imgWide;
    CGuide guideWide;
    imgWide.Resize(32767, 1);
    guideWide.Resize(32767, 1);
    EXPECT_EQ(imgWide.GetStride(), 32768);
    EXPECT_EQ(guideWide.GetStride(), 32768);
}

TEST(DpxImage, PayloadFollowsTheHeaderAligned)
{
    CGuide guide;
    guide.Resize(5, 3);
    EXPECT_EQ(guide.GetPayloadOffset(), 16);
    EXPECT_EQ(guide.GetShareCount(), 1);
    EXPECT_EQ(static_cast<void*>(guide.GetPixels()), guide.GetPayload());
    for (int y = 0; y < 3; ++y) EXPECT_TRUE(Aligned16(guide.GetRow(y)));

    CRefCntMem mem;
    mem.Allocate(0);  // a header-only block is valid
    EXPECT_EQ(mem.GetShareCount(), 1);
    EXPECT_TRUE(Aligned16(mem.GetPayload()));
    mem.Allocate(-1);  // a negative count leaves no block, silently
    EXPECT_FALSE(mem.HasBlock());
    EXPECT_EQ(mem.GetPayloadOffset(), 0);
}

TEST(DpxImage, ResizeRefusesBadSizes)
{
    const std::string sBad = "Error: CImage2D::Resize() failed, bad size!";
    EXPECT_EQ(ResizeMessage(0, 5), sBad);
    EXPECT_EQ(ResizeMessage(5, 0), sBad);
    EXPECT_EQ(ResizeMessage(32768, 1), sBad);
    EXPECT_EQ(ResizeMessage(1, 32768), sBad);
    EXPECT_EQ(ResizeMessage(-3, 2), sBad);
    // 32767 x 32767 floats exceed the 32-bit byte count of a block: refused,
    // never given a truncated block.
    EXPECT_EQ(ResizeMessage(32767, 32767), sBad);
    CGuide guide;
    EXPECT_THROW(guide.Resize(20000, 20000), std::string);
    EXPECT_EQ(guide.GetPixels(), nullptr);
}

TEST(DpxImage, FailedResizeReleasesThePreviousBlock)
{
    CFloatImage img;
    img.Resize(4, 4);
    CFloatImage imgOther = img;
    ASSERT_EQ(img.GetShareCount(), 2);
    EXPECT_THROW(img.Resize(0, 4), std::string);
    EXPECT_FALSE(img.HasBlock());
    EXPECT_EQ(img.GetHeight(), 0);
    EXPECT_EQ(imgOther.GetShareCount(), 1);
}

TEST(DpxImage, ResizeToTheSameSizeKeepsBlockAndPixels)
{
    CFloatImage img = MakeImage<float>(6, 3, [](int x, int y) { return float(x + 10 * y); });
    const float* pBefore = img.GetPixels();
    img.Resize(6, 3);
    EXPECT_EQ(img.GetPixels(), pBefore);
    EXPECT_EQ(img.At(5, 2), 25.0f);
    img.Resize(3, 6);
    EXPECT_EQ(img.GetStride(), 4);
    EXPECT_EQ(img.GetShareCount(), 1);
}

TEST(DpxImage, SharedBlockOutlivesEitherImage)
{
    auto pFirst = std::make_unique<CFloatImage>(MakeImage<float>(3, 2, [](int x, int y) { return float(x * y + 1); }));
    CFloatImage imgSecond;
    imgSecond = *pFirst;
    EXPECT_EQ(imgSecond.GetPixels(), pFirst->GetPixels());
    EXPECT_EQ(imgSecond.GetStride(), 4);
    EXPECT_EQ(imgSecond.GetShareCount(), 2);
    pFirst.reset();
    EXPECT_EQ(imgSecond.GetShareCount(), 1);
    EXPECT_EQ(imgSecond.At(2, 1), 3.0f);  // still readable (ASan checks the block is alive)
}

TEST(DpxImage, ShareAssigningTheSameBlockKeepsTheCount)
{
    CGuide guide = UniformGuide(4, 4);
    CGuide guideShare = guide;
    ASSERT_EQ(guide.GetShareCount(), 2);
    guide = guide;
    guideShare = guide;
    EXPECT_EQ(guide.GetShareCount(), 2);
    EXPECT_EQ(guideShare.GetWidth(), 4);

    guideShare = CGuide();  // taking over an empty image drops the share
    EXPECT_FALSE(guideShare.HasBlock());
    EXPECT_EQ(guideShare.GetPixels(), nullptr);
    EXPECT_EQ(guide.GetShareCount(), 1);
}
