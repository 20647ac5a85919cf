// mx2cv / cv2mx: layout, complex data, every refusal.
#include "SysApplyTestUtil.h"

#include "qmv_system_apply/conversions/MatConversion.h"

#include "mex_standin.h"

#include <gtest/gtest.h>

namespace {

using namespace NMexStandIn;
using namespace NSysApply;
using namespace NSysApplyTest;

std::string Mx2cvError(const mxArray* pmx)
{
    cv::Mat img(2, 2, CV_64F);
    try {
        mx2cv(pmx, img);
    } catch (const CHostError& e) {
        return e.what();
    }
    return "";
}

std::string Cv2mxError(const cv::Mat& img)
{
    mxArray* pmx = nullptr;
    try {
        cv2mx(img, pmx);
    } catch (const CHostError& e) {
        return e.what();
    }
    mxDestroyArray(pmx);
    return "";
}

TEST(Mx2cv, LaysPagesOutAsInterleavedChannels)
{
    cv::Mat img;
    mx2cv(MakeDouble({2, 3}, {1, 2, 3, 4, 5, 6}).get(), img);
    ASSERT_EQ(img.type(), CV_64FC1);
    EXPECT_EQ(img.at<double>(1, 2), 6);  // MATLAB element (2, 3)
    mx2cv(MakeDouble({2, 3, 2}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}).get(), img);
    ASSERT_EQ(img.type(), CV_64FC2);
    EXPECT_EQ(img.at<cv::Vec2d>(0, 1), cv::Vec2d(3, 9));
    mx2cv(MakeComplex({2, 2}, {1, 2, 3, 4}, {-1, -2, -3, -4}).get(), img);
    ASSERT_EQ(img.type(), CV_64FC2);
    EXPECT_EQ(img.at<cv::Vec2d>(1, 0), cv::Vec2d(2, -2));
}

TEST(Mx2cv, RefusesWhatItCannotRepresent)
{
    EXPECT_EQ(Mx2cvError(nullptr), "Error: in mx2cv, pmxSrc == 0!\n");
    EXPECT_EQ(Mx2cvError(MakeSparse(3, 3).get()), "Error: in mx2cv, sparse input is not supported!\n");
    for (mxClassID id : {mxSINGLE_CLASS, mxINT32_CLASS, mxLOGICAL_CLASS, mxCHAR_CLASS})
        EXPECT_EQ(Mx2cvError(MakeNumeric({2, 2}, id).get()), "Error: in mx2cv, type mismatch!\n");
    const char* sSize = "Error: in mx2cv, invalid size!\n";
    EXPECT_EQ(Mx2cvError(MakeDouble({2, 2, 0}).get()), sSize);     // no channels
    EXPECT_EQ(Mx2cvError(MakeDouble({2, 2, 3, 2}).get()), sSize);  // a 4th dimension would be dropped
    EXPECT_EQ(Mx2cvError(MakeDouble({1, 1, CV_CN_MAX + 1}).get()), sSize);
    EXPECT_EQ(Mx2cvError(MakeComplex({1, 1, CV_CN_MAX / 2 + 1}, {}, {}).get()), sSize);
    EXPECT_EQ(Mx2cvError(MakeDouble({2, 2, 1, 1}).get()), "");
}

TEST(Cv2mx, RoundTripsAndRefusesEmptyOrForeignMatrices)
{
    cv::RNG rng(30);
    for (int iPlanes : {1, 3, 6}) {
        const cv::Mat img = RandomMat(4, 5, iPlanes, rng);
        mxArray* pmx = nullptr;
        cv2mx(img, pmx);
        CArrayPtr owner(pmx);
        EXPECT_EQ(Values(pmx), ToPlanar(img));
        cv::Mat imgBack;
        mx2cv(pmx, imgBack);
        EXPECT_TRUE(BitIdentical(imgBack, img));
    }
    EXPECT_EQ(Cv2mxError(cv::Mat()), "Warning: in cv2mx, imgSrc is empty!\n");
    EXPECT_EQ(Cv2mxError(cv::Mat(0, 3, CV_64F)), "Warning: in cv2mx, imgSrc is empty!\n");
    const int pSizes[3] = {2, 2, 2};
    EXPECT_EQ(Cv2mxError(cv::Mat(3, pSizes, CV_64F, cv::Scalar(0))), "Warning: in cv2mx, dimension mismatch!\n");
    EXPECT_EQ(Cv2mxError(cv::Mat(2, 2, CV_32FC3)), "Warning: in cv2mx, type mismatch!\n");
}

}  // namespace
