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

CFrameTermSum::CFrameTermSum(cv::Mat& imgAcc, double dFactor, int iFrames, int iBuffers, int iPrerequisites)
    : m_imgAcc(imgAcc), m_dFactor(dFactor), m_vecReady(iFrames), m_vecDelivered(iFrames, 0), m_iPrerequisites(iPrerequisites)
{
    m_vecFree.reserve(std::max(iFrames, iBuffers));  // recycling never allocates
    for (int i = 0; i < iBuffers; ++i) m_vecFree.push_back(NewBuffer());
}

cv::Mat CFrameTermSum::TakeBuffer()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_vecFree.empty()) {
            cv::Mat img = std::move(m_vecFree.back());
            m_vecFree.pop_back();
            return img;
        }
    }
    return NewBuffer();
}

cv::Mat CFrameTermSum::NewBuffer() const
{
    cv::Mat img;
    img.allocator = LargeMatAllocator();
    img.create(m_imgAcc.rows, m_imgAcc.cols, m_imgAcc.type());
    return img;
}

void CFrameTermSum::Deliver(int iFrame, cv::Mat& imgFrame)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_vecReady[iFrame] = std::move(imgFrame);
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
        // The frames due now, up to a few, are added in one pass.
        cv::Mat pDue[MAX_FRAMES_PER_PASS];
        const cv::Mat* ppDue[MAX_FRAMES_PER_PASS];
        int iDue = 0;
        while (iDue < MAX_FRAMES_PER_PASS && m_iNext + iDue < iFrames && m_vecDelivered[m_iNext + iDue]) {
            pDue[iDue] = std::move(m_vecReady[m_iNext + iDue]);
            ppDue[iDue] = &pDue[iDue];
            ++iDue;
        }
        lock.unlock();
        AddFrameTerms(m_imgAcc, m_dFactor, ppDue, iDue);
        lock.lock();
        m_iNext += iDue;
        for (int i = 0; i < iDue; ++i) m_vecFree.push_back(std::move(pDue[i]));
    }
    m_bAdding = false;
}

}  // namespace NSysApply
