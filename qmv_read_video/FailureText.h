// Runs the file reading and turns whatever it throws into the text of a host
// error, so that no exception can leave mexFunction. Host calls stay outside:
// the host raises its own errors as C++ exceptions that must not be swallowed.
#ifndef QMV_READ_VIDEO_FAILURETEXT_H
#define QMV_READ_VIDEO_FAILURETEXT_H

#include <exception>
#include <new>
#include <stdexcept>
#include <string>

#include <opencv2/core.hpp>

// Returns an empty string when fn returns normally.
template <class FN>
std::string FailureText(FN&& fn)
{
  try {
    fn();
  } catch (const cv::Exception& e) {
    return std::string("Error: OpenCV failed: ") + e.what();
  } catch (const std::bad_alloc&) {
    return "Error: out of memory while decoding the video!";
  } catch (const std::runtime_error& e) {
    return e.what();  // already an "Error: " text of the reader
  } catch (const std::exception& e) {
    return std::string("Error: ") + e.what();
  } catch (...) {
    return "Error: unexpected failure while decoding the video!";
  }
  return std::string();
}

#endif
