// Entry of dpx_guided_smooth:
//   imgStackOut = dpx_guided_smooth(imgStackIn, imgGuide, r, seps, reps, p)
// smooths every H x W slice of imgStackIn with the bilateral filter whose
// range weights come from the H x W x 3 colour guide imgGuide.
#include "mex.h"

#include "mexglue/FailureReport.h"
#include "mexglue/ModuleUnload.h"

#include "SmoothStack.h"

#include <climits>
#include <exception>
#include <new>
#include <string>

namespace {

enum EInput { IN_STACK, IN_GUIDE, IN_R, IN_SEPS, IN_REPS, IN_P, IN_COUNT };
enum EOutput { OUT_STACK, OUT_COUNT };

// The image layer throws its messages as strings; they stand as they are.
const NMexGlue::CFailureTexts FAILURE_TEXTS = {
    "Error: dpx_guided_smooth failed: ",  // before what()
    "Error: dpx_guided_smooth ran out of memory!",
    "Error: dpx_guided_smooth failed with an unknown exception!",
    false,  // (the module throws none of the library's exceptions)
    true,   // a thrown string is the message
};

const char* const sUsage = "Usage: imgStackOut = dpx_guided_smooth(imgStackIn, imgGuide, r, seps, reps, p)";

bool IsRealScalar(const mxArray* pa) { return mxGetNumberOfElements(pa) == 1 && !mxIsComplex(pa); }

// Extents beyond the 32-bit range are clamped so that they are refused as a
// bad image size instead of wrapping to a small one.
int Extent(const mwSize* pDims, int i)
{
    return pDims[i] > static_cast<mwSize>(INT_MAX) ? INT_MAX : static_cast<int>(pDims[i]);
}

// Reports the first failed check through the host, which does not return.
void CheckArguments(int nlhs, int nrhs, const mxArray* prhs[])
{
    if (nlhs != OUT_COUNT || (nrhs != IN_COUNT - 1 && nrhs != IN_COUNT)) mexErrMsgTxt(sUsage);
    const bool bHasP = nrhs == IN_COUNT;
    if (!mxIsDouble(prhs[IN_STACK])) mexErrMsgTxt("Error: imgStackIn must be of type double!");
    if (!mxIsDouble(prhs[IN_GUIDE])) mexErrMsgTxt("Error: imgGuide must be of type double!");
    // Sparse arrays hold no dense H x W x N block to read.
    if (mxIsSparse(prhs[IN_STACK])) mexErrMsgTxt("Error: imgStackIn must not be sparse!");
    if (mxIsSparse(prhs[IN_GUIDE])) mexErrMsgTxt("Error: imgGuide must not be sparse!");
    if (!mxIsDouble(prhs[IN_R])) mexErrMsgTxt("Error: r must be of type double!");
    if (!mxIsDouble(prhs[IN_SEPS]) || !mxIsDouble(prhs[IN_REPS]))
        mexErrMsgTxt("Error: seps/reps must be of type double!");
    if (bHasP && !mxIsDouble(prhs[IN_P])) mexErrMsgTxt("Error: p must be of type double!");

    const int iLastScalar = bHasP ? IN_P : IN_REPS;
    for (int i = IN_R; i <= iLastScalar; ++i)
        if (mxGetNumberOfElements(prhs[i]) != 1) mexErrMsgTxt("Error: r/seps/reps/p must be a real scalar!");
    for (int i = IN_R; i <= iLastScalar; ++i)
        if (!IsRealScalar(prhs[i])) mexErrMsgTxt("Error: r/seps/reps/p must be a real scalar!");

    const mwSize nStackDims = mxGetNumberOfDimensions(prhs[IN_STACK]);
    if (nStackDims != 2 && nStackDims != 3) mexErrMsgTxt("Error: imgStackIn must be an image or a stack of images!");
    const mwSize* pGuideDims = mxGetDimensions(prhs[IN_GUIDE]);
    if (mxGetNumberOfDimensions(prhs[IN_GUIDE]) != 3 || pGuideDims[2] != 3)
        mexErrMsgTxt("Error: imgGuide must be a color image with 3 channels!");
    const mwSize* pStackDims = mxGetDimensions(prhs[IN_STACK]);
    if (pGuideDims[0] != pStackDims[0] || pGuideDims[1] != pStackDims[1])
        mexErrMsgTxt("Error: imgGuide must have the same size as image in imgStackIn!");
}

SSmoothParams ReadParams(int nrhs, const mxArray* prhs[])
{
    SSmoothParams par;
    par.iRadius = TruncToInt32(mxGetScalar(prhs[IN_R]));
    par.fSeps = ToFloat(mxGetScalar(prhs[IN_SEPS]));
    par.fReps = ToFloat(mxGetScalar(prhs[IN_REPS]));
    const double dP = nrhs == IN_COUNT ? mxGetScalar(prhs[IN_P]) : 2.0;
    par.iP = TruncToInt32(dP);
    // 1.5 or 1 + eps compute as 1, but are no legal p: reported like p = 3.
    par.bPTruncated = (par.iP == 1 || par.iP == 2) && dP != par.iP;
    return par;
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload();
    CheckArguments(nlhs, nrhs, prhs);

    const mxArray* pmxStack = prhs[IN_STACK];
    const mwSize nDims = mxGetNumberOfDimensions(pmxStack);
    const mwSize* pDims = mxGetDimensions(pmxStack);
    plhs[OUT_STACK] = mxCreateNumericArray(nDims, pDims, mxDOUBLE_CLASS, mxREAL);
    const SSmoothParams par = ReadParams(nrhs, prhs);
    const int iH = Extent(pDims, 0);
    const int iW = Extent(pDims, 1);
    const std::size_t nSlices = nDims == 3 ? static_cast<std::size_t>(pDims[2]) : 1;

    // Failures inside the computation are carried out of the catch as text and
    // reported once every image of the call is gone; the host's error call must
    // not run inside a handler that could swallow its own unwinding.
    const double* pStack = mxGetPr(pmxStack);
    const double* pGuide = mxGetPr(prhs[IN_GUIDE]);
    double* pOut = mxGetPr(plhs[OUT_STACK]);
    const std::string sFailure =
        NMexGlue::FailureText(FAILURE_TEXTS, [&] { SmoothStack(pStack, pGuide, iH, iW, nSlices, par, pOut); });
    if (!sFailure.empty()) mexErrMsgTxt(sFailure.c_str());
}
