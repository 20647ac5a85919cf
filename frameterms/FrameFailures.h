// Failures of frames computed in parallel: each frame keeps its own, and the
// first in frame order is rethrown after the join, so that neither an
// exception leaves a parallel region nor the thread count changes which
// failure is reported.
#ifndef QMV_FRAMETERMS_FRAME_FAILURES_H
#define QMV_FRAMETERMS_FRAME_FAILURES_H

#include <exception>
#include <vector>

namespace NSysApply {

class CFrameFailures {
public:
    explicit CFrameFailures(int iFrames) : m_vecFailures(static_cast<std::size_t>(iFrames)) {}

    // Runs fn(); keeps what it throws as frame k's failure.
    template <class FN>
    void Run(int k, FN&& fn) noexcept
    {
        try {
            fn();
        } catch (...) {
            m_vecFailures[static_cast<std::size_t>(k)] = std::current_exception();
        }
    }

    bool Any() const
    {
        for (const std::exception_ptr& p : m_vecFailures)
            if (p) return true;
        return false;
    }

    void RethrowFirst() const
    {
        for (const std::exception_ptr& p : m_vecFailures)
            if (p) std::rethrow_exception(p);
    }

private:
    std::vector<std::exception_ptr> m_vecFailures;
};

}  // namespace NSysApply

#endif
