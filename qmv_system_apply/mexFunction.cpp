// Entry of qmv_system_apply: imgAI = qmv_system_apply(imgI, func_param).
// Reads and checks the arguments, creates imgAI and computes the operator
// straight into it, prints the collected warnings and returns imgAI. Failures
// inside the computation (OpenCV, memory) are caught around the computation
// only and reported through the host after the working matrices and imgAI are
// released; no exception leaves this function.
#include "contract/ArgumentContract.h"
#include "warp/IllegalVectorReport.h"
#include "conversions/MatConversion.h"
#include "SystemOperator.h"
#include "frameloop/LargeBuffers.h"
#include "mexglue/ModuleUnload.h"

#include "mex.h"

#include <new>
#include <string>

namespace {

using namespace NSysApply;

// Stores "sPrefix + sText" without letting an allocation failure escape;
// the fallback fits the string's own buffer.
void SetFailure(std::string& sFailure, const char* sPrefix, const char* sText) noexcept
{
    try {
        sFailure = sPrefix;
        sFailure += sText;
    } catch (...) {
        sFailure = "Error: failed.";
    }
}

// Runs the computation; returns the failure text, empty on success.
std::string ComputeOperator(const COperatorArguments& args, double* pResult, CFrameWarnings& warnings)
{
    std::string sFailure;
    try {
        ApplySystemOperator(args, pResult, warnings);
    } catch (const cv::Exception& e) {
        SetFailure(sFailure, "Error: qmv_system_apply: ", e.what());
    } catch (const std::bad_alloc&) {
        SetFailure(sFailure, "Error: qmv_system_apply: ", "out of memory.");
    } catch (const std::exception& e) {
        SetFailure(sFailure, "Error: qmv_system_apply: ", e.what());
    } catch (...) {
        SetFailure(sFailure, "Error: qmv_system_apply: ", "unknown failure.");
    }
    return sFailure;
}

// The scratch kept from one call to the next goes back at unload.
void ReleaseKeptScratch() { ReleaseKeptBuffers(); }

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload(ReleaseKeptScratch);
    COperatorArguments args;
    ReadOperatorArguments(nlhs, nrhs, prhs, args);

    mxArray* pmxResult = CreateResultArray(args.viewX);
    CFrameWarnings warnings;
    const std::string sFailure = ComputeOperator(args, mxGetPr(pmxResult), warnings);
    args.Release();

    PrintIllegalVectors(warnings);
    warnings.clear();
    if (!sFailure.empty()) {
        mxDestroyArray(pmxResult);
        mexErrMsgTxt(sFailure.c_str());
    }
    plhs[OUT_IMG] = pmxResult;
}
