// The thread count shared by the modules of one process: OpenMP's for the
// calling thread (the host's interpreter thread) and OpenCV's pool.
#ifndef QMV_THREADS_THREADCOUNT_H
#define QMV_THREADS_THREADCOUNT_H

// Threads the next parallel region started from this thread will use.
int CurrentThreadCount();

// Sets OpenMP's count for regions started from this thread and OpenCV's
// pool size to iThreads (>= 1). Throws what OpenCV throws when it refuses.
void SetThreadCount(int iThreads);

#endif
