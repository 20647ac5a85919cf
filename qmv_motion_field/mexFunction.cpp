// Entry of qmv_motion_field: imgFlowB = qmv_motion_field(img1, img2).
// Checks two H x W x 3 double colour frames, estimates the dense Farneback flow
// from img1 to img2 and returns it as H x W x 2 (plane 1 dx, plane 2 dy, pixels).
// The frames go straight from the arrays to the grey bytes the solver sees and
// the flow straight from OpenCV's matrix into the result, with no intermediate
// library images: the same values as the colour-image path, in fewer passes.
#include <climits>
#include <string>

#include "mex.h"

#include "mexglue/ModuleUnload.h"

#include "FlowFailure.h"
#include "FlowToPlanes.h"
#include "MotionField.h"

namespace {

enum EInput { IN_IMG1, IN_IMG2, IN_COUNT };
enum EOutput { OUT_FLOW, OUT_COUNT };

bool IsColourFrame(const mxArray* pmxImg)
{
    return mxGetNumberOfDimensions(pmxImg) == 3 && mxGetDimensions(pmxImg)[2] == 3;
}

bool HaveSameSize(const mxArray* pmxA, const mxArray* pmxB)
{
    const mwSize* pDimsA = mxGetDimensions(pmxA);
    const mwSize* pDimsB = mxGetDimensions(pmxB);
    return pDimsA[0] == pDimsB[0] && pDimsA[1] == pDimsB[1];
}

// A frame must be representable as the library's colour image (three doubles
// per pixel, rows padded to 16 bytes, 32-bit byte counts), as it always was;
// the one-pass path needs less, and OpenCV's int sizes are then safe too.
bool FitsLibraryImage(mwSize nHeight, mwSize nWidth)
{
    const unsigned long long nRowLimit = (INT_MAX - 15ULL) / (3 * sizeof(double));
    if (static_cast<unsigned long long>(nWidth) > nRowLimit) return false;
    const unsigned long long nStride = (static_cast<unsigned long long>(nWidth) * 3 * sizeof(double) + 15) & ~15ULL;
    return nStride == 0 || static_cast<unsigned long long>(nHeight) <= INT_MAX / nStride;
}

// The first failing check in the documented order, or null when all pass.
const char* ArgumentError(int nlhs, int nrhs, const mxArray* prhs[])
{
    if (nlhs != OUT_COUNT || nrhs != IN_COUNT) return "Usage: imgFlowB = qmv_motion_field(img1, img2)";
    const mxArray* pmxImg1 = prhs[IN_IMG1];
    const mxArray* pmxImg2 = prhs[IN_IMG2];
    if (!mxIsDouble(pmxImg1) || !mxIsDouble(pmxImg2)) return "Error: data format is not double!";
    if (!IsColourFrame(pmxImg1)) return "Error: img1 must be a 3-channel image!";
    if (!IsColourFrame(pmxImg2)) return "Error: img2 must be a 3-channel image!";
    if (!HaveSameSize(pmxImg1, pmxImg2)) return "Error: img2 must be the same size as img1!";
    // Sparse storage cannot be read as dense pixels.
    if (mxIsSparse(pmxImg1) || mxIsSparse(pmxImg2)) return "Error: img1 and img2 must not be sparse!";
    const mwSize* pDims = mxGetDimensions(pmxImg1);
    if (!FitsLibraryImage(pDims[0], pDims[1])) return "Error: img1 and img2 are too large!";
    if (pDims[0] == 0 || pDims[1] == 0) return "Error: img1 and img2 must have a positive height and width!";
    return nullptr;
}

// The working images of the last call, reused while the frame size stays
// (released with the module: "clear qmv_motion_field").
SFlowBuffers s_buffers;

void ReleaseFlowBuffers() { s_buffers = SFlowBuffers(); }

mxArray* CreateFlowArray(mwSize nHeight, mwSize nWidth)
{
    const mwSize aDims[3] = {nHeight, nWidth, 2};
    return mxCreateNumericArray(3, aDims, mxDOUBLE_CLASS, mxREAL);
}

bool IsFlowOfSize(const cv::Mat& matFlow, mwSize nHeight, mwSize nWidth)
{
    return matFlow.type() == CV_32FC2 && static_cast<mwSize>(matFlow.rows) == nHeight &&
           static_cast<mwSize>(matFlow.cols) == nWidth;
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload(ReleaseFlowBuffers);
    const char* pArgError = ArgumentError(nlhs, nrhs, prhs);
    if (pArgError != nullptr) mexErrMsgTxt(pArgError);  // does not return

    const mwSize nHeight = mxGetDimensions(prhs[IN_IMG1])[0];
    const mwSize nWidth = mxGetDimensions(prhs[IN_IMG1])[1];
    const int iHeight = static_cast<int>(nHeight);
    const int iWidth = static_cast<int>(nWidth);
    const double* pPlanes1 = mxGetPr(prhs[IN_IMG1]);  // real part only
    const double* pPlanes2 = mxGetPr(prhs[IN_IMG2]);

    std::string sFailure;
    {
        const cv::Mat& matFlow = s_buffers.matFlow;
        sFailure = FlowFailure([&] { MotionFieldFromArrays(pPlanes1, pPlanes2, iHeight, iWidth, s_buffers); });
        if (sFailure.empty() && !IsFlowOfSize(matFlow, nHeight, nWidth))
            sFailure = "Error: qmv_motion_field failed, the solver returned a flow of another size!";
        if (sFailure.empty()) {
            plhs[OUT_FLOW] = CreateFlowArray(nHeight, nWidth);
            double* pFlow = mxGetPr(plhs[OUT_FLOW]);
            sFailure = FlowFailure([&] { FlowToPlanes(matFlow, pFlow); });
        }
    }
    if (!sFailure.empty()) {
        s_buffers = SFlowBuffers();  // working images released before the error is raised
        mexErrMsgTxt(sFailure.c_str());
    }
}
