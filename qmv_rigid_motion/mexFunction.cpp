// Entry of qmv_rigid_motion: vecMapB = qmv_rigid_motion(imgB, imgsY, func_param).
// Map k becomes an affine motion fitted to frame k's flow and registered
// against the blurred estimate imgB, keeping the flow where it explains the
// frame clearly better; all frames in parallel.
#include "FrameTermsEntry.h"
#include "RigidMotion.h"
#include "mexglue/FailureReport.h"
#include "mexglue/ModuleUnload.h"

#include "mex.h"

#include <string>
#include <vector>

namespace {

using namespace NFrameTerms;

const NMexGlue::CFailureTexts FAILURE_TEXTS = QMV_MODULE_FAILURE_TEXTS("qmv_rigid_motion");

// A 1 x N cell of uninitialised H x W x 2 maps, their data pointers in
// vecData; the reference frame's slot holds a copy of its given map (which
// is never read, so may be anything), its pointer null.
mxArray* CreateMapCell(const COperatorArguments& args, const mxArray* pmxParam, std::vector<double*>& vecData)
{
    mxArray* pmxCell = mxCreateCellMatrix(1, static_cast<mwSize>(args.iFrames));
    mwSize aDims[3] = {static_cast<mwSize>(args.viewX.iRows), static_cast<mwSize>(args.viewX.iCols), 2};
    for (int k = 0; k < args.iFrames; ++k) {
        if (k == args.iReferenceFrame) {
            const mxArray* pmxGiven = mxGetCell(mxGetField(pmxParam, 0, "vecMapB"), static_cast<mwIndex>(k));
            if (pmxGiven != nullptr) mxSetCell(pmxCell, static_cast<mwIndex>(k), mxDuplicateArray(pmxGiven));
            vecData.push_back(nullptr);
            continue;
        }
        mxArray* pmxMap = mxCreateUninitNumericArray(3, aDims, mxDOUBLE_CLASS, mxREAL);
        vecData.push_back(mxGetPr(pmxMap));
        mxSetCell(pmxCell, static_cast<mwIndex>(k), pmxMap);
    }
    return pmxCell;
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload();
    COperatorArguments args;
    NSysApply::CFrameStackView stackY;
    ReadFrameTermArguments(nlhs, nrhs, prhs, "Usage: vecMapB = qmv_rigid_motion(imgB, imgsY, func_param);", args,
                           stackY);

    std::vector<double*> vecData;
    mxArray* pmxResult = CreateMapCell(args, prhs[IN_PARAM], vecData);
    const std::string sFailure =
        NMexGlue::FailureText(FAILURE_TEXTS, [&] { NSysApply::ComputeRigidMotion(args, stackY, vecData); });
    args.Release();
    if (!sFailure.empty()) {
        mxDestroyArray(pmxResult);
        mexErrMsgTxt(sFailure.c_str());
    }
    plhs[OUT_RESULT] = pmxResult;
}
