// See ThreadCount.h.
#include "ThreadCount.h"

#include <exception>

#include <omp.h>

#include <opencv2/core/utility.hpp>

int CurrentThreadCount()
{
  return omp_get_max_threads();
}

std::string SetThreadCount(int iThreads)
{
  omp_set_num_threads(iThreads);
  try {
    cv::setNumThreads(iThreads);
  } catch (const std::exception& e) {
    return std::string("Error: OpenCV could not set its thread count: ") + e.what();
  } catch (...) {
    return "Error: OpenCV could not set its thread count!";
  }
  return std::string();
}
