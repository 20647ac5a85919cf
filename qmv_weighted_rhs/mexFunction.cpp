// Entry of qmv_weighted_rhs: imgB = qmv_weighted_rhs(imgI, imgsY, func_param).
// imgB = (dataTermScale / N) * sum_k M_k^T B_k^T U (W_k .* imgsY(:,:,:,k)), of
// the size of imgI (whose values are not read), frames in parallel.
#include "WeightedRhs.h"
#include "FrameTermsEntry.h"

#include "mex.h"

using namespace NSysApply;

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    COperatorArguments args;
    CFrameStackView stackY;
    ReadFrameTermArguments(nlhs, nrhs, prhs, "Usage: imgB = qmv_weighted_rhs(imgI, imgsY, func_param);", args, stackY);

    mxArray* pmxResult = CreateResultArray(args.viewX);
    double* pResult = mxGetPr(pmxResult);
    CFrameWarnings warnings;
    const std::string sFailure = ComputeFrameTerms(
        "qmv_weighted_rhs", [&](CFrameWarnings& w) { ComputeWeightedRhs(args, stackY, pResult, w); }, warnings);
    args.Release();

    PrintIllegalVectors(warnings);
    warnings.clear();
    if (!sFailure.empty()) {
        mxDestroyArray(pmxResult);
        mexErrMsgTxt(sFailure.c_str());
    }
    plhs[0] = pmxResult;
}
