// In-order summation of the frame terms (see the header). The additions run
// outside the lock; the lock only guards the bookkeeping, and the adding
// thread rechecks for delivered frames under it before it stops, so no frame
// is left behind.
#include "FrameTermSum.h"

#include "LargeBuffers.h"
#include "TermAssembly.h"

#include <algorithm>
#include <utility>

namespace NSysApply {

CFrameTermSum::CFrameTermSum(cv::Mat& imgAcc, double dFactor, int iFrames, CTermBudget terms, std::size_t iMapEntries,
                             int iPrerequisites)
    : m_imgAcc(imgAcc), m_dFactor(dFactor), m_iMapEntries(iMapEntries), m_vecReady(iFrames), m_vecDelivered(iFrames, 0),
      m_iMostTerms(terms.iMost), m_iPrerequisites(iPrerequisites)
{
    CV_Assert(imgAcc.type() == CV_64FC1 && imgAcc.isContinuous());
    CV_Assert(terms.iFirst >= 0 && terms.iMost >= std::max(terms.iFirst, 1));
    m_vecFree.reserve(std::max(iFrames, terms.iMost));  // recycling never allocates
    for (int i = 0; i < terms.iFirst; ++i) m_vecFree.push_back(NewTerm());
    m_iTermsMade = terms.iFirst;
}

CFrameTerm CFrameTermSum::TakeTerm(int iFrame)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cvTerms.wait(lock, [&] {
        if (m_bAbandoned) return true;
        return iFrame == m_iTermsTaken && (!m_vecFree.empty() || m_iTermsMade < m_iMostTerms);
    });
    ++m_iTermsTaken;
    m_cvTerms.notify_all();  // the next frame's turn
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
    m_cvTerms.notify_all();
}

int CFrameTermSum::TermsMade() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_iTermsMade;
}

CFrameTerm CFrameTermSum::NewTerm() const
{
    CFrameTerm term;
    term.imgTerm.allocator = LargeMatAllocator();
    term.imgTerm.create(m_imgAcc.rows, m_imgAcc.cols, m_imgAcc.type());
    term.offsets.Reserve(m_iMapEntries);
    return term;
}

void CFrameTermSum::Deliver(int iFrame, CFrameTerm&& term)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_vecReady[iFrame] = std::move(term);
    m_vecDelivered[iFrame] = 1;
    if (m_bAdding || m_iPrerequisites > 0) return;  // the adding thread, or the last prerequisite, will take it
    AddDueFrames(lock);
}

void CFrameTermSum::PrerequisiteDone()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (--m_iPrerequisites > 0 || m_bAdding) return;
    AddDueFrames(lock);
}

void CFrameTermSum::AddDueFrames(std::unique_lock<std::mutex>& lock)
{
    m_bAdding = true;
    const int iFrames = static_cast<int>(m_vecReady.size());
    while (m_iNext < iFrames && m_vecDelivered[m_iNext]) {
        CFrameTerm term = std::move(m_vecReady[m_iNext]);
        lock.unlock();
        AddTerm(term);
        lock.lock();
        ++m_iNext;
        m_vecFree.push_back(std::move(term));
        m_cvTerms.notify_all();
    }
    m_bAdding = false;
}

void CFrameTermSum::AddTerm(const CFrameTerm& term)
{
    CV_Assert(term.imgTerm.size() == m_imgAcc.size() && term.imgTerm.type() == m_imgAcc.type() && term.imgTerm.isContinuous());
    if (!term.bWarped) {
        AddFrameTerm(m_imgAcc, m_dFactor, term.imgTerm);
        return;
    }
    // Colour images in one pass over the offsets; others plane by plane, each
    // in the order of its transposed rows.
    const int iPlaneRows = term.offsets.Rows();
    CV_Assert(iPlaneRows > 0 && m_imgAcc.rows % iPlaneRows == 0);
    const std::size_t iPlaneSize = static_cast<std::size_t>(iPlaneRows) * m_imgAcc.cols;
    if (m_imgAcc.rows == 3 * iPlaneRows) {
        ScatterAddScaledThreePlanes(m_imgAcc.ptr<double>(0), term.imgTerm.ptr<double>(0), term.offsets.RowOffsets(0), iPlaneSize,
                                    iPlaneSize, m_dFactor);
        return;
    }
    for (int iFirst = 0; iFirst < m_imgAcc.rows; iFirst += iPlaneRows) {
        ScatterAddScaled(m_imgAcc.ptr<double>(iFirst), term.imgTerm.ptr<double>(iFirst), term.offsets.RowOffsets(0), iPlaneSize,
                         m_dFactor);
    }
}

}  // namespace NSysApply
