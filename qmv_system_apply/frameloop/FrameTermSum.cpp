// In-order summation of the frame terms, plane by plane (see the header). The
// additions run outside the lock; the lock only guards the bookkeeping, and a
// thread that has added a plane rechecks for due planes under it before it
// stops, so no plane is left behind.
#include "frameloop/FrameTermSum.h"

#include "frameloop/LargeBuffers.h"
#include "frameloop/TermAssembly.h"
#include "warp/ScatterAddScaled.h"

#include <algorithm>
#include <utility>

namespace NSysApply {

CFrameTermSum::CFrameTermSum(cv::Mat& imgAcc, int iPlanes, double dFactor, int iFrames, CTermBudget terms,
                             CTermShape shape, CPlaneRows fnRows, int iPrerequisites)
    : m_imgAcc(imgAcc), m_iPlanes(iPlanes), m_dFactor(dFactor), m_shape(shape), m_fnRows(std::move(fnRows)),
      m_vecStarted(iFrames), m_vecPlaneReady(static_cast<std::size_t>(iFrames) * iPlanes, 0), m_vecNext(iPlanes, 0),
      m_vecAdding(iPlanes, 0), m_iMostTerms(terms.iMost), m_iPrerequisites(iPrerequisites)
{
    CV_Assert(imgAcc.type() == CV_64FC1 && imgAcc.isContinuous() && iPlanes > 0 && imgAcc.rows % iPlanes == 0);
    CV_Assert(terms.iFirst >= 0 && terms.iMost >= std::max(terms.iFirst, 1) && shape.iRows > 0 && shape.iCols > 0);
    m_vecFree.reserve(std::max(iFrames, terms.iMost));  // recycling never allocates
    for (int i = 0; i < terms.iFirst; ++i) m_vecFree.push_back(NewTerm());
    m_iTermsMade = terms.iFirst;
}

CFrameTerm CFrameTermSum::TakeTerm(int iFrame)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cvChange.wait(lock, [&] {
        if (m_bAbandoned) return true;
        return iFrame == m_iTermsTaken && (!m_vecFree.empty() || m_iTermsMade < m_iMostTerms);
    });
    ++m_iTermsTaken;
    m_cvChange.notify_all();  // the next frame's turn
    if (!m_vecFree.empty()) {
        CFrameTerm term = std::move(m_vecFree.back());
        m_vecFree.pop_back();
        return term;
    }
    ++m_iTermsMade;  // counted before it exists, so no other thread overshoots
    lock.unlock();
    return NewTerm();
}

void CFrameTermSum::Abandon()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bAbandoned = true;
    }
    m_cvChange.notify_all();
}

int CFrameTermSum::TermsMade() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_iTermsMade;
}

int CFrameTermSum::FramesAdded() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return FramesAddedLocked();
}

int CFrameTermSum::FramesAddedLocked() const { return *std::min_element(m_vecNext.begin(), m_vecNext.end()); }

CFrameTerm CFrameTermSum::NewTerm() const
{
    CFrameTerm term;
    term.imgPlanes.allocator = LargeMatAllocator();
    term.imgPlanes.create(m_shape.iRows, m_shape.iCols, CV_64FC1);
    term.offsets.Reserve(m_shape.iMapEntries);
    return term;
}

CFrameTerm& CFrameTermSum::Start(int iFrame, CFrameTerm&& term)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecStarted[iFrame] = std::move(term);
    return m_vecStarted[iFrame];
}

void CFrameTermSum::PlaneReady(int iFrame, int iPlane, int iThread)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_vecPlaneReady[static_cast<std::size_t>(iFrame) * m_iPlanes + iPlane] = 1;
    m_cvChange.notify_all();  // helpers may add it
    AddDuePlanes(lock, iThread);
}

void CFrameTermSum::PrerequisiteDone(int iThread)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (--m_iPrerequisites > 0) return;
    m_cvChange.notify_all();
    AddDuePlanes(lock, iThread);
}

void CFrameTermSum::HelpAdding(int iThread)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const int iFrames = static_cast<int>(m_vecStarted.size());
    for (;;) {
        AddDuePlanes(lock, iThread);
        if (m_bAbandoned || FramesAddedLocked() == iFrames) return;
        m_cvChange.wait(lock, [&] { return m_bAbandoned || FramesAddedLocked() == iFrames || DuePlane() >= 0; });
    }
}

int CFrameTermSum::DuePlane() const
{
    if (m_bAbandoned || m_iPrerequisites > 0) return -1;
    const int iFrames = static_cast<int>(m_vecStarted.size());
    int iDue = -1;
    for (int c = 0; c < m_iPlanes; ++c) {
        const int k = m_vecNext[c];
        if (m_vecAdding[c] || k >= iFrames || !m_vecPlaneReady[static_cast<std::size_t>(k) * m_iPlanes + c]) continue;
        if (iDue < 0 || k < m_vecNext[iDue]) iDue = c;
    }
    return iDue;
}

void CFrameTermSum::AddDuePlanes(std::unique_lock<std::mutex>& lock, int iThread)
{
    for (int c = DuePlane(); c >= 0; c = DuePlane()) {
        const int k = m_vecNext[c];
        m_vecAdding[c] = 1;
        lock.unlock();
        // The term stays in place until all its planes are in, while other
        // planes of it may still be computed; on failure the caller abandons
        // the sum, so the plane stays claimed.
        AddPlane(m_vecStarted[k], k, c, iThread);
        lock.lock();
        m_vecAdding[c] = 0;
        ++m_vecNext[c];
        // Each plane goes in frame order, so frame k is complete once no
        // plane is left behind it.
        if (FramesAddedLocked() == k + 1) m_vecFree.push_back(std::move(m_vecStarted[k]));
        m_cvChange.notify_all();
    }
}

void CFrameTermSum::AddPlane(const CFrameTerm& term, int iFrame, int iPlane, int iThread)
{
    const int iPlaneRows = m_imgAcc.rows / m_iPlanes, iCols = m_imgAcc.cols;
    double* pAccPlane = m_imgAcc.ptr<double>(iPlane * iPlaneRows);
    const std::size_t iPlaneSize = static_cast<std::size_t>(iPlaneRows) * iCols;
    if (!term.bWarped) {
        m_fnRows(term, iFrame, iPlane, iThread, [&](int y, const double* pRow) {
            CV_Assert(y >= 0 && y < iPlaneRows);
            AddScaledValues(pAccPlane + static_cast<std::size_t>(y) * iCols, pRow, iCols, m_dFactor);
        });
        return;
    }
    CV_Assert(term.offsets.Rows() == iPlaneRows && term.offsets.Cols() == iCols);
    const CFrameMapOffsets::COffset* pOffsets = term.offsets.RowOffsets(0);
    m_fnRows(term, iFrame, iPlane, iThread, [&](int y, const double* pRow) {
        CV_Assert(y >= 0 && y < iPlaneRows);
        const std::size_t iFirst = static_cast<std::size_t>(y) * iCols;
        ScatterAddScaled(pAccPlane, pRow, pOffsets + iFirst, iCols, iPlaneSize - iFirst, m_dFactor);
    });
}

}  // namespace NSysApply
