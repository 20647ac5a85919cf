// Entry of qmv_rounding_corrections: imgsC = qmv_rounding_corrections(imgI,
// func_param[, imgsY]). Correction k is imgI read bilinearly minus imgI read
// at the nearest pixel, at the positions of frame k's samples, all frames in
// parallel; with imgsY, the frames minus their corrections.
#include "FrameTermsEntry.h"
#include "RoundingCorrections.h"
#include "contract/ArgumentContract.h"
#include "mexglue/FailureReport.h"
#include "mexglue/ModuleUnload.h"

#include "mex.h"

#include <string>
#include <vector>

namespace {

using NSysApply::COperatorArguments;

const NMexGlue::CFailureTexts FAILURE_TEXTS = QMV_MODULE_FAILURE_TEXTS("qmv_rounding_corrections");

const char* const USAGE = "Usage: imgsC = qmv_rounding_corrections(imgI, func_param[, imgsY]);";
const int IN_FRAMES = NSysApply::IN_COUNT;  // the optional frames follow the operator's arguments

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload();
    // The result may also go to ans (nlhs 0); the operator's contract then
    // checks imgI and func_param with its own messages.
    if (nlhs > 1 || nrhs < NSysApply::IN_COUNT || nrhs > IN_FRAMES + 1) mexErrMsgTxt(USAGE);
    COperatorArguments args;
    NSysApply::ReadOperatorArguments(NSysApply::OUT_COUNT, NSysApply::IN_COUNT, prhs, args);
    const bool bCorrected = nrhs > IN_FRAMES;
    std::vector<const double*> vecFrames;
    if (bCorrected && !NFrameTerms::FramesOf(prhs[IN_FRAMES], args, vecFrames)) {
        args.Release();
        mexErrMsgTxt(
            "Error: imgsY should be a real double (H/s)x(W/s)xPxN stack or a cell of N real double (H/s)x(W/s)xP "
            "frames, for an HxWxP imgI and N = func_param.numFrames.");
    }

    mxArray* pmxResult = NFrameTerms::CreateFrameStackArray(args);
    double* pResult = mxGetPr(pmxResult);
    const std::string sFailure = NMexGlue::FailureText(FAILURE_TEXTS, [&] {
        if (bCorrected)
            NSysApply::ComputeCorrectedFrames(args, vecFrames, pResult);
        else
            NSysApply::ComputeRoundingCorrections(args, pResult);
    });
    args.Release();
    if (!sFailure.empty()) {
        mxDestroyArray(pmxResult);
        mexErrMsgTxt(sFailure.c_str());
    }
    plhs[0] = pmxResult;
}
