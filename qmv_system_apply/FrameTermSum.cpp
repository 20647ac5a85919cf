// In-order summation of the frame terms, plane by plane (see the header). The
// additions run outside the lock; the lock only guards the bookkeeping, and a
// plane's adding thread rechecks for delivered frames under it before it
// stops, so no frame is left behind.
#include "FrameTermSum.h"

#include "LargeBuffers.h"
#include "TermAssembly.h"

#include <algorithm>
#include <utility>

namespace NSysApply {

CFrameTermSum::CFrameTermSum(cv::Mat& imgAcc, int iPlanes, double dFactor, int iFrames, int iTerms, std::size_t iMapEntries,
                             int iPrerequisites)
    : m_imgAcc(imgAcc), m_iPlanes(iPlanes), m_iPlaneRows(iPlanes > 0 ? imgAcc.rows / iPlanes : 0), m_dFactor(dFactor),
      m_iMapEntries(iMapEntries), m_vecTerms(iFrames), m_vecDelivered(static_cast<std::size_t>(iFrames) * iPlanes, 0),
      m_vecPlanesAdded(iFrames, 0), m_vecNext(iPlanes, 0), m_vecAdding(iPlanes, 0), m_iPrerequisites(iPrerequisites)
{
    CV_Assert(imgAcc.type() == CV_64FC1 && imgAcc.isContinuous() && iPlanes > 0 && imgAcc.rows % iPlanes == 0);
    m_vecFree.reserve(std::max(iFrames, iTerms));  // recycling never allocates
    for (int i = 0; i < iTerms; ++i) m_vecFree.push_back(NewTerm());
}

CFrameTerm& CFrameTermSum::TakeTerm(int iFrame)
{
    CFrameTerm term;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_vecFree.empty()) {
            term = std::move(m_vecFree.back());
            m_vecFree.pop_back();
        }
    }
    if (term.imgTerm.empty()) term = NewTerm();
    // Only frame k's own tasks touch its slot until its planes are delivered.
    m_vecTerms[iFrame] = std::move(term);
    return m_vecTerms[iFrame];
}

CFrameTerm CFrameTermSum::NewTerm() const
{
    CFrameTerm term;
    term.imgTerm.allocator = LargeMatAllocator();
    term.imgTerm.create(m_imgAcc.rows, m_imgAcc.cols, m_imgAcc.type());
    term.offsets.Reserve(m_iMapEntries);
    return term;
}

void CFrameTermSum::DeliverPlane(int iFrame, int iPlane)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_vecDelivered[static_cast<std::size_t>(iFrame) * m_iPlanes + iPlane] = 1;
    if (m_vecAdding[iPlane] || m_iPrerequisites > 0) return;  // the adding thread, or the last prerequisite, will take it
    AddDuePlanes(iPlane, lock);
}

void CFrameTermSum::Deliver(int iFrame)
{
    for (int c = 0; c < m_iPlanes; ++c) DeliverPlane(iFrame, c);
}

void CFrameTermSum::PrerequisiteDone()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (--m_iPrerequisites > 0) return;
    for (int c = 0; c < m_iPlanes; ++c) {
        if (!m_vecAdding[c]) AddDuePlanes(c, lock);
    }
}

int CFrameTermSum::FramesAdded() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_iFramesAdded;
}

void CFrameTermSum::AddDuePlanes(int iPlane, std::unique_lock<std::mutex>& lock)
{
    m_vecAdding[iPlane] = 1;
    const int iFrames = static_cast<int>(m_vecTerms.size());
    int& iNext = m_vecNext[iPlane];
    while (iNext < iFrames && m_vecDelivered[static_cast<std::size_t>(iNext) * m_iPlanes + iPlane]) {
        const int k = iNext;
        lock.unlock();
        AddPlane(m_vecTerms[k], iPlane);
        lock.lock();
        ++iNext;
        if (++m_vecPlanesAdded[k] == m_iPlanes) {  // no one reads frame k's term any more
            m_vecFree.push_back(std::move(m_vecTerms[k]));
            ++m_iFramesAdded;
        }
    }
    m_vecAdding[iPlane] = 0;
}

void CFrameTermSum::AddPlane(const CFrameTerm& term, int iPlane)
{
    CV_Assert(term.imgTerm.size() == m_imgAcc.size() && term.imgTerm.type() == m_imgAcc.type() && term.imgTerm.isContinuous());
    const int iFirst = iPlane * m_iPlaneRows;
    cv::Mat imgAccPlane = m_imgAcc.rowRange(iFirst, iFirst + m_iPlaneRows);
    if (!term.bWarped) {
        AddFrameTerm(imgAccPlane, m_dFactor, term.imgTerm.rowRange(iFirst, iFirst + m_iPlaneRows));
        return;
    }
    // In the order of the plane's transposed rows.
    CV_Assert(term.offsets.Rows() == m_iPlaneRows);
    const std::size_t iPlaneSize = static_cast<std::size_t>(m_iPlaneRows) * m_imgAcc.cols;
    ScatterAddScaled(m_imgAcc.ptr<double>(iFirst), term.imgTerm.ptr<double>(iFirst), term.offsets.RowOffsets(0), iPlaneSize,
                     m_dFactor);
}

}  // namespace NSysApply
