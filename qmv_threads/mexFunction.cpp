// Entry of qmv_threads:
//   previous = qmv_threads(numThreads)   numThreads = qmv_threads()
// Sets (or reads) how many threads the compiled functions of this session
// use. Worker processes that share the cores (sr_batch) set one each, since
// an environment variable set after the host started is no longer read.
#include <climits>
#include <cmath>
#include <string>

#include "mex.h"
#include "mexglue/FailureReport.h"
#include "mexglue/ModuleUnload.h"

#include "ThreadCount.h"

namespace {

enum EInput { IN_NUM_THREADS, IN_COUNT };  // numThreads may be left out
enum EOutput { OUT_PREVIOUS, OUT_COUNT };

const NMexGlue::CFailureTexts FAILURE_TEXTS = {
    "Error: OpenCV could not set its thread count: ",  // before what()
    nullptr,                                           // out of memory: as any other exception
    "Error: OpenCV could not set its thread count!",
    false,  // the library's texts get the prefix too
    false,  // a thrown string is an unknown failure
};

// A whole number from 1 to a count no machine needs more of.
bool IsThreadCount(const mxArray* pmx)
{
    if (!mxIsNumeric(pmx) || mxIsComplex(pmx) || mxIsSparse(pmx) || mxGetNumberOfElements(pmx) != 1) return false;
    const double d = mxGetScalar(pmx);
    return std::isfinite(d) && d >= 1 && d <= 4096 && d == std::floor(d);
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload();
    if (nlhs > OUT_COUNT || nrhs > IN_COUNT) mexErrMsgTxt("Usage: previous = qmv_threads(numThreads)");
    if (nrhs > IN_NUM_THREADS && !IsThreadCount(prhs[IN_NUM_THREADS]))
        mexErrMsgTxt("Error: numThreads must be a whole number from 1 to 4096!");
    const int iPrevious = CurrentThreadCount();
    if (nrhs > IN_NUM_THREADS) {
        const int iThreads = static_cast<int>(mxGetScalar(prhs[IN_NUM_THREADS]));
        const std::string sFailure = NMexGlue::FailureText(FAILURE_TEXTS, [&] { SetThreadCount(iThreads); });
        if (!sFailure.empty()) mexErrMsgTxt(sFailure.c_str());
    }
    plhs[OUT_PREVIOUS] = mxCreateDoubleScalar(iPrevious);
}
