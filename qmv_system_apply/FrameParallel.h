// Runs one task per frame on an OpenMP team: threads = min(max threads, N),
// frames handed out one at a time. No exception leaves the parallel region:
// each frame's failure is kept and the first one in frame order is rethrown
// on the calling thread after the join, so the outcome is schedule-independent.
#ifndef QMV_SYSAPPLY_FRAME_PARALLEL_H
#define QMV_SYSAPPLY_FRAME_PARALLEL_H

#include <omp.h>

#include <algorithm>
#include <exception>
#include <vector>

namespace NSysApply {

// The team size of the frame loop for iFrames frames.
inline int FrameThreadCount(int iFrames) { return std::max(1, std::min(omp_get_max_threads(), iFrames)); }

// fnFrame(iFrame, iThread): iThread in 0..FrameThreadCount(iFrames)-1 picks the
// caller's per-thread scratch.
template <class TFrameTask>
void RunFramesInParallel(int iFrames, const TFrameTask& fnFrame)
{
    std::vector<std::exception_ptr> vecFailures(static_cast<std::size_t>(iFrames));
    const int iThreads = FrameThreadCount(iFrames);
#pragma omp parallel for num_threads(iThreads) schedule(dynamic, 1)
    for (int k = 0; k < iFrames; ++k) {
        try {
            fnFrame(k, omp_get_thread_num());
        } catch (...) {
            vecFailures[k] = std::current_exception();
        }
    }
    for (const std::exception_ptr& pFailure : vecFailures) {
        if (pFailure) std::rethrow_exception(pFailure);
    }
}

// As above, and then fnFinish(iFrame, iThread) in frame order (an OpenMP
// ordered region): frame k's finish runs after those of frames 0..k-1, on the
// thread that ran frame k, while other threads go on with later frames. Every
// iteration enters the ordered region, also after a failure (whose finish is
// skipped), so no thread waits for a region that never comes.
template <class TFrameTask, class TFinish>
void RunFramesInParallelFinishInOrder(int iFrames, const TFrameTask& fnFrame, const TFinish& fnFinish)
{
    std::vector<std::exception_ptr> vecFailures(static_cast<std::size_t>(iFrames));
    const int iThreads = FrameThreadCount(iFrames);
#pragma omp parallel for ordered num_threads(iThreads) schedule(dynamic, 1)
    for (int k = 0; k < iFrames; ++k) {
        const int iThread = omp_get_thread_num();
        try {
            fnFrame(k, iThread);
        } catch (...) {
            vecFailures[k] = std::current_exception();
        }
#pragma omp ordered
        {
            if (!vecFailures[k]) {
                try {
                    fnFinish(k, iThread);
                } catch (...) {
                    vecFailures[k] = std::current_exception();
                }
            }
        }
    }
    for (const std::exception_ptr& pFailure : vecFailures) {
        if (pFailure) std::rethrow_exception(pFailure);
    }
}

}  // namespace NSysApply

#endif
