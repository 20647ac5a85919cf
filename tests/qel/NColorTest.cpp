// Compound-pixel images: the channel checks, assignment from plain images and
// the RGB-double to RGBA-byte conversion.
#include "QELLib/NColor.h"
#include "QELLib/NImage.h"
#include "QELLib/NSmallVector.h"
#include "StreamCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using NColor::CColorRGBAub;
using NColor::CColorRGBr;
using NImage::CCompositeImage;
using NImage::CImage;

TEST(NColor, ConvertRoundsHalfUpSaturatesAndZeroesNaN)
{
    const double dNaN = std::numeric_limits<double>::quiet_NaN();
    const CColorRGBr<double> aSrc[3] = {{0, 0.5, 1}, {-0.2, 1.7, 0.999}, {dNaN, 0.001, 0.002}};
    CColorRGBAub aDst[3];
    NColor::Convert(aDst, aSrc, 3);
    const unsigned char aExpected[3][4] = {{0, 128, 255, 255}, {0, 255, 255, 255}, {0, 0, 1, 255}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(aDst[i].r, aExpected[i][0]) << i;
        EXPECT_EQ(aDst[i].g, aExpected[i][1]) << i;
        EXPECT_EQ(aDst[i].b, aExpected[i][2]) << i;
        EXPECT_EQ(aDst[i].a, aExpected[i][3]) << i;
    }
}

TEST(NColorDeathTest, ConvertNeedsPointersAndALength)
{
    CColorRGBAub dst;
    const CColorRGBr<double> src = {0, 0, 0};
    EXPECT_EXIT(NColor::Convert(&dst, &src, 0), ::testing::ExitedWithCode(1),
                "Expression: 0!=pRGBAub && 0!=pRGBr && len>0\n");
}

TEST(CCompositeImage, ChannelCountIsTiedToThePixelType)
{
    EXPECT_EQ(CCompositeImage<CColorRGBAub>::ChannelNum, 4);
    EXPECT_EQ((CCompositeImage<CColorRGBr<double>>::ChannelNum), 3);
    EXPECT_EQ((CCompositeImage<NSmallVector::CVector2D<float>>::ChannelNum), 2);

    CCompositeImage<NSmallVector::CVector2D<double>> field;
    field.Create(3, 2, 2);
    field.PixelRow(1)[2].y = 4.0;
    EXPECT_EQ(field.Pixel(2, 1)[1], 4.0);
}

TEST(CCompositeImageDeathTest, WrongChannelCountsEndTheProcess)
{
    CCompositeImage<CColorRGBAub> img;
    EXPECT_EXIT(img.Create(4, 4, 3), ::testing::ExitedWithCode(1), "Expression: iChannels == ChannelNum\n");

    CImage<unsigned char> plain;
    plain.Create(4, 4, 3);
    CImage<unsigned char>& base = img;  // assignment through the base dispatches to the check
    EXPECT_EXIT(base = plain, ::testing::ExitedWithCode(1),
                "Expression: rhs.IsEmpty\\(\\) \\|\\| rhs.Channels\\(\\)==ChannelNum\n");
}

TEST(CCompositeImage, AssigningAnEmptyPlainImageEmptiesIt)
{
    CCompositeImage<CColorRGBAub> img;
    img.Create(4, 4, 4);
    img = CImage<unsigned char>();
    EXPECT_TRUE(img.IsEmpty());
}

TEST(CCompositeImage, ConvertFromOverwritesTheBufferInPlace)
{
    CCompositeImage<CColorRGBr<double>> src;
    src.Create(2, 1, 3);
    src.PixelRow(0)[0] = {0, 0.5, 1};
    src.PixelRow(0)[1] = {1, 1, 1};

    CCompositeImage<CColorRGBAub> dst;
    dst.Create(2, 1, 4);
    CImage<unsigned char> sharer(dst);
    dst.ConvertFrom(src);
    EXPECT_EQ(sharer.Row(0), dst.Row(0));
    const unsigned char aExpected[8] = {0, 128, 255, 255, 255, 255, 255, 255};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(sharer.Row(0)[i], aExpected[i]) << i;
    }
}

TEST(CCompositeImage, ConvertFromAnEmptySourceWarnsAndEmpties)
{
    CCompositeImage<CColorRGBAub> dst;
    dst.Create(2, 2, 4);
    CStreamCapture capture;
    dst.ConvertFrom(CCompositeImage<CColorRGBr<double>>());
    EXPECT_EQ(capture.Out(), "Warning: in CCompositeImage::ConvertFrom(), image is empty!\n");
    EXPECT_TRUE(dst.IsEmpty());
}

}  // namespace
