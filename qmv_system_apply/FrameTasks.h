// The frames of the module's loop as tasks of one plane each, so that the
// threads finish together: with whole frames, a thread that drew the
// reference frame (no warps, so cheaper) or the last frame waited for the
// other at the end for as much as a frame.
//
// Each frame has a setup task (its term taken, its map resolved) and one task
// per plane. Setups are handed out one frame ahead, before the plane tasks of
// the frame before:
//   S0, S1, P(0, 0..P-1), S2, P(1, *), S3, ..., S(N-1), P(N-2, *), P(N-1, *)
// so a plane task seldom finds its frame not yet set up; when it does, it
// waits for the setup, which is then already running on another thread
// (tasks are handed out in this order).
#ifndef QMV_SYSAPPLY_FRAME_TASKS_H
#define QMV_SYSAPPLY_FRAME_TASKS_H

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace NSysApply {

struct CFrameTask {
    int iFrame;
    int iPlane;  // -1: the frame's setup
};

// The order above, for iFrames frames of iPlanes planes.
inline std::vector<CFrameTask> FrameTaskOrder(int iFrames, int iPlanes)
{
    std::vector<CFrameTask> vecTasks;
    vecTasks.reserve(static_cast<std::size_t>(iFrames) * (iPlanes + 1));
    for (int k = 0; k < std::min(iFrames, 2); ++k) vecTasks.push_back(CFrameTask{k, -1});
    for (int k = 0; k < iFrames; ++k) {
        for (int c = 0; c < iPlanes; ++c) vecTasks.push_back(CFrameTask{k, c});
        if (k + 2 < iFrames) vecTasks.push_back(CFrameTask{k + 2, -1});
    }
    return vecTasks;
}

// Per frame: whether its setup is done.
class CFrameProgress {
public:
    explicit CFrameProgress(int iFrames) : m_pSetup(new std::atomic<int>[static_cast<std::size_t>(iFrames)]()) {}

    // The setup's results are published to the threads that wait for it.
    void SetupDone(int k) { m_pSetup[k].store(READY, std::memory_order_release); }
    void SetupFailed(int k) { m_pSetup[k].store(FAILED, std::memory_order_release); }

    // Waits for frame k's setup; false when it failed (its task reports why).
    bool WaitForSetup(int k) const
    {
        int iState;
        while ((iState = m_pSetup[k].load(std::memory_order_acquire)) == PENDING) std::this_thread::yield();
        return iState == READY;
    }

private:
    enum { PENDING = 0, READY = 1, FAILED = 2 };
    std::unique_ptr<std::atomic<int>[]> m_pSetup;
};

}  // namespace NSysApply

#endif
