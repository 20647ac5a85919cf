// Entry of qmv_frame_residuals: imgsRes = qmv_frame_residuals(imgI, imgsY, func_param).
// Residual k is D B_k M_k imgI - imgsY(:,:,:,k), all frames in parallel.
#include "FrameResiduals.h"
#include "FrameTermsEntry.h"

#include "mex.h"

using namespace NSysApply;

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    COperatorArguments args;
    CFrameStackView stackY;
    ReadFrameTermArguments(nlhs, nrhs, prhs, "Usage: imgsRes = qmv_frame_residuals(imgI, imgsY, func_param);", args, stackY);

    const mwSize aDims[4] = {static_cast<mwSize>(stackY.iRows), static_cast<mwSize>(stackY.iCols),
                             static_cast<mwSize>(stackY.iPlanes), static_cast<mwSize>(stackY.iFrames)};
    mxArray* pmxResult = mxCreateNumericArray(4, aDims, mxDOUBLE_CLASS, mxREAL);
    double* pResult = mxGetPr(pmxResult);
    CFrameWarnings warnings;
    const std::string sFailure = ComputeFrameTerms(
        "qmv_frame_residuals", [&](CFrameWarnings& w) { ComputeFrameResiduals(args, stackY, pResult, w); }, warnings);
    args.Release();

    PrintIllegalVectors(warnings);
    warnings.clear();
    if (!sFailure.empty()) {
        mxDestroyArray(pmxResult);
        mexErrMsgTxt(sFailure.c_str());
    }
    plhs[0] = pmxResult;
}
