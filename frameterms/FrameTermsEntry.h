// The call shared by qmv_frame_residuals and qmv_weighted_rhs:
// out = f(imgI, imgsY, func_param). imgI and func_param are checked by the
// operator's own contract (same messages as qmv_system_apply), then imgsY
// against them; the computation runs with failures caught, and the map
// warnings are printed after it, outside any parallel region.
#ifndef QMV_FRAMETERMS_FRAME_TERMS_ENTRY_H
#define QMV_FRAMETERMS_FRAME_TERMS_ENTRY_H

#include "FrameStackView.h"
#include "contract/ArgumentContract.h"
#include "conversions/MatConversion.h"
#include "warp/IllegalVectorReport.h"

#include "mex.h"

#include <new>
#include <string>

namespace NSysApply {

enum EFrameTermsInput { FT_IN_IMG = 0, FT_IN_FRAMES = 1, FT_IN_PARAM = 2, FT_IN_COUNT = 3 };

// imgsY must be h x w x P x N for h = H/s, w = W/s and N = numFrames
// (trailing dimensions of 1 may be left out).
inline bool IsFrameStackFor(const mxArray* pmxY, const COperatorArguments& args)
{
    if (!mxIsDouble(pmxY) || mxIsComplex(pmxY) || mxIsSparse(pmxY)) return false;
    const mwSize nDims = mxGetNumberOfDimensions(pmxY);
    if (nDims > 4) return false;
    const mwSize* pDims = mxGetDimensions(pmxY);
    const mwSize nPlanes = nDims >= 3 ? pDims[2] : 1;
    const mwSize nFrames = nDims >= 4 ? pDims[3] : 1;
    return pDims[0] == static_cast<mwSize>(args.viewX.iRows / args.iScale) &&
           pDims[1] == static_cast<mwSize>(args.viewX.iCols / args.iScale) &&
           nPlanes == static_cast<mwSize>(args.viewX.iPlanes) && nFrames == static_cast<mwSize>(args.iFrames);
}

// Checks the call and fills args and stackY, or ends the call through mexErrMsgTxt.
inline void ReadFrameTermArguments(int nlhs, int nrhs, const mxArray* prhs[], const char* sUsage,
                                   COperatorArguments& args, CFrameStackView& stackY)
{
    if (nlhs > 1 || nrhs != FT_IN_COUNT) mexErrMsgTxt(sUsage);
    const mxArray* aOperator[2] = {prhs[FT_IN_IMG], prhs[FT_IN_PARAM]};
    ReadOperatorArguments(1, 2, aOperator, args);
    const mxArray* pmxY = prhs[FT_IN_FRAMES];
    if (!IsFrameStackFor(pmxY, args)) {
        args.Release();
        mexErrMsgTxt("Error: imgsY should be a real double (H/s)x(W/s)xPxN stack for an HxWxP imgI and N = func_param.numFrames.");
    }
    stackY.pData = mxGetPr(pmxY);
    stackY.iRows = args.viewX.iRows / args.iScale;
    stackY.iCols = args.viewX.iCols / args.iScale;
    stackY.iPlanes = args.viewX.iPlanes;
    stackY.iFrames = args.iFrames;
}

// Runs fnCompute(warnings); returns the failure text (sName names the
// function), empty on success. No exception leaves.
template <class FN>
std::string ComputeFrameTerms(const char* sName, FN&& fnCompute, CFrameWarnings& warnings) noexcept
{
    std::string sFailure;
    try {
        try {
            fnCompute(warnings);
        } catch (const cv::Exception& e) {
            sFailure = std::string("Error: ") + sName + ": " + e.what();
        } catch (const std::bad_alloc&) {
            sFailure = std::string("Error: ") + sName + ": out of memory.";
        } catch (const std::exception& e) {
            sFailure = std::string("Error: ") + sName + ": " + e.what();
        } catch (...) {
            sFailure = std::string("Error: ") + sName + ": unknown failure.";
        }
    } catch (...) {
        sFailure = "Error: failed.";  // fits the string's own buffer
    }
    return sFailure;
}

}  // namespace NSysApply

#endif
