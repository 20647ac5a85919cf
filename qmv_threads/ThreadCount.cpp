// See ThreadCount.h.
#include "ThreadCount.h"

#include <omp.h>

#include <opencv2/core/utility.hpp>

int CurrentThreadCount() { return omp_get_max_threads(); }

void SetThreadCount(int iThreads)
{
    omp_set_num_threads(iThreads);
    cv::setNumThreads(iThreads);
}
