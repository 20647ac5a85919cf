// qmv_read_video through the stand-in host, on small MJPG videos written at
// test time: argument checks in their order, the frame range, RGB order and
// scale, early ends, unreadable files, and no array left behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

#include <opencv2/videoio.hpp>

#include "mex_standin.h"

namespace {

using NMexStandIn::CallMex;
using NMexStandIn::CArrayPtr;
using NMexStandIn::MakeDouble;
using NMexStandIn::MakeScalar;
using NMexStandIn::MakeString;

const char* const kUsage = "Usage: [stack, numRead] = qmv_read_video(fileName, firstFrame, numFrames)";
const char* const kBadName = "Error: fileName must be a non-empty character string!";
const char* const kBadFirst = "Error: firstFrame must be a positive integer scalar (1-based)!";
const char* const kBadCount = "Error: numFrames must be a positive integer scalar or Inf!";

const int kHeight = 24, kWidth = 32, kFrames = 6;

// Frame k is one flat colour, far from its neighbours': red, green and blue
// bytes of (40 + 30 k, 200 - 25 k, 90 + 20 k).
cv::Vec3d ColourOfFrame(int k) { return cv::Vec3d(40 + 30 * k, 200 - 25 * k, 90 + 20 * k) / 255.0; }

class VideoEntry : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char aDir[] = "/tmp/qmv_video_testXXXXXX";
        ASSERT_NE(mkdtemp(aDir), nullptr);
        s_sDir = aDir;
        cv::VideoWriter writer(Path("six.avi"), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 10,
                               cv::Size(kWidth, kHeight));
        ASSERT_TRUE(writer.isOpened());
        for (int k = 0; k < kFrames; ++k) {
            const cv::Vec3d rgb = ColourOfFrame(k) * 255.0;
            writer.write(cv::Mat(kHeight, kWidth, CV_8UC3, cv::Scalar(rgb[2], rgb[1], rgb[0])));
        }
        writer.release();
        std::ofstream(Path("text.avi")) << "not a video\n";
    }

    static void TearDownTestSuite()
    {
        for (const char* sName : {"six.avi", "text.avi", "cut.avi"}) std::remove(Path(sName).c_str());
        rmdir(s_sDir.c_str());
    }

    static std::string Path(const std::string& sName) { return s_sDir + "/" + sName; }

    static std::string s_sDir;
};

std::string VideoEntry::s_sDir;

std::string ErrorOf(int nlhs, const std::vector<const mxArray*>& vArgs)
{
    const size_t nLiveBefore = NMexStandIn::LiveArrayCount();
    std::string sError;
    {
        const NMexStandIn::CCallResult result = CallMex(nlhs, vArgs);
        EXPECT_FALSE(result.bEscaped) << result.sEscaped;
        EXPECT_EQ(result.sPrinted, "");
        sError = result.bOk ? std::string("<no error>") : result.sError;
    }
    EXPECT_EQ(NMexStandIn::LiveArrayCount(), nLiveBefore);
    return sError;
}

// Checks that frame k of the result is frame iFirst + k of the video (0-based),
// within what MJPG's compression changes in a flat colour.
void ExpectFramesFrom(const mxArray* pmxStack, int iFirst, int nFrames)
{
    const std::vector<size_t> vDims = NMexStandIn::Dims(pmxStack);
    const std::vector<size_t> vExpected = nFrames == 1 ? std::vector<size_t>{kHeight, kWidth, 3}
                                                       : std::vector<size_t>{kHeight, kWidth, 3, size_t(nFrames)};
    ASSERT_EQ(vDims, vExpected);
    const std::vector<double> v = NMexStandIn::Values(pmxStack);
    const size_t nPlane = size_t(kHeight) * kWidth;
    for (int k = 0; k < nFrames; ++k)
        for (int c = 0; c < 3; ++c) {
            const double dWant = ColourOfFrame(iFirst + k)[c];
            for (size_t i = 0; i < nPlane; ++i)
                ASSERT_NEAR(v[(size_t(k) * 3 + c) * nPlane + i], dWant, 4 / 255.0) << "frame " << k << " plane " << c;
        }
}

TEST_F(VideoEntry, UsageErrors)
{
    CArrayPtr pmxName = MakeString(Path("six.avi")), pmxOne = MakeScalar(1);
    EXPECT_EQ(ErrorOf(0, {pmxName.get(), pmxOne.get(), pmxOne.get()}), kUsage);
    EXPECT_EQ(ErrorOf(3, {pmxName.get(), pmxOne.get(), pmxOne.get()}), kUsage);
    EXPECT_EQ(ErrorOf(1, {pmxName.get(), pmxOne.get()}), kUsage);
    EXPECT_EQ(ErrorOf(1, {pmxName.get()}), kUsage);
    EXPECT_EQ(ErrorOf(1, {}), kUsage);
    EXPECT_EQ(ErrorOf(1, {pmxName.get(), pmxOne.get(), pmxOne.get(), pmxOne.get()}), kUsage);
    EXPECT_EQ(ErrorOf(0, {pmxOne.get()}), kUsage);  // the count comes first
}

TEST_F(VideoEntry, ChecksComeInTheirOrder)
{
    CArrayPtr pmxName = MakeString(Path("six.avi")), pmxOne = MakeScalar(1);
    CArrayPtr pmxEmptyName = MakeString(""), pmxNumber = MakeScalar(3);
    CArrayPtr pmxTwoRows = NMexStandIn::MakeNumeric({2, 4}, mxCHAR_CLASS);
    CArrayPtr pmxCell = NMexStandIn::MakeCell(MakeString("a.avi").release());
    CArrayPtr pmxNul = NMexStandIn::MakeNumeric({1, 3}, mxCHAR_CLASS);  // "a", NUL, "b"
    static_cast<char16_t*>(mxGetData(pmxNul.get()))[0] = u'a';
    static_cast<char16_t*>(mxGetData(pmxNul.get()))[2] = u'b';
    EXPECT_EQ(ErrorOf(1, {pmxNumber.get(), pmxOne.get(), pmxOne.get()}), kBadName);
    EXPECT_EQ(ErrorOf(1, {pmxEmptyName.get(), pmxOne.get(), pmxOne.get()}), kBadName);
    EXPECT_EQ(ErrorOf(1, {pmxTwoRows.get(), pmxOne.get(), pmxOne.get()}), kBadName);
    EXPECT_EQ(ErrorOf(1, {pmxCell.get(), pmxOne.get(), pmxOne.get()}), kBadName);
    EXPECT_EQ(ErrorOf(1, {pmxNul.get(), pmxOne.get(), pmxOne.get()}), kBadName);
    CArrayPtr pmxZero = MakeScalar(0);
    EXPECT_EQ(ErrorOf(1, {pmxNumber.get(), pmxZero.get(), pmxZero.get()}), kBadName);  // name first

    const double dNaN = std::numeric_limits<double>::quiet_NaN();
    const double dInf = std::numeric_limits<double>::infinity();
    std::vector<CArrayPtr> vBadFirst;
    for (double d : {0.0, -1.0, 1.5, dNaN, dInf, -dInf, 3e9}) vBadFirst.push_back(MakeScalar(d));
    vBadFirst.push_back(MakeDouble({1, 2}, {1, 2}));
    vBadFirst.push_back(MakeDouble({0, 0}));
    vBadFirst.push_back(NMexStandIn::MakeComplex({1, 1}, {1}, {1}));
    vBadFirst.push_back(NMexStandIn::MakeSparse(1, 1));
    vBadFirst.push_back(NMexStandIn::MakeNumeric({1, 1}, mxLOGICAL_CLASS));
    vBadFirst.push_back(MakeString("1"));
    for (const CArrayPtr& pmxBad : vBadFirst) {
        EXPECT_EQ(ErrorOf(1, {pmxName.get(), pmxBad.get(), pmxOne.get()}), kBadFirst);
        EXPECT_EQ(ErrorOf(1, {pmxName.get(), pmxBad.get(), pmxBad.get()}), kBadFirst);  // first before count
    }
    for (double d : {0.0, -2.0, 2.5, dNaN, -dInf}) {
        CArrayPtr pmxBad = MakeScalar(d);
        EXPECT_EQ(ErrorOf(1, {pmxName.get(), pmxOne.get(), pmxBad.get()}), kBadCount);
    }
    CArrayPtr pmxPair = MakeDouble({2, 1}, {1, 1});
    EXPECT_EQ(ErrorOf(1, {pmxName.get(), pmxOne.get(), pmxPair.get()}), kBadCount);
}

TEST_F(VideoEntry, ReadsTheRangeAsRgbOnTheUnitScale)
{
    CArrayPtr pmxName = MakeString(Path("six.avi"));
    CArrayPtr pmxTwo = MakeScalar(2), pmxThree = MakeScalar(3);
    NMexStandIn::CCallResult result = CallMex(2, {pmxName.get(), pmxTwo.get(), pmxThree.get()});
    ASSERT_TRUE(result.bOk) << result.sError << result.sEscaped;
    ExpectFramesFrom(result.Output(0), 1, 3);
    EXPECT_EQ(NMexStandIn::Values(result.Output(1)), std::vector<double>{3});
    EXPECT_EQ(result.sPrinted, "");
}

TEST_F(VideoEntry, OneFrameAndOtherNumericClasses)
{
    CArrayPtr pmxName = MakeString(Path("six.avi"));
    CArrayPtr pmxFirst = NMexStandIn::MakeNumeric({1, 1}, mxINT32_CLASS);
    static_cast<int32_t*>(mxGetData(pmxFirst.get()))[0] = 6;
    CArrayPtr pmxCount = NMexStandIn::MakeNumeric({1, 1}, mxUINT8_CLASS);
    static_cast<uint8_t*>(mxGetData(pmxCount.get()))[0] = 1;
    NMexStandIn::CCallResult result = CallMex(1, {pmxName.get(), pmxFirst.get(), pmxCount.get()});
    ASSERT_TRUE(result.bOk) << result.sError;
    ExpectFramesFrom(result.Output(0), 5, 1);
}

TEST_F(VideoEntry, AVideoThatEndsEarlyGivesTheFramesItHas)
{
    CArrayPtr pmxName = MakeString(Path("six.avi"));
    CArrayPtr pmxFour = MakeScalar(4), pmxTen = MakeScalar(10);
    CArrayPtr pmxInf = MakeScalar(std::numeric_limits<double>::infinity());
    for (const mxArray* pmxCount : {pmxTen.get(), pmxInf.get()}) {
        NMexStandIn::CCallResult result = CallMex(2, {pmxName.get(), pmxFour.get(), pmxCount});
        ASSERT_TRUE(result.bOk) << result.sError;
        ExpectFramesFrom(result.Output(0), 3, 3);
        EXPECT_EQ(NMexStandIn::Values(result.Output(1)), std::vector<double>{3});
    }
}

TEST_F(VideoEntry, ACutFileGivesTheFramesBeforeTheCut)
{
    std::ifstream in(Path("six.avi"), std::ios::binary);
    const std::string sBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Cut inside the fourth frame's chunk: three whole frames remain.
    size_t nCut = sBytes.find("movi");
    for (int k = 0; k < 4; ++k) nCut = sBytes.find("00dc", nCut + 1);
    ASSERT_NE(nCut, std::string::npos);
    std::ofstream(Path("cut.avi"), std::ios::binary) << sBytes.substr(0, nCut + 12);
    CArrayPtr pmxName = MakeString(Path("cut.avi")), pmxOne = MakeScalar(1);
    CArrayPtr pmxInf = MakeScalar(std::numeric_limits<double>::infinity());
    NMexStandIn::CCallResult result = CallMex(2, {pmxName.get(), pmxOne.get(), pmxInf.get()});
    ASSERT_TRUE(result.bOk) << result.sError;
    const double dRead = NMexStandIn::Values(result.Output(1)).at(0);
    EXPECT_EQ(dRead, 3);
    ExpectFramesFrom(result.Output(0), 0, int(dRead));
}

TEST_F(VideoEntry, FilesThatCannotBeReadAreNamed)
{
    CArrayPtr pmxOne = MakeScalar(1);
    CArrayPtr pmxMissing = MakeString(Path("missing.avi"));
    EXPECT_EQ(ErrorOf(1, {pmxMissing.get(), pmxOne.get(), pmxOne.get()}),
              "Error: cannot open video file '" + Path("missing.avi") + "': no such file!");
    CArrayPtr pmxFolder = MakeString(s_sDir);
    EXPECT_EQ(ErrorOf(1, {pmxFolder.get(), pmxOne.get(), pmxOne.get()}),
              "Error: cannot open video file '" + s_sDir + "': no such file!");
    // A camera index or an image-sequence pattern is not a file either.
    CArrayPtr pmxCamera = MakeString("0");
    EXPECT_EQ(ErrorOf(1, {pmxCamera.get(), pmxOne.get(), pmxOne.get()}),
              "Error: cannot open video file '0': no such file!");
    CArrayPtr pmxText = MakeString(Path("text.avi"));
    EXPECT_EQ(ErrorOf(1, {pmxText.get(), pmxOne.get(), pmxOne.get()}),
              "Error: cannot open video file '" + Path("text.avi") + "': not a video format OpenCV can decode!");
}

TEST_F(VideoEntry, AFirstFramePastTheEndSaysHowManyThereAre)
{
    CArrayPtr pmxName = MakeString(Path("six.avi"));
    CArrayPtr pmxSeven = MakeScalar(7), pmxOne = MakeScalar(1);
    EXPECT_EQ(ErrorOf(2, {pmxName.get(), pmxSeven.get(), pmxOne.get()}),
              "Error: firstFrame 7 is past the end of '" + Path("six.avi") + "', which has 6 frames!");
    CArrayPtr pmxNine = MakeScalar(9);
    EXPECT_EQ(ErrorOf(2, {pmxName.get(), pmxNine.get(), pmxOne.get()}),
              "Error: firstFrame 9 is past the end of '" + Path("six.avi") + "', which has 6 frames!");
}

}  // namespace
