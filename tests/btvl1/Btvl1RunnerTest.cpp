// The BTV-L1 runner the benchmarks compare against: refuses what OpenCV
// would assert on, and returns the reference frame's reconstruction on the
// enlarged grid less the border OpenCV leaves out.
#include "Btvl1Runner.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

std::vector<cv::Mat> ConstantFrames(int iCount, cv::Size size, int iType, double dValue)
{
    std::vector<cv::Mat> vecFrames;
    for (int i = 0; i < iCount; ++i) {
        vecFrames.emplace_back(size, iType, cv::Scalar::all(dValue));
    }
    return vecFrames;
}

TEST(Btvl1Runner, RefusesBadFramesAndOptions)
{
    NBtvl1::SOptions sOptions;
    EXPECT_THROW(NBtvl1::Reconstruct({}, sOptions), std::invalid_argument);

    std::vector<cv::Mat> vecMixed = ConstantFrames(2, cv::Size(24, 20), CV_8UC3, 100);
    vecMixed.emplace_back(cv::Size(24, 21), CV_8UC3, cv::Scalar::all(100));
    EXPECT_THROW(NBtvl1::Reconstruct(vecMixed, sOptions), std::invalid_argument);

    EXPECT_THROW(NBtvl1::Reconstruct(ConstantFrames(3, cv::Size(24, 20), CV_16UC3, 100), sOptions),
                 std::invalid_argument);
    EXPECT_THROW(NBtvl1::Reconstruct(ConstantFrames(3, cv::Size(24, 20), CV_8UC2, 100), sOptions),
                 std::invalid_argument);
    std::vector<cv::Mat> vecEmpty = ConstantFrames(2, cv::Size(24, 20), CV_8UC3, 100);
    vecEmpty.emplace_back();
    EXPECT_THROW(NBtvl1::Reconstruct(vecEmpty, sOptions), std::invalid_argument);

    const std::vector<cv::Mat> vecGood = ConstantFrames(3, cv::Size(24, 20), CV_8UC3, 100);
    NBtvl1::SOptions sEven;
    sEven.iBlurKernelSize = 4;
    EXPECT_THROW(NBtvl1::Reconstruct(vecGood, sEven), std::invalid_argument);
    NBtvl1::SOptions sNoScale;
    sNoScale.iScale = 0;
    EXPECT_THROW(NBtvl1::Reconstruct(vecGood, sNoScale), std::invalid_argument);
}

TEST(Btvl1Runner, ConstantFramesGiveTheConstantOnTheEnlargedGrid)
{
    NBtvl1::SOptions sOptions;
    sOptions.iScale = 2;
    sOptions.iIterations = 10;
    const NBtvl1::SResult sResult = NBtvl1::Reconstruct(ConstantFrames(4, cv::Size(24, 20), CV_8UC3, 120), sOptions);
    ASSERT_EQ(sResult.imgRecon.type(), CV_8UC3);
    EXPECT_EQ(sResult.imgRecon.cols, 48 - 14);
    EXPECT_EQ(sResult.imgRecon.rows, 40 - 14);
    double dMin = 0;
    double dMax = 0;
    cv::minMaxLoc(sResult.imgRecon.reshape(1), &dMin, &dMax);
    EXPECT_GE(dMin, 118);
    EXPECT_LE(dMax, 122);
    EXPECT_GT(sResult.dSecondsTotal, 0);
    EXPECT_GE(sResult.dSecondsFlow, 0);
    EXPECT_GT(sResult.dSecondsOne, 0);
    EXPECT_LE(sResult.dSecondsOne, sResult.dSecondsTotal + sResult.dSecondsFlow);
}

TEST(Btvl1Runner, RefusesASingleFrameOnWhichOpenCvWouldCrash)
{
    NBtvl1::SOptions sOptions;
    sOptions.iIterations = 5;
    EXPECT_THROW(NBtvl1::Reconstruct(ConstantFrames(1, cv::Size(24, 20), CV_8UC1, 60), sOptions),
                 std::invalid_argument);
    const NBtvl1::SResult sResult = NBtvl1::Reconstruct(ConstantFrames(2, cv::Size(24, 20), CV_8UC1, 60), sOptions);
    EXPECT_EQ(sResult.imgRecon.size(), cv::Size(48 - 14, 40 - 14));
    EXPECT_EQ(sResult.imgRecon.type(), CV_8UC1);
}

}  // namespace
