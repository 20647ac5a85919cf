// (The protocol of the frame loop as a whole: frameloop/README.md.)
// Adds the frame terms to the accumulator in frame order while the frames are
// computed in parallel. Each plane has an order of its own: plane c of frame k
// is added once it is computed and plane c of frame k - 1 is in, so different
// planes of one frame, or of neighbouring frames, are added by different
// threads at once, and a plane is added while the others of its frame are
// still being computed. Whichever thread makes a plane due (by computing it,
// adding the plane before it, or completing the accumulator's initial value)
// adds it and any plane that falls due meanwhile; threads that have run out
// of frames help with the adding. Threads wait for one another only in two
// cases: a frame takes its term after the frame before it has taken its own,
// and a thread that runs too far ahead of the frame due (the other threads
// held up by the machine, say) waits for a term to be freed rather than
// allocating more, so the memory a call takes stays bounded whatever the
// schedule.
//
// A term holds what is needed to form the rows of B_k^T U (W_k .* D B_k M_k x)
// before the transposed warp, and the frame's resolved map. The caller forms
// the rows (CPlaneRows), one at a time, when a plane is added; each row is
// scattered at once, dFactor times each value to the element its map entry
// names (M_k^T), straight into the accumulator, so neither the full-size term
// nor the scattered image r_k is ever formed. The reference frame's rows (no
// warp) are added element by element. Terms are recycled, so typically about
// one per thread is alive, and never more than one per frame.
#ifndef QMV_SYSAPPLY_FRAME_TERM_SUM_H
#define QMV_SYSAPPLY_FRAME_TERM_SUM_H

#include "warp/FrameMapOffsets.h"

#include <opencv2/core.hpp>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

namespace NSysApply {

// One frame's term: its P planes stacked (in the module, the weighted
// low-resolution planes), and the frame's map resolved with ResolveColumnMajor.
struct CFrameTerm {
    cv::Mat imgPlanes;
    CFrameMapOffsets offsets;
    bool bWarped = false;  // false: the reference frame, added element by element
};

// The terms a sum holds: iFirst allocated ahead of the frame loop, at most
// iMost in all (at least iFirst).
struct CTermBudget {
    int iFirst;
    int iMost;
};

// What a term is made of: imgPlanes of iRows x iCols doubles, maps of
// iMapEntries entries.
struct CTermShape {
    int iRows;
    int iCols;
    std::size_t iMapEntries;
};

// Receives row y of a plane of a term: the accumulator's row width of values.
using CRowSink = std::function<void(int y, const double* pRow)>;

// fnRows(term, k, c, iThread, sink) gives sink every row of plane c of frame
// k's term, rows in increasing order, on thread iThread (which picks the
// caller's per-thread scratch).
using CPlaneRows =
    std::function<void(const CFrameTerm& term, int iFrame, int iPlane, int iThread, const CRowSink& sink)>;

class CFrameTermSum {
public:
    // imgAcc holds the iPlanes transposed planes of an H x W x P array stacked
    // into a (P*W) x H matrix; plane c of each frame's term is added in frame
    // order, k = 0..N-1. No plane is added before iPrerequisites calls of
    // PrerequisiteDone (the parts of imgAcc's initial value still being formed).
    CFrameTermSum(cv::Mat& imgAcc, int iPlanes, double dFactor, int iFrames, CTermBudget terms, CTermShape shape,
                  CPlaneRows fnRows, int iPrerequisites = 0);

    // The term for frame k: a free one, or, when frames are delivered out of
    // order faster than they are added, a new one while the budget allows (may
    // throw on allocation failure); past the budget, the call waits until an
    // added frame frees a term. Its offsets may be of an earlier frame. Frames
    // take their terms in frame order (frame k waits for frame k - 1 to take
    // its own), so the frame due always holds a term and every wait ends.
    CFrameTerm TakeTerm(int iFrame);

    // A frame's computation failed, so it will never be delivered and no
    // frame after it will be added: from now on TakeTerm allocates instead of
    // waiting, and no thread waits to help (the call fails anyway; its other
    // frames finish).
    void Abandon();

    // Terms allocated so far.
    int TermsMade() const;

    // Frame k's term, set up, before its planes are computed: the sum keeps
    // it, in place, until every plane is added; its planes are computed into
    // the term returned.
    CFrameTerm& Start(int iFrame, CFrameTerm&& term);

    // Plane c of frame k's term is computed (on thread iThread, which adds
    // the planes that fall due).
    void PlaneReady(int iFrame, int iPlane, int iThread);

    // One part of imgAcc's initial value is complete (on thread iThread).
    void PrerequisiteDone(int iThread);

    // For a thread with no frame left to compute: adds planes as they fall
    // due until every frame is added or the sum is abandoned.
    void HelpAdding(int iThread);

    // Number of frames with every plane added so far.
    int FramesAdded() const;

private:
    CFrameTerm NewTerm() const;
    // With the lock held: a plane whose next frame can be added now (the one
    // furthest behind), or -1.
    int DuePlane() const;
    // With the lock held: frames 0.. this - 1 have every plane added.
    int FramesAddedLocked() const;
    // With the lock held: adds the planes due, one at a time, until none is.
    void AddDuePlanes(std::unique_lock<std::mutex>& lock, int iThread);
    // imgAcc plane c += dFactor * (the rows of plane c of the term, scattered
    // when warped).
    void AddPlane(const CFrameTerm& term, int iFrame, int iPlane, int iThread);

    cv::Mat& m_imgAcc;
    const int m_iPlanes;
    const double m_dFactor;
    const CTermShape m_shape;
    const CPlaneRows m_fnRows;
    mutable std::mutex m_mutex;
    std::vector<CFrameTerm> m_vecStarted;  // started, not yet added in every plane
    std::vector<char> m_vecPlaneReady;     // frame k, plane c at k * planes + c
    std::vector<int> m_vecNext;            // per plane: the frame due next
    std::vector<char> m_vecAdding;         // per plane: some thread is adding it
    std::vector<CFrameTerm> m_vecFree;     // added, ready for reuse
    // A term freed or taken, a plane due or added, or the sum abandoned.
    std::condition_variable m_cvChange;
    int m_iTermsMade = 0;
    const int m_iMostTerms;
    int m_iTermsTaken = 0;  // frames 0.. this - 1 have their terms
    bool m_bAbandoned = false;
    int m_iPrerequisites;  // parts of imgAcc still being formed
};

}  // namespace NSysApply

#endif
