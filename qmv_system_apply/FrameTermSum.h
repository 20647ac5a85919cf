// Adds the frame terms to the accumulator in frame order while the frames are
// computed in parallel: a thread that delivers frame k goes on with its next
// frame; whichever thread delivers the frame that is due adds it and every
// later frame already delivered. Threads wait for one another only in two
// cases: a frame takes its term after the frame before it has taken its own,
// and a thread that runs too far ahead of the frame due (the other threads
// held up by the machine, say) waits for a term to be freed rather than
// allocating more, so the memory a call takes stays bounded whatever the
// schedule.
//
// A term is B_k^T U (W_k .* D B_k M_k x) before the transposed warp, with the
// frame's resolved map: adding it scatters dFactor times each value to the
// element its map entry names (M_k^T), straight into the accumulator, so the
// scattered image r_k is never formed. The reference frame's term (no warp) is
// added element by element. Terms are recycled, so typically about one per
// thread is alive, and never more than one per frame.
#ifndef QMV_SYSAPPLY_FRAME_TERM_SUM_H
#define QMV_SYSAPPLY_FRAME_TERM_SUM_H

#include "MapStrips.h"

#include <opencv2/core.hpp>

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

namespace NSysApply {

// One frame's term: the P transposed planes of B^T U l, stacked as the
// accumulator is, and the frame's map resolved with ResolveColumnMajor.
struct CFrameTerm {
    cv::Mat imgTerm;
    CFrameMapOffsets offsets;
    bool bWarped = false;  // false: the reference frame, added element by element
};

// The terms a sum holds: iFirst allocated ahead of the frame loop, at most
// iMost in all (at least iFirst).
struct CTermBudget {
    int iFirst;
    int iMost;
};

class CFrameTermSum {
public:
    // imgAcc holds the P transposed planes of an H x W x P array stacked into a
    // (P*W) x H matrix; each frame's term is added in frame order, k = 0..N-1.
    // Terms have room for maps of iMapEntries entries. No frame is added before
    // iPrerequisites calls of PrerequisiteDone (the parts of imgAcc's initial
    // value still being formed).
    CFrameTermSum(cv::Mat& imgAcc, double dFactor, int iFrames, CTermBudget terms, std::size_t iMapEntries, int iPrerequisites = 0);

    // The term for frame k: a free one, or, when frames are delivered out of
    // order faster than they are added, a new one while the budget allows (may
    // throw on allocation failure); past the budget, the call waits until an
    // added frame frees a term. Its offsets may be of an earlier frame. Frames
    // take their terms in frame order (frame k waits for frame k - 1 to take
    // its own), so the frame due always holds a term and every wait ends.
    CFrameTerm TakeTerm(int iFrame);

    // A frame's computation failed, so it will never be delivered and no
    // frame after it will be added: from now on TakeTerm allocates instead of
    // waiting (the call fails anyway; its other frames finish).
    void Abandon();

    // Terms allocated so far.
    int TermsMade() const;

    // Hands over frame k's term; adds it (and the frames after it that are
    // ready) when it is its turn.
    void Deliver(int iFrame, CFrameTerm&& term);

    // One part of imgAcc's initial value is complete.
    void PrerequisiteDone();

    // Number of frames added so far.
    int FramesAdded() const { return m_iNext; }

private:
    CFrameTerm NewTerm() const;
    // With the lock held and no other thread adding: adds the frames due.
    void AddDueFrames(std::unique_lock<std::mutex>& lock);
    // imgAcc += dFactor * (the term, scattered when warped).
    void AddTerm(const CFrameTerm& term);

    cv::Mat& m_imgAcc;
    const double m_dFactor;
    const std::size_t m_iMapEntries;
    mutable std::mutex m_mutex;
    std::vector<CFrameTerm> m_vecReady;   // delivered, not yet added
    std::vector<char> m_vecDelivered;
    std::vector<CFrameTerm> m_vecFree;    // added, ready for reuse
    std::condition_variable m_cvTerms;    // a term was freed or taken, or the sum abandoned
    int m_iTermsMade = 0;
    const int m_iMostTerms;
    int m_iTermsTaken = 0;                // frames 0.. this - 1 have their terms
    bool m_bAbandoned = false;
    int m_iNext = 0;                      // the frame due next
    int m_iPrerequisites;                 // parts of imgAcc still being formed
    bool m_bAdding = false;               // some thread is adding
};

}  // namespace NSysApply

#endif
