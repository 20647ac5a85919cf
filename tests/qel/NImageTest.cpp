// CImage: strides and alignment of Create, sharing and the re-create shortcut,
// Attach, Fill, and the preconditions that end the process.
#include "QELLib/NImage.h"
#include "StreamCapture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using NImage::CImage;

bool IsAligned(const void* p, std::uintptr_t iAlign) { return reinterpret_cast<std::uintptr_t>(p) % iAlign == 0; }

TEST(CImage, CreatePadsRowsToTheAlignment)
{
    CImage<unsigned char> img;
    img.Create(641, 480, 3);
    EXPECT_EQ(img.Stride(), 1936);
    EXPECT_TRUE(IsAligned(img.Row(0), 16));
    EXPECT_TRUE(IsAligned(img.Row(479), 16));
    img.Create(640, 480, 3);
    EXPECT_EQ(img.Stride(), 1920);

    CImage<double> imgD;
    imgD.Create(5, 2, 3);
    EXPECT_EQ(imgD.Stride(), 128);
    EXPECT_EQ(imgD.Pixel(4, 1), imgD.Row(1) + 12);

    CImage<unsigned char> imgPacked;
    imgPacked.Create(10, 10, 3, 1);
    EXPECT_EQ(imgPacked.Stride(), 30);
    EXPECT_TRUE(IsAligned(imgPacked.Row(0), 8));
}

TEST(CImage, CreateWithUnchangedGeometryKeepsTheSharedBuffer)
{
    CImage<double> a;
    a.Create(4, 3, 2, 16);
    const double* pOld = a.Row(0);
    a.Create(4, 3, 2, 64);
    EXPECT_EQ(a.Row(0), pOld);
    EXPECT_EQ(a.Stride(), 64);

    CImage<double> b;
    b = a;
    a.Create(4, 3, 2);
    a.Pixel(3, 2)[1] = 42.0;
    EXPECT_EQ(b.Pixel(3, 2)[1], 42.0);

    b.Pixel(0, 0)[0] = 5.0;
    a.Create(5, 3, 2);
    EXPECT_NE(a.Row(0), b.Row(0));
    EXPECT_EQ(b.Pixel(0, 0)[0], 5.0);
    EXPECT_EQ(b.Pixel(3, 2)[1], 42.0);
}

TEST(CImage, CopiesShareAndSelfAssignmentKeepsTheBuffer)
{
    CImage<float> a;
    a.Create(3, 3, 1);
    a.Fill(1.5f);
    a = a;
    CImage<float> b(a);
    a.Release();
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(a.Width(), 0);
    EXPECT_EQ(b.Row(2)[2], 1.5f);
}

TEST(CImage, CreateOverflowThrowsAndLeavesTheImageEmpty)
{
    CStreamCapture capture;
    CImage<double> img;
    img.Create(2, 2, 1);
    try {
        img.Create(100000, 100000, 3);
        ADD_FAILURE() << "no exception";
    } catch (const NException::BadAlloc& e) {
        EXPECT_STREQ(e.what(), "Error: MemSizeMul() failed, arithmetic overflow!");
    }
    EXPECT_TRUE(img.IsEmpty());
}

TEST(CImage, AttachRefersToCallerMemory)
{
    std::vector<double> vBuffer(2 * 6, 0.0);
    {
        CImage<double> img;
        img.Attach(vBuffer.data(), 2, 2, 3, 48);
        img.Pixel(1, 1)[2] = 3.0;
        CImage<double> copy(img);
    }
    EXPECT_EQ(vBuffer[11], 3.0);  // memory untouched by the destructors
}

TEST(CImage, FillLeavesPaddingAndEmptyImagesAlone)
{
    // Stride 32 bytes for rows of 3 bytes: the rest of each row is padding.
    std::vector<unsigned char> vBuffer(64, 0xEE);
    CImage<unsigned char> img;
    img.Attach(vBuffer.data(), 3, 2, 1, 32);
    img.Fill(7);
    for (size_t i = 0; i < vBuffer.size(); ++i) {
        const bool bPixel = (i % 32) < 3;
        EXPECT_EQ(vBuffer[i], bPixel ? 7 : 0xEE) << i;
    }

    CStreamCapture capture;
    CImage<unsigned char> empty;
    empty.Fill(1);
    EXPECT_EQ(capture.Out(), "Warning: in CImage::Fill(), image is empty!\n");
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(CImage, CreateZeroOnAnEmptyImageDoesNothing)
{
    CImage<double> img;
    img.Create(0, 0, 0, 16);
    EXPECT_TRUE(img.IsEmpty());
}

TEST(CImageDeathTest, BrokenPreconditionsEndTheProcess)
{
    CImage<unsigned char> img;
    img.Create(10, 10, 3);
    EXPECT_EXIT(img.Create(0, 0, 0, 16), ::testing::ExitedWithCode(1),
                "Expression: iWidth>0 && iHeight>0 && iChannels>0 && iAlign>0\n");
    EXPECT_EXIT(img.Create(10, 10, 4, 24), ::testing::ExitedWithCode(1), "Expression: 0 == \\(iAlign & iAlign_1\\)\n");
    EXPECT_EXIT(img.Row(10), ::testing::ExitedWithCode(1), "Expression: r>=0 && r<Height\\(\\)\n");
    const CImage<unsigned char>& cimg = img;
    EXPECT_EXIT(cimg.Row(-1), ::testing::ExitedWithCode(1), "Expression: r>=0 && r<Height\\(\\)\n");
    EXPECT_EXIT(img.Pixel(10, 0), ::testing::ExitedWithCode(1),
                "Expression: x>=0 && x<Width\\(\\) && y>=0 && y<Height\\(\\)\n");
}

TEST(CImageDeathTest, AttachNeedsAStrideOfAtLeastOneRow)
{
    std::vector<double> vBuffer(64);
    CImage<double> img;
    img.Attach(vBuffer.data(), 2, 2, 3, 48);
    EXPECT_EQ(img.Stride(), 48);
    EXPECT_EXIT(img.Attach(vBuffer.data(), 2, 2, 3, 47), ::testing::ExitedWithCode(1),
                "Expression: iStride >= iWidth\\*iChannels\\*static_cast<qelMInt>\\(sizeof\\(CT\\)\\)\n");
    CImage<double> other;
    EXPECT_EXIT(other.Share(img.Memory(), vBuffer.data(), 2, 0, 3, 48), ::testing::ExitedWithCode(1),
                "Expression: iWidth>0 && iHeight>0 && iChannels>0\n");
}

TEST(CImage, ShareTakesACountedShareOfTheBlock)
{
    CImage<double> a;
    a.Create(4, 2, 1);
    a.Fill(2.0);
    CImage<double> b;
    b.Share(a.Memory(), a.Row(1), 4, 1, 1, a.Stride());
    a.Release();
    EXPECT_EQ(b.Row(0)[3], 2.0);
    b.Share(b.Memory(), b.Row(0), 2, 1, 1, b.Stride());  // its own holder
    EXPECT_EQ(b.Row(0)[1], 2.0);
}

}  // namespace
