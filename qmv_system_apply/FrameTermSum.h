// Adds the frame terms r_k to the accumulator in frame order while the frames
// are computed in parallel, without making any thread wait for another: a
// thread that delivers frame k goes on with its next frame; whichever thread
// delivers the frame that is due adds it and every later frame already
// delivered. Result buffers are recycled, so typically about one per thread
// is alive, and never more than one per frame.
#ifndef QMV_SYSAPPLY_FRAME_TERM_SUM_H
#define QMV_SYSAPPLY_FRAME_TERM_SUM_H

#include <opencv2/core.hpp>

#include <mutex>
#include <vector>

namespace NSysApply {

class CFrameTermSum {
public:
    // imgAcc = dFactor * r_k + imgAcc for k = 0..iFrames-1, in this order.
    // iBuffers result buffers are allocated here, ahead of the frame loop.
    // No frame is added before iPrerequisites calls of PrerequisiteDone (the
    // parts of imgAcc's initial value still being formed).
    CFrameTermSum(cv::Mat& imgAcc, double dFactor, int iFrames, int iBuffers, int iPrerequisites = 0);

    // A buffer for one frame result: a free one, or, when frames are delivered
    // out of order faster than they are added, a new one of the accumulator's
    // size and type (may throw on allocation failure).
    cv::Mat TakeBuffer();

    // Hands over frame k's result; adds it (and the frames after it that are
    // ready) when it is its turn.
    void Deliver(int iFrame, cv::Mat& imgFrame);

    // One part of imgAcc's initial value is complete.
    void PrerequisiteDone();

    // Number of frames added so far.
    int FramesAdded() const { return m_iNext; }

private:
    static constexpr int MAX_FRAMES_PER_PASS = 4;

    cv::Mat NewBuffer() const;
    // With the lock held and no other thread adding: adds the frames due.
    void AddDueFrames(std::unique_lock<std::mutex>& lock);

    cv::Mat& m_imgAcc;
    const double m_dFactor;
    std::mutex m_mutex;
    std::vector<cv::Mat> m_vecReady;   // delivered, not yet added
    std::vector<char> m_vecDelivered;
    std::vector<cv::Mat> m_vecFree;    // added, ready for reuse
    int m_iNext = 0;                   // the frame due next
    int m_iPrerequisites;              // parts of imgAcc still being formed
    bool m_bAdding = false;            // some thread is adding
};

}  // namespace NSysApply

#endif
