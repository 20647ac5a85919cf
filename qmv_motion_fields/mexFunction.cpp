// Entry of qmv_motion_fields: imgsFlow = qmv_motion_fields(imgsFrom, imgsTo).
// The flows from every frame of an H x W x 3 x N stack to the frame of the
// same index of a second stack, or to one H x W x 3 frame, as H x W x 2 x N;
// flow k is the one qmv_motion_field(imgsFrom(:,:,:,k), imgsTo(:,:,:,k))
// returns, and the frames are computed in parallel.
#include <climits>
#include <string>

#include "mex.h"

#include "mexglue/ModuleUnload.h"

#include "FlowFailure.h"
#include "FrameStack.h"
#include "StackFlows.h"

namespace {

enum EInput { IN_FROM, IN_TO, IN_COUNT };
enum EOutput { OUT_FLOWS, OUT_COUNT };

// H x W x 3 or H x W x 3 x N; *pnFrames gets N (1 for a 3-D array).
bool IsColourStack(const mxArray* pmxImgs, mwSize* pnFrames)
{
    const mwSize nDims = mxGetNumberOfDimensions(pmxImgs);
    const mwSize* pDims = mxGetDimensions(pmxImgs);
    if (nDims < 3 || nDims > 4 || pDims[2] != 3) return false;
    *pnFrames = nDims == 4 ? pDims[3] : 1;
    return true;
}

// Each frame must fit the flow module's limits (int sizes for OpenCV, 32-bit
// byte counts of a padded colour row), and the whole stack mwSize counts.
bool FitsFrameLimits(mwSize nHeight, mwSize nWidth)
{
    const unsigned long long nRowLimit = (INT_MAX - 15ULL) / (3 * sizeof(double));
    if (static_cast<unsigned long long>(nWidth) > nRowLimit) return false;
    const unsigned long long nStride = (static_cast<unsigned long long>(nWidth) * 3 * sizeof(double) + 15) & ~15ULL;
    return nStride == 0 || static_cast<unsigned long long>(nHeight) <= INT_MAX / nStride;
}

// The first failing check in the documented order, or null when all pass.
const char* ArgumentError(int nlhs, int nrhs, const mxArray* prhs[], SStackShape& shape, bool& bOneTarget)
{
    if (nlhs > OUT_COUNT || nrhs != IN_COUNT) return "Usage: imgsFlow = qmv_motion_fields(imgsFrom, imgsTo)";
    const mxArray* pmxFrom = prhs[IN_FROM];
    const mxArray* pmxTo = prhs[IN_TO];
    if (!mxIsDouble(pmxFrom) || !mxIsDouble(pmxTo)) return "Error: data format is not double!";
    if (mxIsSparse(pmxFrom) || mxIsSparse(pmxTo)) return "Error: imgsFrom and imgsTo must not be sparse!";
    mwSize nFrom = 0, nTo = 0;
    if (!IsColourStack(pmxFrom, &nFrom)) return "Error: imgsFrom must be an H x W x 3 x N stack of colour frames!";
    if (!IsColourStack(pmxTo, &nTo) || (nTo != nFrom && nTo != 1))
        return "Error: imgsTo must be one H x W x 3 frame or a stack of as many frames as imgsFrom!";
    const mwSize* pFrom = mxGetDimensions(pmxFrom);
    const mwSize* pTo = mxGetDimensions(pmxTo);
    if (pFrom[0] != pTo[0] || pFrom[1] != pTo[1])
        return "Error: imgsTo must have the same height and width as imgsFrom!";
    if (pFrom[0] == 0 || pFrom[1] == 0) return "Error: imgsFrom and imgsTo must have a positive height and width!";
    if (!FitsFrameLimits(pFrom[0], pFrom[1])) return "Error: imgsFrom and imgsTo are too large!";
    shape.nHeight = pFrom[0];
    shape.nWidth = pFrom[1];
    shape.nFrames = nFrom;
    bOneTarget = nTo == 1 && nFrom != 1;
    return nullptr;
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload(ReleaseStackFlowBuffers);  // the working images kept between calls
    SFrameStacks stacks;
    const char* pArgError = ArgumentError(nlhs, nrhs, prhs, stacks.shape, stacks.bOneTarget);
    if (pArgError != nullptr) mexErrMsgTxt(pArgError);  // does not return

    const mwSize aDims[4] = {static_cast<mwSize>(stacks.shape.nHeight), static_cast<mwSize>(stacks.shape.nWidth), 2,
                             static_cast<mwSize>(stacks.shape.nFrames)};
    plhs[OUT_FLOWS] = mxCreateNumericArray(4, aDims, mxDOUBLE_CLASS, mxREAL);
    if (stacks.shape.nFrames == 0) return;
    stacks.pFrom = mxGetPr(prhs[IN_FROM]);  // real part only
    stacks.pTo = mxGetPr(prhs[IN_TO]);
    double* pFlows = mxGetPr(plhs[OUT_FLOWS]);
    std::string sFailure;
    // Only a failure's own text can fail to be made (no memory left for it).
    std::string sUnmade = FlowFailure([&] { sFailure = ComputeStackFlows(stacks, pFlows); });
    if (sFailure.empty()) sFailure.swap(sUnmade);
    if (!sFailure.empty()) mexErrMsgTxt(sFailure.c_str());
}
