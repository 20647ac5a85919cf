// Entry of qmv_conjugate_gradients:
//   [imgX, numSteps, relRes] = qmv_conjugate_gradients(imgI, imgB, func_param, maxSteps, tol)
// Conjugate gradients on A x = imgB from x = imgI, A the operator of
// qmv_system_apply with the same func_param; the solve runs in imgX.
#include "ConjugateGradients.h"
#include "contract/ArgumentContract.h"
#include "conversions/MatConversion.h"
#include "frameloop/LargeBuffers.h"
#include "mexglue/FailureReport.h"
#include "mexglue/FrameCallEnd.h"
#include "mexglue/ModuleUnload.h"

#include "mex.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

using namespace NSysApply;

enum ESolveInput { IN_X = 0, IN_B = 1, IN_FUNC_PARAM = 2, IN_STEPS = 3, IN_TOL = 4, IN_ALL = 5 };
enum ESolveOutput { OUT_X = 0, OUT_STEPS = 1, OUT_RELRES = 2, OUT_ALL = 3 };

const NMexGlue::CFailureTexts FAILURE_TEXTS = QMV_MODULE_FAILURE_TEXTS("qmv_conjugate_gradients");
const char* const USAGE =
    "Usage: [imgX, numSteps, relRes] = qmv_conjugate_gradients(imgI, imgB, func_param, maxSteps, tol);";

bool IsImageLike(const mxArray* pmxB, const CPlanarView& viewX)
{
    if (!mxIsDouble(pmxB) || mxIsComplex(pmxB) || mxIsSparse(pmxB) || mxGetNumberOfDimensions(pmxB) > 3) return false;
    const mwSize* pDims = mxGetDimensions(pmxB);
    const mwSize nPlanes = mxGetNumberOfDimensions(pmxB) == 3 ? pDims[2] : 1;
    return pDims[0] == static_cast<mwSize>(viewX.iRows) && pDims[1] == static_cast<mwSize>(viewX.iCols) &&
           nPlanes == static_cast<mwSize>(viewX.iPlanes);
}

// Checks imgB, maxSteps and tol after the operator's contract; ends the call
// through mexErrMsgTxt (after releasing args) when one is wrong.
void CheckSolveArguments(const mxArray* prhs[], COperatorArguments& args)
{
    const char* sError = nullptr;
    if (!IsImageLike(prhs[IN_B], args.viewX))
        sError = "Error: imgB should be a real double image of the size of imgI.";
    else if (!IsRealInteger(prhs[IN_STEPS]) || mxGetScalar(prhs[IN_STEPS]) < 0 || mxGetScalar(prhs[IN_STEPS]) > 1000000)
        sError = "Error: maxSteps should be a whole number from 0 to 1000000.";
    else if (!IsRealScalar(prhs[IN_TOL]) || !std::isfinite(mxGetScalar(prhs[IN_TOL])) || mxGetScalar(prhs[IN_TOL]) < 0)
        sError = "Error: tol should be a finite real number of at least 0.";
    if (sError == nullptr) return;
    args.Release();
    mexErrMsgTxt(sError);
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload(ReleaseKeptBuffers);  // the operator's scratch kept between calls
    if (nlhs > OUT_ALL || nrhs != IN_ALL) mexErrMsgTxt(USAGE);
    COperatorArguments args;
    const mxArray* aOperator[NSysApply::IN_COUNT] = {prhs[IN_X], prhs[IN_FUNC_PARAM]};
    ReadOperatorArguments(NSysApply::OUT_COUNT, NSysApply::IN_COUNT, aOperator, args);
    CheckSolveArguments(prhs, args);

    mxArray* pmxX = CreateResultArray(args.viewX);
    double* pX = mxGetPr(pmxX);
    const std::size_t n = args.viewX.PlaneSize() * static_cast<std::size_t>(args.viewX.iPlanes);
    std::copy(args.viewX.pData, args.viewX.pData + n, pX);
    const int iMaxSteps = static_cast<int>(mxGetScalar(prhs[IN_STEPS]));
    const double dTol = mxGetScalar(prhs[IN_TOL]);
    CFrameWarnings warnings;
    CCgOutcome outcome;
    const std::string sFailure = NMexGlue::FailureText(FAILURE_TEXTS, [&] {
        outcome = SolveConjugateGradients(args, mxGetPr(prhs[IN_B]), pX, iMaxSteps, dTol, warnings);
    });
    args.Release();

    plhs[OUT_X] = NMexGlue::EndFrameCall(warnings, sFailure, pmxX);
    if (nlhs > OUT_STEPS) plhs[OUT_STEPS] = mxCreateDoubleScalar(outcome.iSteps);
    if (nlhs > OUT_RELRES) plhs[OUT_RELRES] = mxCreateDoubleScalar(outcome.dRelRes);
}
