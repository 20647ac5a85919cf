// Runs tasks (one per frame, or others before them) on an OpenMP team:
// threads = min(max threads, N), tasks handed out one at a time. No exception
// leaves the parallel region: each task's failure is kept and the first one in
// task order is rethrown on the calling thread after the join, so the outcome
// is schedule-independent.
#ifndef QMV_SYSAPPLY_FRAME_PARALLEL_H
#define QMV_SYSAPPLY_FRAME_PARALLEL_H

#include <omp.h>

#include <algorithm>
#include <exception>
#include <vector>

namespace NSysApply {

// The team size of the frame loop for iFrames frames.
inline int FrameThreadCount(int iFrames) { return std::max(1, std::min(omp_get_max_threads(), iFrames)); }

// fnTask(iTask, iThread) for iTask = 0..iTasks-1 on iThreads threads, tasks
// handed out one at a time in this order; iThread in 0..iThreads-1 picks the
// caller's per-thread scratch.
template <class TTask>
void RunTasksInParallel(int iTasks, int iThreads, const TTask& fnTask)
{
    std::vector<std::exception_ptr> vecFailures(static_cast<std::size_t>(iTasks));
#pragma omp parallel for num_threads(iThreads) schedule(dynamic, 1)
    for (int k = 0; k < iTasks; ++k) {
        try {
            fnTask(k, omp_get_thread_num());
        } catch (...) {
            vecFailures[k] = std::current_exception();
        }
    }
    for (const std::exception_ptr& pFailure : vecFailures) {
        if (pFailure) std::rethrow_exception(pFailure);
    }
}

// fnFrame(iFrame, iThread): iThread in 0..FrameThreadCount(iFrames)-1 picks the
// caller's per-thread scratch.
template <class TFrameTask>
void RunFramesInParallel(int iFrames, const TFrameTask& fnFrame)
{
    RunTasksInParallel(iFrames, FrameThreadCount(iFrames), fnFrame);
}

}  // namespace NSysApply

#endif
