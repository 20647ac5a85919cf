// mx2cv / cv2mx: layout, complex data, every refusal; the frame runner's
// handling of failures inside the parallel region, and the in-order sum of
// frame terms delivered out of order.
#include "SysApplyTestUtil.h"

#include "qmv_system_apply/FrameParallel.h"
#include "qmv_system_apply/FrameTermSum.h"
#include "qmv_system_apply/TermAssembly.h"
#include "qmv_system_apply/MatConversion.h"

#include "mex_standin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

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
    EXPECT_EQ(Mx2cvError(MakeDouble({2, 2, 0}).get()), sSize);          // no channels
    EXPECT_EQ(Mx2cvError(MakeDouble({2, 2, 3, 2}).get()), sSize);       // a 4th dimension would be dropped
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

TEST(FrameParallel, RunsEveryFrameAndRethrowsTheFirstFailureInFrameOrder)
{
    std::atomic<int> iRan{0};
    try {
        RunFramesInParallel(9, [&](int k, int iThread) {
            ++iRan;
            EXPECT_LT(iThread, FrameThreadCount(9));
            if (k == 6 || k == 2) throw std::runtime_error("frame " + std::to_string(k));
        });
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "frame 2");
    }
    EXPECT_EQ(iRan.load(), 9);
    EXPECT_EQ(FrameThreadCount(1), 1);
}

TEST(FrameTermSum, AddsInFrameOrderWhateverTheDeliveryOrder)
{
    cv::RNG rng(31);
    const int N = 6;
    std::vector<cv::Mat> vecFrames;
    for (int k = 0; k < N; ++k) vecFrames.push_back(RandomMat(5, 4, 3, rng, -1e3, 1e3));
    cv::Mat imgStart = RandomMat(5, 4, 3, rng), imgExpected = imgStart.clone();
    for (const cv::Mat& img : vecFrames) AddFrameTerm(imgExpected, 0.37, img);

    for (const std::vector<int>& vecOrder : {std::vector<int>{5, 4, 3, 2, 1, 0}, std::vector<int>{1, 0, 3, 5, 2, 4}}) {
        cv::Mat imgAcc = imgStart.clone();
        CFrameTermSum sum(imgAcc, 0.37, N, 1);
        for (int k : vecOrder) {
            cv::Mat imgFrame = sum.TakeBuffer();
            vecFrames[k].copyTo(imgFrame);
            sum.Deliver(k, imgFrame);
        }
        EXPECT_EQ(sum.FramesAdded(), N);
        EXPECT_TRUE(BitIdentical(imgAcc, imgExpected));
    }

    cv::Mat imgAcc = imgStart.clone();  // delivered from parallel frames
    CFrameTermSum sum(imgAcc, 0.37, N, 2);
    RunFramesInParallel(N, [&](int k, int) {
        cv::Mat imgFrame = sum.TakeBuffer();
        vecFrames[k].copyTo(imgFrame);
        sum.Deliver(k, imgFrame);
    });
    EXPECT_EQ(sum.FramesAdded(), N);
    EXPECT_TRUE(BitIdentical(imgAcc, imgExpected));
}

// Frames delivered before the accumulator's initial value is complete wait for
// the last prerequisite, which then adds them, in parallel or not.
TEST(FrameTermSum, WaitsForItsPrerequisites)
{
    cv::RNG rng(32);
    const int N = 4;
    std::vector<cv::Mat> vecFrames;
    for (int k = 0; k < N; ++k) vecFrames.push_back(RandomMat(5, 4, 3, rng));
    const cv::Mat imgStart = RandomMat(5, 4, 3, rng);
    cv::Mat imgExpected = imgStart.clone();
    for (const cv::Mat& img : vecFrames) AddFrameTerm(imgExpected, 0.37, img);

    cv::Mat imgAcc = cv::Mat::zeros(5, 4, CV_64FC3);
    CFrameTermSum sum(imgAcc, 0.37, N, 1, 2);
    for (int k : {0, 1, 3}) {
        cv::Mat imgFrame = sum.TakeBuffer();
        vecFrames[k].copyTo(imgFrame);
        sum.Deliver(k, imgFrame);
    }
    imgStart.rowRange(0, 2).copyTo(imgAcc.rowRange(0, 2));
    sum.PrerequisiteDone();
    EXPECT_EQ(sum.FramesAdded(), 0);
    imgStart.rowRange(2, 5).copyTo(imgAcc.rowRange(2, 5));
    sum.PrerequisiteDone();
    EXPECT_EQ(sum.FramesAdded(), 2);
    cv::Mat imgFrame = sum.TakeBuffer();
    vecFrames[2].copyTo(imgFrame);
    sum.Deliver(2, imgFrame);
    EXPECT_EQ(sum.FramesAdded(), N);
    EXPECT_TRUE(BitIdentical(imgAcc, imgExpected));

    const int iBands = 5;  // the initial value formed in bands by parallel tasks
    cv::Mat imgParallel = cv::Mat::zeros(5, 4, CV_64FC3);
    CFrameTermSum parallelSum(imgParallel, 0.37, N, 2, iBands);
    RunTasksInParallel(iBands + N, 2, [&](int iTask, int) {
        if (iTask < iBands) {
            imgStart.row(iTask).copyTo(imgParallel.row(iTask));
            parallelSum.PrerequisiteDone();
            return;
        }
        cv::Mat imgTerm = parallelSum.TakeBuffer();
        vecFrames[iTask - iBands].copyTo(imgTerm);
        parallelSum.Deliver(iTask - iBands, imgTerm);
    });
    EXPECT_EQ(parallelSum.FramesAdded(), N);
    EXPECT_TRUE(BitIdentical(imgParallel, imgExpected));
}

}  // namespace
