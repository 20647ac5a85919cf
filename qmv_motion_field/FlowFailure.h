// How the flow modules (qmv_motion_field, qmv_motion_fields) word a failure
// of the computation: the library's own messages stand as they are, OpenCV's
// are introduced. Only the computation runs inside; host calls stay outside.
#ifndef QMV_MOTION_FIELD_FLOWFAILURE_H
#define QMV_MOTION_FIELD_FLOWFAILURE_H

#include <string>

#include <opencv2/core.hpp>

#include "mexglue/FailureReport.h"

const NMexGlue::CFailureTexts FLOW_FAILURE_TEXTS = {
    "Error: ",  // before what()
    "Error: out of memory!",
    "Error: unexpected failure in the flow computation!",
    true,   // the library's texts as they are
    false,  // a thrown string is an unexpected failure
};
const char* const FLOW_OPENCV_PREFIX = "Error: OpenCV failed: ";

// Runs a piece of the computation; the failure's text, empty on success.
template <class TFn>
std::string FlowFailure(TFn&& fn) noexcept
{
    return NMexGlue::FailureText<cv::Exception>(FLOW_FAILURE_TEXTS, fn, FLOW_OPENCV_PREFIX);
}

#endif
