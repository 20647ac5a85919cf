// (The protocol of the frame loop as a whole: frameloop/README.md.)
// Runs tasks (one per frame, or others before them) on an OpenMP team:
// threads = min(max threads, N), tasks handed out one at a time, strictly in
// task order: a thread takes the next task only when it is free, as a dynamic
// schedule with chunk 1 does. A shared counter keeps the order rather than
// the runtime, whose dynamic schedule may hand out later tasks first (OpenMP 5
// allows it, and LLVM's runtime does); the frame-term budget relies on frames
// being handed out in frame order. No exception leaves the parallel region:
// each task's failure is kept and the first one in task order is rethrown on
// the calling thread after the join, so the outcome is schedule-independent.
#ifndef QMV_SYSAPPLY_FRAME_PARALLEL_H
#define QMV_SYSAPPLY_FRAME_PARALLEL_H

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <vector>

namespace NSysApply {

// The team size of the frame loop for iFrames frames.
inline int FrameThreadCount(int iFrames) { return std::max(1, std::min(omp_get_max_threads(), iFrames)); }

// fnTask(iTask, iThread) for iTask = 0..iTasks-1 on iThreads threads, tasks
// handed out one at a time in this order; iThread in 0..iThreads-1 picks the
// caller's per-thread scratch. Then fnIdle(iThread) on each thread as soon as
// it finds no task left, to help with the tasks still running; its failures
// are rethrown after those of the tasks, the first thread's first.
template <class TTask, class TIdle>
void RunTasksInParallel(int iTasks, int iThreads, const TTask& fnTask, const TIdle& fnIdle)
{
    std::vector<std::exception_ptr> vecFailures(static_cast<std::size_t>(iTasks));
    std::vector<std::exception_ptr> vecIdleFailures(static_cast<std::size_t>(iThreads));
    std::atomic<int> iNextTask{0};
#pragma omp parallel num_threads(iThreads)
    {
        const int iThread = omp_get_thread_num();
        for (int k = iNextTask.fetch_add(1); k < iTasks; k = iNextTask.fetch_add(1)) {
            try {
                fnTask(k, iThread);
            } catch (...) {
                vecFailures[k] = std::current_exception();
            }
        }
        try {
            fnIdle(iThread);
        } catch (...) {
            vecIdleFailures[iThread] = std::current_exception();
        }
    }
    for (const auto* pList : {&vecFailures, &vecIdleFailures}) {
        for (const std::exception_ptr& pFailure : *pList) {
            if (pFailure) std::rethrow_exception(pFailure);
        }
    }
}

template <class TTask>
void RunTasksInParallel(int iTasks, int iThreads, const TTask& fnTask)
{
    RunTasksInParallel(iTasks, iThreads, fnTask, [](int) {});
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
