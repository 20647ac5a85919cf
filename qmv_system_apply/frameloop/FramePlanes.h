// (The protocol of the frame loop as a whole: frameloop/README.md.)
// The planes of the frames under way, shared out one plane at a time. The
// thread that runs frame k takes its planes in turn; a thread that has run
// out of tasks takes the planes still untaken of any frame under way. So the
// threads of a call run out of work within about a plane of each other
// instead of a frame, without splitting frames while there is other work.
// Each plane is reported done as soon as it is computed. Each plane is
// computed the same way whichever thread takes it, so the bits do not depend
// on the schedule.
#ifndef QMV_SYSAPPLY_FRAME_PLANES_H
#define QMV_SYSAPPLY_FRAME_PLANES_H

#include "frameloop/FrameTermSum.h"

#include <atomic>
#include <memory>
#include <thread>

namespace NSysApply {

class CFramePlanes {
public:
    CFramePlanes(int iFrames, int iPlanes) : m_iFrames(iFrames), m_iPlanes(iPlanes), m_pFrames(new CFrameState[iFrames])
    {}

    // Frame k is set up (term taken, map resolved): its planes may be taken.
    // The term stays where it is, and must until every plane is done.
    void Open(int k, CFrameTerm& term)
    {
        CFrameState& frame = m_pFrames[k];
        frame.pTerm = &term;
        frame.bOpen.store(true, std::memory_order_release);
    }

    // Takes planes of open frame k while any are untaken: fnPlane(k, term, c)
    // computes plane c, then fnDone(k, c) reports it.
    template <class TPlane, class TDone>
    void Work(int k, const TPlane& fnPlane, const TDone& fnDone)
    {
        CFrameState& frame = m_pFrames[k];
        for (int c = frame.iTaken.fetch_add(1, std::memory_order_relaxed); c < m_iPlanes;
             c = frame.iTaken.fetch_add(1, std::memory_order_relaxed)) {
            fnPlane(k, *frame.pTerm, c);
            fnDone(k, c);
        }
    }

    // Once no task is left to hand out, every frame will be opened (unless
    // the work is abandoned): takes planes of any open frame until every
    // frame is open and all its planes are taken, waiting for frames still
    // being set up.
    template <class TPlane, class TDone>
    void Help(const TPlane& fnPlane, const TDone& fnDone)
    {
        while (!m_bAbandoned.load(std::memory_order_acquire)) {
            bool bWorked = false, bSettingUp = false;
            for (int k = 0; k < m_iFrames; ++k) {
                const CFrameState& frame = m_pFrames[k];
                if (!frame.bOpen.load(std::memory_order_acquire)) {
                    bSettingUp = true;
                } else if (frame.iTaken.load(std::memory_order_relaxed) < m_iPlanes) {
                    Work(k, fnPlane, fnDone);
                    bWorked = true;
                }
            }
            if (!bSettingUp && !bWorked) return;
            if (!bWorked) std::this_thread::yield();
        }
    }

    // A frame failed: helpers stop waiting for frames to open.
    void Abandon() { m_bAbandoned.store(true, std::memory_order_release); }

private:
    struct CFrameState {
        std::atomic<bool> bOpen{false};
        std::atomic<int> iTaken{0};  // planes taken (counts past the last)
        CFrameTerm* pTerm = nullptr;
    };

    const int m_iFrames, m_iPlanes;
    std::unique_ptr<CFrameState[]> m_pFrames;
    std::atomic<bool> m_bAbandoned{false};
};

}  // namespace NSysApply

#endif
