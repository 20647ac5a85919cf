// Entry of qmv_frame_residuals: imgsRes = qmv_frame_residuals(imgI, imgsY, func_param).
// Residual k is D B_k M_k imgI - imgsY(:,:,:,k), all frames in parallel.
#include "FrameResiduals.h"
#include "FrameTermsEntry.h"
#include "frameloop/LargeBuffers.h"
#include "mexglue/FailureReport.h"
#include "mexglue/FrameCallEnd.h"
#include "mexglue/ModuleUnload.h"

#include "mex.h"

#include <string>

namespace {

using namespace NFrameTerms;
using NSysApply::CFrameWarnings;

const NMexGlue::CFailureTexts FAILURE_TEXTS = QMV_MODULE_FAILURE_TEXTS("qmv_frame_residuals");

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload(NSysApply::ReleaseKeptBuffers);  // the scratch kept between calls
    COperatorArguments args;
    NSysApply::CFrameStackView stackY;
    ReadFrameTermArguments(nlhs, nrhs, prhs, "Usage: imgsRes = qmv_frame_residuals(imgI, imgsY, func_param);", args,
                           stackY);

    mxArray* pmxResult = CreateFrameStackArray(args);
    double* pResult = mxGetPr(pmxResult);
    CFrameWarnings warnings;
    const std::string sFailure = NMexGlue::FailureText(
        FAILURE_TEXTS, [&] { NSysApply::ComputeFrameResiduals(args, stackY, pResult, warnings); });
    args.Release();

    plhs[OUT_RESULT] = NMexGlue::EndFrameCall(warnings, sFailure, pmxResult);
}
