// Frames shared out by plane: each plane is computed once, in its frame's
// term, and reported once, after it is computed; a thread that runs out of
// tasks takes planes of a frame another thread is still computing.
#include "qmv_system_apply/frameloop/FrameParallel.h"
#include "qmv_system_apply/frameloop/FramePlanes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace NSysApply;

TEST(FramePlanes, EveryPlaneOnceAndIdleThreadsHelpWithTheFramesUnderWay)
{
    constexpr int N = 5, P = 3;
    CFramePlanes planes(N, P);
    std::vector<CFrameTerm> vecTerms(N);
    std::atomic<int> aiStarted[N] = {};
    std::atomic<int> aiComputed[N][P] = {}, aiDone[N][P] = {};
    std::atomic<bool> bHelped{false};
    const auto fnPlane = [&](int k, CFrameTerm& term, int c) {
        EXPECT_EQ(&term, &vecTerms[k]);  // the frame's own term, in place
        // The last frame's first plane waits for another thread to take a
        // plane of the same frame, which only an idle thread can do (for ten
        // seconds at most, so a fault fails rather than hangs).
        if (++aiStarted[k] == 1 && k == N - 1) {
            const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (aiStarted[k].load() < 2 && std::chrono::steady_clock::now() < tEnd) std::this_thread::yield();
            bHelped = aiStarted[k].load() >= 2;
        }
        ++aiComputed[k][c];
    };
    const auto fnDone = [&](int k, int c) {
        EXPECT_EQ(aiComputed[k][c].load(), 1) << k << " " << c;  // reported after it is computed
        ++aiDone[k][c];
    };
    RunTasksInParallel(
        N, 2,
        [&](int k, int) {
            planes.Open(k, vecTerms[k]);
            planes.Work(k, fnPlane, fnDone);
        },
        [&](int) { planes.Help(fnPlane, fnDone); });
    for (int k = 0; k < N; ++k) {
        for (int c = 0; c < P; ++c) {
            EXPECT_EQ(aiComputed[k][c].load(), 1) << k << " " << c;
            EXPECT_EQ(aiDone[k][c].load(), 1) << k << " " << c;
        }
    }
    EXPECT_TRUE(bHelped.load());
}

// The helping step runs on every thread once the tasks run out; its failure
// is reported only when no task failed.
TEST(FramePlanes, HelpingFailuresComeAfterTaskFailures)
{
    std::atomic<int> iIdle{0};
    const auto fnIdleFails = [&](int) {
        ++iIdle;
        throw std::runtime_error("idle");
    };
    for (const bool bTaskFails : {true, false}) {
        iIdle = 0;
        try {
            RunTasksInParallel(
                4, 2,
                [&](int k, int) {
                    if (bTaskFails && k == 3) throw std::runtime_error("task " + std::to_string(k));
                },
                fnIdleFails);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), bTaskFails ? "task 3" : "idle");
        }
        EXPECT_GE(iIdle.load(), 1);
    }
}

}  // namespace
