// Entry of qmv_system_apply: imgAI = qmv_system_apply(imgI, func_param).
// Reads and checks the arguments, creates imgAI and computes the operator
// straight into it, prints the collected warnings and returns imgAI. Failures
// inside the computation (OpenCV, memory) are caught around the computation
// only and reported through the host after the working matrices and imgAI are
// released; no exception leaves this function.
#include "SystemOperator.h"
#include "contract/ArgumentContract.h"
#include "conversions/MatConversion.h"
#include "frameloop/LargeBuffers.h"
#include "mexglue/FailureReport.h"
#include "mexglue/FrameCallEnd.h"
#include "mexglue/ModuleUnload.h"

#include "mex.h"

#include <string>

namespace {

using namespace NSysApply;

const NMexGlue::CFailureTexts FAILURE_TEXTS = QMV_MODULE_FAILURE_TEXTS("qmv_system_apply");

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload(ReleaseKeptBuffers);  // the scratch kept between calls
    COperatorArguments args;
    ReadOperatorArguments(nlhs, nrhs, prhs, args);

    mxArray* pmxResult = CreateResultArray(args.viewX);
    CFrameWarnings warnings;
    double* pResult = mxGetPr(pmxResult);
    const std::string sFailure =
        NMexGlue::FailureText(FAILURE_TEXTS, [&] { ApplySystemOperator(args, pResult, warnings); });
    args.Release();

    plhs[OUT_IMG] = NMexGlue::EndFrameCall(warnings, sFailure, pmxResult);
}
