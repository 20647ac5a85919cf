// Argument checks in their documented order. Besides the documented checks,
// everything the computation relies on (frame and scale counts, cell lengths,
// sizes and channel counts) is refused here, before any work is done and
// before any array is read beyond its end.
#include "contract/ArgumentContract.h"

#include "conversions/MatConversion.h"
#include "frameloop/LargeBuffers.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

namespace NSysApply {

namespace {

const char* const FIELD_NAMES[] = {"idx0",    "numFrames", "scaleFactor",   "vecKers", "imgWs",
                                   "vecImgW", "vecMapB",   "dataTermScale", "eta"};
enum EField { F_IDX0, F_NUMFRAMES, F_SCALE, F_KERS, F_WS, F_IMGW, F_MAPB, F_DTS, F_ETA, F_COUNT };

bool FitsInt32(double dValue)
{
    return dValue >= static_cast<double>(INT_MIN) && dValue <= static_cast<double>(INT_MAX);
}

// Reads an integer field; iMin is the smallest value the operator can use.
int ReadInteger(const mxArray* pmxField, const char* sName, long long iMin)
{
    const std::string sField = std::string("Error: func_param.") + sName;
    if (!IsRealInteger(pmxField)) mexErrMsgTxt((sField + " should be a real integer.").c_str());
    const double dValue = mxGetScalar(pmxField);
    if (!FitsInt32(dValue)) mexErrMsgTxt((sField + " should be a 32-bit integer.").c_str());
    if (dValue < static_cast<double>(iMin))
        mexErrMsgTxt((sField + " should be at least " + std::to_string(iMin) + ".").c_str());
    return static_cast<int>(dValue);
}

void RefuseFrameElement(const char* sCell, int iFrame, const char* sWhat)
{
    char sText[160];
    std::snprintf(sText, sizeof(sText), "Error: func_param.%s{%d} should be %s.", sCell, iFrame + 1, sWhat);
    mexErrMsgTxt(sText);
}

void CheckCellLength(const mxArray* pmxCell, const char* sName, int iFrames)
{
    if (mxGetNumberOfElements(pmxCell) < static_cast<std::size_t>(iFrames)) {
        mexErrMsgTxt((std::string("Error: func_param.") + sName + " should have at least numFrames elements.").c_str());
    }
}

// imgI must be usable, divisible by s, and imgWs must match it.
void CheckImageSizes(const COperatorArguments& args)
{
    const CPlanarView& viewX = args.viewX;
    if (viewX.Empty()) mexErrMsgTxt("Error: imgI should not be empty.");
    if (viewX.iRows % args.iScale != 0 || viewX.iCols % args.iScale != 0) {
        mexErrMsgTxt("Error: imgI height and width should be multiples of func_param.scaleFactor.");
    }
    const CPlanarView& viewW = args.viewW;
    if (viewW.bComplex || viewW.iRows != viewX.iRows || viewW.iCols != viewX.iCols || viewW.iPlanes != viewX.iPlanes) {
        mexErrMsgTxt("Error: func_param.imgWs should have the size and channels of imgI.");
    }
}

// Frame k in the order kernel, weights, map. Empty weights for the first frame
// switch the weighting off for every frame (as the weighting rule reads the
// first frame's size), and then only the conversion checks apply to the other
// frames' weights; likewise the reference frame's map, which is never read.
void ReadFrame(const mxArray* pmxKers, const mxArray* pmxImgW, const mxArray* pmxMapB, int k, COperatorArguments& args)
{
    const int iRows = args.viewX.iRows, iCols = args.viewX.iCols, iPlanes = args.viewX.iPlanes;
    cv::Mat& imgKernel = args.vecKernels[k];
    mx2cv(mxGetCell(pmxKers, k), imgKernel);
    if (imgKernel.empty() || imgKernel.channels() != 1) RefuseFrameElement("vecKers", k, "a non-empty real 2-D matrix");

    CPlanarView& viewWeights = args.vecWeights[k];
    mx2view(mxGetCell(pmxImgW, k), viewWeights);
    if (k == 0) args.bWeighted = !viewWeights.Empty();
    if (args.bWeighted && (viewWeights.bComplex || viewWeights.iRows != iRows / args.iScale ||
                           viewWeights.iCols != iCols / args.iScale || viewWeights.iPlanes != iPlanes)) {
        RefuseFrameElement("vecImgW", k, "a real (H/s)x(W/s)xP image for an HxWxP imgI");
    }

    CPlanarView& viewMap = args.vecMaps[k];
    mx2view(mxGetCell(pmxMapB, k), viewMap);
    if (k != args.iReferenceFrame &&
        (viewMap.bComplex || viewMap.iRows != iRows || viewMap.iCols != iCols || viewMap.iPlanes != 2)) {
        RefuseFrameElement("vecMapB", k, "a real HxWx2 map for an HxWxP imgI");
    }
}

}  // namespace

bool IsRealScalar(const mxArray* pmxA)
{
    if (pmxA == nullptr || !mxIsNumeric(pmxA) || mxIsSparse(pmxA) || mxIsComplex(pmxA) || mxIsEmpty(pmxA)) return false;
    if (mxGetNumberOfDimensions(pmxA) > 2) return false;
    const mwSize* pDims = mxGetDimensions(pmxA);
    return pDims[0] == 1 && pDims[1] == 1;
}

bool IsRealInteger(const mxArray* pmxA)
{
    if (!IsRealScalar(pmxA)) return false;
    const double dValue = mxGetScalar(pmxA);
    return std::isfinite(dValue) && dValue == std::floor(dValue) && dValue == std::ceil(dValue);
}

void ReadOperatorArguments(int nlhs, int nrhs, const mxArray* prhs[], COperatorArguments& args)
{
    if (nlhs != OUT_COUNT || nrhs != IN_COUNT) mexErrMsgTxt("Usage: imgAI = qmv_system_apply(imgI, func_param);");
    const mxArray* pmxImg = prhs[IN_IMG];
    const mxArray* pmxParam = prhs[IN_PARAM];
    if (pmxImg == nullptr || !mxIsDouble(pmxImg) || mxIsComplex(pmxImg))
        mexErrMsgTxt("Error: imgI should be real and double.");
    if (pmxParam == nullptr || !mxIsStruct(pmxParam)) mexErrMsgTxt("Error: func_param should be a struct.");

    // A struct array without elements has no element 0 to read fields from.
    const mxArray* pmxFields[F_COUNT] = {};
    const bool bHasElement = mxGetNumberOfElements(pmxParam) > 0;
    for (int f = 0; f < F_COUNT; ++f) pmxFields[f] = bHasElement ? mxGetField(pmxParam, 0, FIELD_NAMES[f]) : nullptr;
    for (int f = 0; f < F_COUNT; ++f) {
        if (pmxFields[f] == nullptr) mexErrMsgTxt("Error: func_param missing some fields.");
    }

    const long long iIdx0 = ReadInteger(pmxFields[F_IDX0], "idx0", INT_MIN);
    args.iFrames = ReadInteger(pmxFields[F_NUMFRAMES], "numFrames", 1);
    args.iScale = ReadInteger(pmxFields[F_SCALE], "scaleFactor", 1);
    args.iReferenceFrame = (iIdx0 >= 1 && iIdx0 <= args.iFrames) ? static_cast<int>(iIdx0 - 1) : -1;
    if (!mxIsCell(pmxFields[F_KERS])) mexErrMsgTxt("Error: func_param.vecKers should be a cell array.");
    if (!mxIsDouble(pmxFields[F_WS])) mexErrMsgTxt("Error: func_param.imgWs should be an image.");
    if (!mxIsCell(pmxFields[F_IMGW])) mexErrMsgTxt("Error: func_param.vecImgW should be a cell array.");
    if (!mxIsCell(pmxFields[F_MAPB])) mexErrMsgTxt("Error: func_param.vecMapB should be a cell array.");
    if (!IsRealScalar(pmxFields[F_DTS])) mexErrMsgTxt("Error: func_param.dataTermScale should be a real scalar.");
    args.dDataTermScale = mxGetScalar(pmxFields[F_DTS]);
    if (!IsRealScalar(pmxFields[F_ETA])) mexErrMsgTxt("Error: func_param.eta should be a real scalar.");
    args.dEta = mxGetScalar(pmxFields[F_ETA]);

    CheckCellLength(pmxFields[F_KERS], "vecKers", args.iFrames);
    CheckCellLength(pmxFields[F_IMGW], "vecImgW", args.iFrames);
    CheckCellLength(pmxFields[F_MAPB], "vecMapB", args.iFrames);

    mx2view(pmxFields[F_WS], args.viewW);
    mx2view(pmxImg, args.viewX);
    CheckImageSizes(args);

    args.vecKernels.assign(args.iFrames, cv::Mat());
    args.vecWeights.assign(args.iFrames, CPlanarView{});
    args.vecMaps.assign(args.iFrames, CPlanarView{});
    for (int k = 0; k < args.iFrames; ++k) {
        ReadFrame(pmxFields[F_KERS], pmxFields[F_IMGW], pmxFields[F_MAPB], k, args);
    }
}

}  // namespace NSysApply
