// The call contract shared by qmv_frame_residuals and qmv_weighted_rhs:
// out = f(imgI, imgsY, func_param), and the result stack of the per-frame
// functions. imgI and func_param are checked by the
// operator's own contract (same messages as qmv_system_apply), then imgsY
// against them. Each entry runs its computation through mexglue's
// catch-and-report and prints the map warnings after it, outside any
// parallel region.
#ifndef QMV_FRAMETERMS_FRAME_TERMS_ENTRY_H
#define QMV_FRAMETERMS_FRAME_TERMS_ENTRY_H

#include "FrameStackView.h"
#include "contract/ArgumentContract.h"
#include "conversions/MatConversion.h"

#include "mex.h"

#include <cstddef>
#include <vector>

namespace NFrameTerms {

using NSysApply::COperatorArguments;

enum EInput { IN_IMG = 0, IN_FRAMES = 1, IN_PARAM = 2, IN_COUNT = 3 };
enum EOutput { OUT_RESULT = 0, OUT_COUNT = 1 };

// A real double array of (H/s) x (W/s) x P x nFrames for args' image
// (trailing dimensions of 1 may be left out).
inline bool IsFramesArrayFor(const mxArray* pmxY, const COperatorArguments& args, int nFrames)
{
    if (!mxIsDouble(pmxY) || mxIsComplex(pmxY) || mxIsSparse(pmxY)) return false;
    const mwSize nDims = mxGetNumberOfDimensions(pmxY);
    if (nDims > 4) return false;
    const mwSize* pDims = mxGetDimensions(pmxY);
    const mwSize nPlanes = nDims >= 3 ? pDims[2] : 1;
    const mwSize nGiven = nDims >= 4 ? pDims[3] : 1;
    return pDims[0] == static_cast<mwSize>(args.viewX.iRows / args.iScale) &&
           pDims[1] == static_cast<mwSize>(args.viewX.iCols / args.iScale) &&
           nPlanes == static_cast<mwSize>(args.viewX.iPlanes) && nGiven == static_cast<mwSize>(nFrames);
}

// imgsY must be h x w x P x N for h = H/s, w = W/s and N = numFrames.
inline bool IsFrameStackFor(const mxArray* pmxY, const COperatorArguments& args)
{
    return IsFramesArrayFor(pmxY, args, args.iFrames);
}

// The frames of imgsY, an h x w x P x N stack as IsFrameStackFor takes it or
// a cell of N real double h x w x P frames (a trailing dimension of 1 may be
// left out): frame k's data into vecFrames[k]. False when imgsY is neither.
inline bool FramesOf(const mxArray* pmxY, const COperatorArguments& args, std::vector<const double*>& vecFrames)
{
    vecFrames.clear();
    const std::size_t iFrameValues = static_cast<std::size_t>(args.viewX.iRows / args.iScale) *
                                     static_cast<std::size_t>(args.viewX.iCols / args.iScale) *
                                     static_cast<std::size_t>(args.viewX.iPlanes);
    if (IsFrameStackFor(pmxY, args)) {
        for (int k = 0; k < args.iFrames; ++k) vecFrames.push_back(mxGetPr(pmxY) + k * iFrameValues);
        return true;
    }
    if (!mxIsCell(pmxY) || mxGetNumberOfElements(pmxY) != static_cast<std::size_t>(args.iFrames)) return false;
    for (int k = 0; k < args.iFrames; ++k) {
        const mxArray* pmxFrame = mxGetCell(pmxY, static_cast<mwIndex>(k));
        if (pmxFrame == nullptr || !IsFramesArrayFor(pmxFrame, args, 1)) {
            vecFrames.clear();
            return false;
        }
        vecFrames.push_back(mxGetPr(pmxFrame));
    }
    return true;
}

// The (H/s) x (W/s) x P x N result of a per-frame function, uninitialised:
// every caller writes every element.
inline mxArray* CreateFrameStackArray(const COperatorArguments& args)
{
    mwSize aDims[4] = {static_cast<mwSize>(args.viewX.iRows / args.iScale),
                       static_cast<mwSize>(args.viewX.iCols / args.iScale), static_cast<mwSize>(args.viewX.iPlanes),
                       static_cast<mwSize>(args.iFrames)};
    return mxCreateUninitNumericArray(4, aDims, mxDOUBLE_CLASS, mxREAL);
}

// A 1 x N cell of uninitialised (H/s) x (W/s) x P images, one per frame, for
// per-frame weights; their data in vecData.
inline mxArray* CreateFrameCell(const COperatorArguments& args, std::vector<double*>& vecData)
{
    mxArray* pmxCell = mxCreateCellMatrix(1, static_cast<mwSize>(args.iFrames));
    mwSize aDims[3] = {static_cast<mwSize>(args.viewX.iRows / args.iScale),
                       static_cast<mwSize>(args.viewX.iCols / args.iScale), static_cast<mwSize>(args.viewX.iPlanes)};
    for (int k = 0; k < args.iFrames; ++k) {
        mxArray* pmxImage = mxCreateUninitNumericArray(3, aDims, mxDOUBLE_CLASS, mxREAL);
        vecData.push_back(mxGetPr(pmxImage));
        mxSetCell(pmxCell, static_cast<mwIndex>(k), pmxImage);
    }
    return pmxCell;
}

// Checks the call and fills args and stackY, or ends the call through mexErrMsgTxt.
inline void ReadFrameTermArguments(int nlhs, int nrhs, const mxArray* prhs[], const char* sUsage,
                                   COperatorArguments& args, NSysApply::CFrameStackView& stackY)
{
    if (nlhs > OUT_COUNT || nrhs != IN_COUNT) mexErrMsgTxt(sUsage);
    const mxArray* aOperator[NSysApply::IN_COUNT] = {};
    aOperator[NSysApply::IN_IMG] = prhs[IN_IMG];
    aOperator[NSysApply::IN_PARAM] = prhs[IN_PARAM];
    NSysApply::ReadOperatorArguments(NSysApply::OUT_COUNT, NSysApply::IN_COUNT, aOperator, args);
    const mxArray* pmxY = prhs[IN_FRAMES];
    if (!IsFrameStackFor(pmxY, args)) {
        args.Release();
        mexErrMsgTxt(
            "Error: imgsY should be a real double (H/s)x(W/s)xPxN stack for an HxWxP imgI and N = "
            "func_param.numFrames.");
    }
    stackY.pData = mxGetPr(pmxY);
    stackY.iRows = args.viewX.iRows / args.iScale;
    stackY.iCols = args.viewX.iCols / args.iScale;
    stackY.iPlanes = args.viewX.iPlanes;
    stackY.iFrames = args.iFrames;
}

}  // namespace NFrameTerms

#endif
