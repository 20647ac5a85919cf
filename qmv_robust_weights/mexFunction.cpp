// Entry of qmv_robust_weights: vecImgW = qmv_robust_weights(imgB, imgsRes, func_param).
// The data weights of every frame from its residuals (imgB, the blurred
// estimate, sets the tolerance of misregistration at its edges;
// func_param.vecImgW holds the frames' validity masks), frames in
// parallel.
#include "FrameTermsEntry.h"
#include "RobustWeights.h"
#include "mexglue/FailureReport.h"
#include "mexglue/ModuleUnload.h"

#include "mex.h"

#include <string>
#include <vector>

namespace {

using namespace NFrameTerms;

const NMexGlue::CFailureTexts FAILURE_TEXTS = QMV_MODULE_FAILURE_TEXTS("qmv_robust_weights");

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload();
    COperatorArguments args;
    NSysApply::CFrameStackView stackRes;
    ReadFrameTermArguments(nlhs, nrhs, prhs, "Usage: vecImgW = qmv_robust_weights(imgB, imgsRes, func_param);", args,
                           stackRes);

    std::vector<double*> vecData;
    mxArray* pmxResult = CreateFrameCell(args, vecData);
    const std::string sFailure =
        NMexGlue::FailureText(FAILURE_TEXTS, [&] { NSysApply::ComputeRobustWeights(args, stackRes, vecData); });
    args.Release();
    if (!sFailure.empty()) {
        mxDestroyArray(pmxResult);
        mexErrMsgTxt(sFailure.c_str());
    }
    plhs[OUT_RESULT] = pmxResult;
}
