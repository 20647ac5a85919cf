// Entry of qmv_weighted_rhs: imgB = qmv_weighted_rhs(imgI, imgsY, func_param).
// imgB = (dataTermScale / N) * sum_k M_k^T B_k^T U (W_k .* imgsY(:,:,:,k)), of
// the size of imgI (whose values are not read), frames in parallel.
#include "FrameTermsEntry.h"
#include "WeightedRhs.h"
#include "frameloop/LargeBuffers.h"
#include "mexglue/FailureReport.h"
#include "mexglue/FrameCallEnd.h"
#include "mexglue/ModuleUnload.h"

#include "mex.h"

#include <string>

namespace {

using namespace NFrameTerms;
using NSysApply::CFrameWarnings;

const NMexGlue::CFailureTexts FAILURE_TEXTS = QMV_MODULE_FAILURE_TEXTS("qmv_weighted_rhs");

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload(NSysApply::ReleaseKeptBuffers);  // the scratch kept between calls
    COperatorArguments args;
    NSysApply::CFrameStackView stackY;
    ReadFrameTermArguments(nlhs, nrhs, prhs, "Usage: imgB = qmv_weighted_rhs(imgI, imgsY, func_param);", args, stackY);

    mxArray* pmxResult = NSysApply::CreateResultArray(args.viewX);
    double* pResult = mxGetPr(pmxResult);
    CFrameWarnings warnings;
    const std::string sFailure =
        NMexGlue::FailureText(FAILURE_TEXTS, [&] { NSysApply::ComputeWeightedRhs(args, stackY, pResult, warnings); });
    args.Release();

    plhs[OUT_RESULT] = NMexGlue::EndFrameCall(warnings, sFailure, pmxResult);
}
