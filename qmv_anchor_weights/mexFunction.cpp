// Entry of qmv_anchor_weights: vecImgW = qmv_anchor_weights(imgB, imgsRes, func_param).
// The weights that anchor the reconstruction on its reference frame, from the
// frames' residuals against the reference frame's own reconstruction (imgB:
// blurred; func_param.vecImgW holds the frames' validity masks), frames in
// parallel.
#include "AnchorWeights.h"
#include "FrameTermsEntry.h"
#include "mexglue/FailureReport.h"
#include "mexglue/ModuleUnload.h"

#include "mex.h"

#include <string>
#include <vector>

namespace {

using namespace NFrameTerms;

const NMexGlue::CFailureTexts FAILURE_TEXTS = QMV_MODULE_FAILURE_TEXTS("qmv_anchor_weights");

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload();
    COperatorArguments args;
    NSysApply::CFrameStackView stackRes;
    ReadFrameTermArguments(nlhs, nrhs, prhs, "Usage: vecImgW = qmv_anchor_weights(imgB, imgsRes, func_param);", args,
                           stackRes);

    std::vector<double*> vecData;
    mxArray* pmxResult = CreateFrameCell(args, vecData);
    const std::string sFailure =
        NMexGlue::FailureText(FAILURE_TEXTS, [&] { NSysApply::ComputeAnchorWeights(args, stackRes, vecData); });
    args.Release();
    if (!sFailure.empty()) {
        mxDestroyArray(pmxResult);
        mexErrMsgTxt(sFailure.c_str());
    }
    plhs[OUT_RESULT] = pmxResult;
}
