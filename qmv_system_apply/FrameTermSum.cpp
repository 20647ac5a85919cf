// In-order summation of the frame terms (see the header). The additions run
// outside the lock; the lock only guards the bookkeeping, and the adding
// thread rechecks for delivered frames under it before it stops, so no frame
// is left behind.
#include "FrameTermSum.h"

#include "TermAssembly.h"

#include <algorithm>
#include <utility>

namespace NSysApply {

CFrameTermSum::CFrameTermSum(cv::Mat& imgAcc, double dFactor, int iFrames, int iBuffers)
    : m_imgAcc(imgAcc), m_dFactor(dFactor), m_vecReady(iFrames), m_vecDelivered(iFrames, 0)
{
    m_vecFree.reserve(std::max(iFrames, iBuffers));  // recycling never allocates
    for (int i = 0; i < iBuffers; ++i) m_vecFree.emplace_back(imgAcc.rows, imgAcc.cols, imgAcc.type());
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
    return cv::Mat(m_imgAcc.rows, m_imgAcc.cols, m_imgAcc.type());
}

void CFrameTermSum::Deliver(int iFrame, cv::Mat& imgFrame)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_vecReady[iFrame] = std::move(imgFrame);
    m_vecDelivered[iFrame] = 1;
    if (m_bAdding) return;  // the adding thread will take it
    m_bAdding = true;
    while (m_iNext < static_cast<int>(m_vecReady.size()) && m_vecDelivered[m_iNext]) {
        cv::Mat imgDue = std::move(m_vecReady[m_iNext]);
        lock.unlock();
        AddFrameTerm(m_imgAcc, m_dFactor, imgDue);
        lock.lock();
        ++m_iNext;
        m_vecFree.push_back(std::move(imgDue));
    }
    m_bAdding = false;
}

}  // namespace NSysApply
