// Runs a piece of the computation and turns whatever it throws into the text
// of a host error, so that no exception can leave mexFunction. Only library
// and OpenCV code runs inside; host calls stay outside, since the host raises
// its own errors as C++ exceptions that must not be swallowed.
#ifndef QMV_MOTION_FIELD_FAILURETEXT_H
#define QMV_MOTION_FIELD_FAILURETEXT_H

#include <exception>
#include <new>
#include <string>

#include <opencv2/core.hpp>

#include "QELLib/NException.h"

// Returns an empty string when fn returns normally.
template <class FN>
std::string FailureText(FN&& fn)
{
  try {
    fn();
  } catch (const cv::Exception& e) {
    return std::string("Error: OpenCV failed: ") + e.what();
  } catch (const NException::LogicError& e) {
    return e.what();
  } catch (const NException::BadAlloc& e) {
    return e.what();
  } catch (const std::bad_alloc&) {
    return "Error: out of memory!";
  } catch (const std::exception& e) {
    return std::string("Error: ") + e.what();
  } catch (...) {
    return "Error: unexpected failure in the flow computation!";
  }
  return std::string();
}

#endif
