// Adds the frame terms to the accumulator in frame order while the frames are
// computed in parallel, without making any thread wait for another: a thread
// that delivers a plane of frame k goes on with its next task; whichever
// thread delivers the plane that is due adds it and every later frame's same
// plane already delivered. The planes of the accumulator are independent, so
// each keeps its own frame order, and the last frames' additions can run on
// several threads at once.
//
// A term is B_k^T U (W_k .* D B_k M_k x) before the transposed warp, with the
// frame's resolved map: adding a plane of it scatters dFactor times each value
// to the element its map entry names (M_k^T), straight into the accumulator,
// so the scattered image r_k is never formed. The reference frame's term (no
// warp) is added element by element. Terms are recycled once all their planes
// are added, so typically a few are alive, and never more than one per frame.
#ifndef QMV_SYSAPPLY_FRAME_TERM_SUM_H
#define QMV_SYSAPPLY_FRAME_TERM_SUM_H

#include "MapStrips.h"

#include <opencv2/core.hpp>

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

class CFrameTermSum {
public:
    // imgAcc holds the iPlanes transposed planes of an H x W x P array stacked
    // into a (P*W) x H matrix; each frame's term is added in frame order,
    // k = 0..N-1, plane by plane. iTerms terms, with room for maps of
    // iMapEntries entries, are allocated here, ahead of the frame loop. No
    // plane is added before iPrerequisites calls of PrerequisiteDone (the parts
    // of imgAcc's initial value still being formed).
    CFrameTermSum(cv::Mat& imgAcc, int iPlanes, double dFactor, int iFrames, int iTerms, std::size_t iMapEntries,
                  int iPrerequisites = 0);

    // Frame k's term, a free one or, when frames are delivered faster than
    // they are added, a new one (may throw on allocation failure); its offsets
    // may be of an earlier frame. It stays frame k's until its planes are
    // added: the caller fills it, then delivers its planes.
    CFrameTerm& TakeTerm(int iFrame);
    // Frame k's term, from TakeTerm(k) until its planes are delivered.
    CFrameTerm& Term(int iFrame) { return m_vecTerms[iFrame]; }

    // Plane c of frame k's term is complete; adds it (and the same plane of
    // the frames after it that are ready) when it is its turn.
    void DeliverPlane(int iFrame, int iPlane);
    // Every plane of frame k's term is complete.
    void Deliver(int iFrame);

    // One part of imgAcc's initial value is complete.
    void PrerequisiteDone();

    // Number of frames whose planes have all been added so far.
    int FramesAdded() const;

private:
    CFrameTerm NewTerm() const;
    // With the lock held and no other thread adding plane c: adds its planes due.
    void AddDuePlanes(int iPlane, std::unique_lock<std::mutex>& lock);
    // Plane c of imgAcc += dFactor * (the term's plane c, scattered when warped).
    void AddPlane(const CFrameTerm& term, int iPlane);

    cv::Mat& m_imgAcc;
    const int m_iPlanes, m_iPlaneRows;
    const double m_dFactor;
    const std::size_t m_iMapEntries;
    mutable std::mutex m_mutex;
    std::vector<CFrameTerm> m_vecTerms;    // per frame, from TakeTerm until all planes are added
    std::vector<char> m_vecDelivered;      // per frame and plane
    std::vector<int> m_vecPlanesAdded;     // per frame
    std::vector<int> m_vecNext;            // per plane: the frame due next
    std::vector<char> m_vecAdding;         // per plane: some thread is adding
    std::vector<CFrameTerm> m_vecFree;     // added, ready for reuse
    int m_iFramesAdded = 0;
    int m_iPrerequisites;                  // parts of imgAcc still being formed
};

}  // namespace NSysApply

#endif
