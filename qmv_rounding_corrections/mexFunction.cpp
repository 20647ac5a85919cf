// Entry of qmv_rounding_corrections: imgsC = qmv_rounding_corrections(imgI, func_param).
// Correction k is imgI read bilinearly minus imgI read at the nearest pixel, at
// the positions of frame k's samples, all frames in parallel.
#include "FrameTermsEntry.h"
#include "RoundingCorrections.h"
#include "contract/ArgumentContract.h"
#include "mexglue/FailureReport.h"
#include "mexglue/ModuleUnload.h"

#include "mex.h"

#include <string>

namespace {

using NSysApply::COperatorArguments;

const NMexGlue::CFailureTexts FAILURE_TEXTS = QMV_MODULE_FAILURE_TEXTS("qmv_rounding_corrections");

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload();
    // The result may also go to ans (nlhs 0); the operator's contract then
    // checks imgI and func_param with its own messages.
    if (nlhs > 1 || nrhs != NSysApply::IN_COUNT)
        mexErrMsgTxt("Usage: imgsC = qmv_rounding_corrections(imgI, func_param);");
    COperatorArguments args;
    NSysApply::ReadOperatorArguments(NSysApply::OUT_COUNT, nrhs, prhs, args);

    mxArray* pmxResult = NFrameTerms::CreateFrameStackArray(args);
    double* pResult = mxGetPr(pmxResult);
    const std::string sFailure =
        NMexGlue::FailureText(FAILURE_TEXTS, [&] { NSysApply::ComputeRoundingCorrections(args, pResult); });
    args.Release();
    if (!sFailure.empty()) {
        mxDestroyArray(pmxResult);
        mexErrMsgTxt(sFailure.c_str());
    }
    plhs[0] = pmxResult;
}
