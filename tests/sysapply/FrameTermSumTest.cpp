// The frame runner's handling of failures inside the parallel region, and the
// in-order sum of frame terms delivered out of order, plane by plane, shared
// among threads.
#include "SysApplyTestUtil.h"

#include "mexglue/NearestPixel.h"
#include "qmv_system_apply/frameloop/FrameParallel.h"
#include "qmv_system_apply/frameloop/FrameTermSum.h"
#include "qmv_system_apply/frameloop/TermAssembly.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

using namespace NSysApply;
using namespace NSysApplyTest;
using NMexGlue::MapToPixel;

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

// Terms as the frame loop makes them: two planes of 4 x 5 (stacked 8 x 5),
// frame 2 the reference frame (added element by element), the others warped
// by maps with collisions and an illegal entry (scattered).
struct CTermCase {
    static constexpr int H = 5, W = 4, P = 2, N = 4;
    std::vector<cv::Mat> vecTerms, vecMaps;
    CPlanarStore store;
    std::vector<CPlanarView> vecViews;
    cv::Mat imgStart, imgExpected;

    explicit CTermCase(cv::RNG& rng)
    {
        imgStart = RandomMat(P * W, H, 1, rng);
        imgExpected = imgStart.clone();
        for (int k = 0; k < N; ++k) {
            vecTerms.push_back(RandomMat(P * W, H, 1, rng, -1e3, 1e3));
            vecMaps.push_back(RandomMap(H, W, rng, 1.5, k == 1 ? 0.1 : 0.0));
            vecViews.push_back(store.View(vecMaps.back()));
            // The expected sum, one contribution at a time in visiting order.
            for (int c = 0; c < P; ++c) {
                for (int x = 0; x < W; ++x) {
                    for (int y = 0; y < H; ++y) {
                        const double dValue = vecTerms[k].at<double>(c * W + x, y);
                        int iX = x, iY = y;
                        if (k != 2) {
                            const cv::Vec2d v = vecMaps[k].at<cv::Vec2d>(y, x);
                            if (!MapToPixel(v[0], v[1], W, H, iX, iY)) continue;
                        }
                        double& dAcc = imgExpected.at<double>(c * W + iX, iY);
                        dAcc = 0.37 * dValue + dAcc;
                    }
                }
            }
        }
    }

    void Fill(CFrameTerm& term, int k) const
    {
        vecTerms[k].copyTo(term.imgPlanes);
        term.bWarped = k != 2;
        if (term.bWarped) term.offsets.ResolveColumnMajor(vecViews[k]);
    }

    // The rows of a plane of a term: the term holds them as they are.
    static void Rows(const CFrameTerm& term, int, int c, int, const CRowSink& sink)
    {
        for (int y = 0; y < W; ++y) sink(y, term.imgPlanes.ptr<double>(c * W + y));
    }

    CFrameTermSum Sum(cv::Mat& imgAcc, CTermBudget budget, int iPrerequisites = 0, CPlaneRows fnRows = Rows) const
    {
        return CFrameTermSum(imgAcc, P, 0.37, N, budget, CTermShape{P * W, H, static_cast<std::size_t>(H * W)}, fnRows,
                             iPrerequisites);
    }
};

// Hands frame k's term over whole, as if all its planes were computed at once.
void Deliver(CFrameTermSum& sum, int k, CFrameTerm&& term, int iThread)
{
    sum.Start(k, std::move(term));
    for (int c = 0; c < CTermCase::P; ++c) sum.PlaneReady(k, c, iThread);
}

TEST(FrameTermSum, AddsInFrameOrderWhateverTheDeliveryOrder)
{
    cv::RNG rng(31);
    const CTermCase tc(rng);
    for (const std::vector<int>& vecOrder : {std::vector<int>{3, 2, 1, 0}, std::vector<int>{1, 0, 3, 2}}) {
        cv::Mat imgAcc = tc.imgStart.clone();
        CFrameTermSum sum = tc.Sum(imgAcc, CTermBudget{1, tc.N});
        std::vector<CFrameTerm> vecTerms(tc.N);
        for (int k = 0; k < tc.N; ++k) {
            vecTerms[k] = sum.TakeTerm(k);
            tc.Fill(vecTerms[k], k);
        }
        for (int k : vecOrder) Deliver(sum, k, std::move(vecTerms[k]), 0);
        EXPECT_EQ(sum.FramesAdded(), tc.N);
        EXPECT_TRUE(BitIdentical(imgAcc, tc.imgExpected));
    }

    cv::Mat imgAcc = tc.imgStart.clone();  // delivered from parallel frames
    CFrameTermSum sum = tc.Sum(imgAcc, CTermBudget{2, 2});
    RunFramesInParallel(tc.N, [&](int k, int iThread) {
        CFrameTerm term = sum.TakeTerm(k);
        tc.Fill(term, k);
        Deliver(sum, k, std::move(term), iThread);
    });
    EXPECT_EQ(sum.FramesAdded(), tc.N);
    EXPECT_TRUE(BitIdentical(imgAcc, tc.imgExpected));
}

// Frames delivered before the accumulator's initial value is complete wait for
// the last prerequisite, which then adds them, in parallel or not.
TEST(FrameTermSum, WaitsForItsPrerequisites)
{
    cv::RNG rng(32);
    const CTermCase tc(rng);
    cv::Mat imgAcc = cv::Mat::zeros(tc.imgStart.size(), CV_64FC1);
    CFrameTermSum sum = tc.Sum(imgAcc, CTermBudget{1, tc.N}, 2);
    std::vector<CFrameTerm> vecTerms(tc.N);
    for (int k = 0; k < tc.N; ++k) {
        vecTerms[k] = sum.TakeTerm(k);
        tc.Fill(vecTerms[k], k);
    }
    for (int k : {0, 1, 3}) Deliver(sum, k, std::move(vecTerms[k]), 0);
    tc.imgStart.rowRange(0, 3).copyTo(imgAcc.rowRange(0, 3));
    sum.PrerequisiteDone(0);
    EXPECT_EQ(sum.FramesAdded(), 0);
    tc.imgStart.rowRange(3, imgAcc.rows).copyTo(imgAcc.rowRange(3, imgAcc.rows));
    sum.PrerequisiteDone(0);
    EXPECT_EQ(sum.FramesAdded(), 2);
    Deliver(sum, 2, std::move(vecTerms[2]), 0);
    EXPECT_EQ(sum.FramesAdded(), tc.N);
    EXPECT_TRUE(BitIdentical(imgAcc, tc.imgExpected));

    const int iBands = imgAcc.rows;  // the initial value formed row by row by parallel tasks
    cv::Mat imgParallel = cv::Mat::zeros(tc.imgStart.size(), CV_64FC1);
    CFrameTermSum parallelSum = tc.Sum(imgParallel, CTermBudget{2, 2}, iBands);
    RunTasksInParallel(iBands + tc.N, 2, [&](int iTask, int iThread) {
        if (iTask < iBands) {
            tc.imgStart.row(iTask).copyTo(imgParallel.row(iTask));
            parallelSum.PrerequisiteDone(iThread);
            return;
        }
        CFrameTerm frameTerm = parallelSum.TakeTerm(iTask - iBands);
        tc.Fill(frameTerm, iTask - iBands);
        Deliver(parallelSum, iTask - iBands, std::move(frameTerm), iThread);
    });
    EXPECT_EQ(parallelSum.FramesAdded(), tc.N);
    EXPECT_TRUE(BitIdentical(imgParallel, tc.imgExpected));
}

// Frames take their terms in frame order, so a frame that asks first waits
// for the frames before it; a thread that has used up the budget while the
// frame due is still being computed waits for that frame to be added instead
// of allocating; once the sum is abandoned (a frame failed), nobody waits.
TEST(FrameTermSum, TermsGoInFrameOrderAndWithinTheBudget)
{
    cv::RNG rng(33);
    const CTermCase tc(rng);
    cv::Mat imgAcc = tc.imgStart.clone();
    CFrameTermSum sum = tc.Sum(imgAcc, CTermBudget{1, 2});
    std::atomic<int> iTaken{0};
    std::thread ahead([&] {
        for (int k = 1; k < tc.N; ++k) {
            CFrameTerm term = sum.TakeTerm(k);
            ++iTaken;
            tc.Fill(term, k);
            Deliver(sum, k, std::move(term), 1);
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(iTaken.load(), 0);  // frame 1 waits for frame 0 to take its term
    CFrameTerm termDue = sum.TakeTerm(0);
    while (iTaken.load() < 1) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(iTaken.load(), 1);  // frame 2 waits: the terms of frames 0 and 1 are all there may be
    EXPECT_EQ(sum.FramesAdded(), 0);
    tc.Fill(termDue, 0);
    Deliver(sum, 0, std::move(termDue), 0);
    ahead.join();
    EXPECT_EQ(sum.FramesAdded(), tc.N);
    EXPECT_EQ(sum.TermsMade(), 2);
    EXPECT_TRUE(BitIdentical(imgAcc, tc.imgExpected));

    cv::Mat imgFailed = tc.imgStart.clone();
    CFrameTermSum failedSum = tc.Sum(imgFailed, CTermBudget{1, 1});
    CFrameTerm termLost = failedSum.TakeTerm(0);  // frame 0, whose computation fails
    std::thread waiting([&] { CFrameTerm term = failedSum.TakeTerm(1); });
    failedSum.Abandon();
    waiting.join();
    EXPECT_EQ(failedSum.TermsMade(), 2);
    EXPECT_EQ(failedSum.FramesAdded(), 0);
}

// Each plane has its own order, so a thread that has run out of frames adds
// one plane while another thread adds another; a helper waits for planes to
// fall due (here: all planes of frame 0 at once, when the accumulator's
// initial value is complete) and leaves once all are in, or once the sum is
// abandoned. A plane is added as soon as it is computed, while the other
// planes of its frame are not.
TEST(FrameTermSum, IdleThreadsShareTheAddingOfAFrame)
{
    cv::RNG rng(34);
    const CTermCase tc(rng);
    cv::Mat imgAcc = tc.imgStart.clone();
    std::atomic<int> iAdds{0};
    std::atomic<bool> bShared{false}, bHelperAdded{false};
    const auto fnRows = [&](const CFrameTerm& term, int k, int c, int iThread, const CRowSink& sink) {
        if (iThread == 1) bHelperAdded = true;
        if (++iAdds == 1) {
            // The first plane added waits for another to start (for ten
            // seconds at most, so a fault fails rather than hangs).
            const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (iAdds.load() < 2 && std::chrono::steady_clock::now() < tEnd) std::this_thread::yield();
            bShared = iAdds.load() >= 2;
        }
        CTermCase::Rows(term, k, c, iThread, sink);
    };
    CFrameTermSum sum = tc.Sum(imgAcc, CTermBudget{tc.N, tc.N}, 1, fnRows);
    for (int k = 0; k < tc.N; ++k) {
        CFrameTerm term = sum.TakeTerm(k);
        tc.Fill(term, k);
        Deliver(sum, k, std::move(term), 0);
    }
    EXPECT_EQ(iAdds.load(), 0);
    std::thread helper([&] { sum.HelpAdding(1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the helper is waiting by now
    sum.PrerequisiteDone(0);
    helper.join();
    EXPECT_TRUE(bShared.load());
    EXPECT_TRUE(bHelperAdded.load());
    EXPECT_EQ(sum.FramesAdded(), tc.N);
    EXPECT_TRUE(BitIdentical(imgAcc, tc.imgExpected));

    cv::Mat imgEarly = tc.imgStart.clone();
    CFrameTermSum earlySum = tc.Sum(imgEarly, CTermBudget{tc.N, tc.N});
    for (int k = 0; k < tc.N; ++k) {
        CFrameTerm& term = earlySum.Start(k, earlySum.TakeTerm(k));
        tc.Fill(term, k);
        earlySum.PlaneReady(k, 1, 0);  // plane 1 goes in at once, frame by frame
    }
    EXPECT_EQ(earlySum.FramesAdded(), 0);
    const int W = CTermCase::W;
    EXPECT_TRUE(BitIdentical(imgEarly.rowRange(W, 2 * W), tc.imgExpected.rowRange(W, 2 * W)));
    EXPECT_TRUE(BitIdentical(imgEarly.rowRange(0, W), tc.imgStart.rowRange(0, W)));
    for (int k = 0; k < tc.N; ++k) earlySum.PlaneReady(k, 0, 0);
    EXPECT_EQ(earlySum.FramesAdded(), tc.N);
    EXPECT_TRUE(BitIdentical(imgEarly, tc.imgExpected));

    cv::Mat imgFailed = tc.imgStart.clone();
    CFrameTermSum failedSum = tc.Sum(imgFailed, CTermBudget{1, tc.N});
    std::thread waiting([&] { failedSum.HelpAdding(1); });  // frame 0 never comes
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    failedSum.Abandon();
    waiting.join();
    EXPECT_EQ(failedSum.FramesAdded(), 0);
}

// A plane whose adding fails is never finished: the loop abandons the sum
// (as the module's frame loop does), and no thread is left waiting for a
// term or for a plane to add; the failure comes out of the parallel region.
TEST(FrameTermSum, AFailedAddLeavesNoThreadWaiting)
{
    cv::RNG rng(35);
    const CTermCase tc(rng);
    cv::Mat imgAcc = tc.imgStart.clone();
    const auto fnRows = [&](const CFrameTerm& term, int k, int c, int iThread, const CRowSink& sink) {
        if (k == 1 && c == 1) throw std::runtime_error("add failed");
        CTermCase::Rows(term, k, c, iThread, sink);
    };
    CFrameTermSum sum = tc.Sum(imgAcc, CTermBudget{1, 2}, 0, fnRows);
    const auto fnAbandoning = [&](const auto& fn) {
        try {
            fn();
        } catch (...) {
            sum.Abandon();
            throw;
        }
    };
    try {
        RunTasksInParallel(
            tc.N, 2,
            [&](int k, int iThread) {
                fnAbandoning([&] {
                    CFrameTerm term = sum.TakeTerm(k);
                    tc.Fill(term, k);
                    Deliver(sum, k, std::move(term), iThread);
                });
            },
            [&](int iThread) { fnAbandoning([&] { sum.HelpAdding(iThread); }); });
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "add failed");
    }
    EXPECT_EQ(sum.FramesAdded(), 1);
}

}  // namespace
