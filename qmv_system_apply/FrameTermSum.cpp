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

CFrameTermSum::CFrameTermSum(cv::Mat& imgAcc, double dFactor, int iFrames, int iTerms, std::size_t iMapEntries, int iPrerequisites)
    : m_imgAcc(imgAcc), m_dFactor(dFactor), m_iMapEntries(iMapEntries), m_vecReady(iFrames), m_vecDelivered(iFrames, 0),
      m_iPrerequisites(iPrerequisites)
{
    CV_Assert(imgAcc.type() == CV_64FC1 && imgAcc.isContinuous());
    m_vecFree.reserve(std::max(iFrames, iTerms));  // recycling never allocates
    for (int i = 0; i < iTerms; ++i) m_vecFree.push_back(NewTerm());
}

CFrameTerm CFrameTermSum::TakeTerm()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_vecFree.empty()) {
            CFrameTerm term = std::move(m_vecFree.back());
            m_vecFree.pop_back();
            return term;
        }
    }
    return NewTerm();
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
