// Entry of qmv_read_video:
//   [stack, numRead] = qmv_read_video(fileName, firstFrame, numFrames)
// Checks the arguments, reads frames firstFrame .. firstFrame + numFrames - 1
// (1-based) of the video file through OpenCV's videoio and returns them as an
// H x W x 3 x N double stack (red, green, blue on 0..1) with N, the number of
// frames really decoded: a video that ends or stops decoding early gives fewer.
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include <stdexcept>

#include "mex.h"
#include "mexglue/FailureReport.h"
#include "mexglue/ModuleUnload.h"

#include "FramesToStack.h"
#include "VideoFrames.h"

namespace {

enum EInput { IN_FILE_NAME, IN_FIRST_FRAME, IN_NUM_FRAMES, IN_COUNT };
enum EOutput { OUT_STACK, OUT_NUM_READ, OUT_COUNT };

// The reader's own failures (std::runtime_error) already carry their full
// "Error: " text; OpenCV's are introduced.
const NMexGlue::CFailureTexts FAILURE_TEXTS = {
    "Error: ",  // before what()
    "Error: out of memory while decoding the video!",
    "Error: unexpected failure while decoding the video!",
    false,  // the library's texts get the prefix too
    false,  // a thrown string is an unexpected failure
};
const char* const OPENCV_PREFIX = "Error: OpenCV failed: ";

// Runs the file reading; the failure's text, empty on success.
template <class TFn>
std::string Failure(TFn&& fn)
{
    return NMexGlue::FailureText<cv::Exception, std::runtime_error>(FAILURE_TEXTS, fn, OPENCV_PREFIX, nullptr);
}

const char* const kUsage = "Usage: [stack, numRead] = qmv_read_video(fileName, firstFrame, numFrames)";

bool IsRealScalar(const mxArray* pmx)
{
    return mxIsNumeric(pmx) && !mxIsComplex(pmx) && !mxIsSparse(pmx) && mxGetNumberOfElements(pmx) == 1;
}

// A whole number from 1 to INT_MAX; Inf too when bInfOk.
bool IsFrameCount(const mxArray* pmx, bool bInfOk)
{
    if (!IsRealScalar(pmx)) return false;
    const double d = mxGetScalar(pmx);
    if (bInfOk && std::isinf(d) && d > 0) return true;
    return std::isfinite(d) && d >= 1 && d <= INT_MAX && d == std::floor(d);
}

// Copies the host's text; false when there is no memory for it. Nothing
// here calls the host, so nothing of the host's own unwinding is caught.
bool CopyText(const char* pText, std::string& sText)
{
    try {
        sText.assign(pText);
        return true;
    } catch (...) {
        return false;
    }
}

// The file name as text, or empty when it is not a non-empty 1 x N char row
// without NUL characters (or cannot be copied).
std::string FileNameOf(const mxArray* pmx)
{
    if (!mxIsChar(pmx) || mxGetNumberOfDimensions(pmx) != 2 || mxGetM(pmx) != 1 || mxGetN(pmx) == 0)
        return std::string();
    char* pText = mxArrayToString(pmx);
    if (pText == nullptr) return std::string();
    std::string sName;
    const bool bCopied = CopyText(pText, sName);
    mxFree(pText);
    return bCopied && sName.size() == mxGetN(pmx) ? sName : std::string();
}

// The first failing check in the documented order, or null when all pass.
const char* ArgumentError(int nlhs, int nrhs, const mxArray* prhs[], std::string& sFileName)
{
    if (nlhs < 1 || nlhs > OUT_COUNT || nrhs != IN_COUNT) return kUsage;
    sFileName = FileNameOf(prhs[IN_FILE_NAME]);
    if (sFileName.empty()) return "Error: fileName must be a non-empty character string!";
    if (!IsFrameCount(prhs[IN_FIRST_FRAME], false))
        return "Error: firstFrame must be a positive integer scalar (1-based)!";
    if (!IsFrameCount(prhs[IN_NUM_FRAMES], true)) return "Error: numFrames must be a positive integer scalar or Inf!";
    return nullptr;
}

mxArray* CreateStackArray(const std::vector<cv::Mat>& vFrames)
{
    const mwSize aDims[4] = {static_cast<mwSize>(vFrames.front().rows), static_cast<mwSize>(vFrames.front().cols), 3,
                             static_cast<mwSize>(vFrames.size())};
    return mxCreateNumericArray(4, aDims, mxDOUBLE_CLASS, mxREAL);
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload();
    std::string sFileName;
    const char* pArgError = ArgumentError(nlhs, nrhs, prhs, sFileName);
    if (pArgError != nullptr) mexErrMsgTxt(pArgError);  // does not return

    const long long iFirst = static_cast<long long>(mxGetScalar(prhs[IN_FIRST_FRAME])) - 1;
    const double dWanted = mxGetScalar(prhs[IN_NUM_FRAMES]);
    const long long nWanted = std::isinf(dWanted) ? LLONG_MAX : static_cast<long long>(dWanted);

    std::string sFailure;
    {
        std::vector<cv::Mat> vFrames;
        sFailure = Failure([&] { ReadVideoFrames(sFileName, iFirst, nWanted, vFrames); });
        if (sFailure.empty()) {
            plhs[OUT_STACK] = CreateStackArray(vFrames);
            FramesToStack(vFrames, mxGetPr(plhs[OUT_STACK]));
            if (nlhs > OUT_NUM_READ) plhs[OUT_NUM_READ] = mxCreateDoubleScalar(static_cast<double>(vFrames.size()));
        }
    }  // decoded frames released before any error is raised
    if (!sFailure.empty()) mexErrMsgTxt(sFailure.c_str());
}
