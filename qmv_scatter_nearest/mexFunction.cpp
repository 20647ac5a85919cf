// qmv_scatter_nearest: imgWarped = qmv_scatter_nearest(img, imgMap), the
// transpose of a nearest-neighbour remap. The entry checks the arguments and
// scatters straight between the arrays (ScatterColumnMajor).
#include "mex.h"

#include "mexglue/FailureReport.h"
#include "mexglue/IllegalVectorReport.h"
#include "mexglue/ModuleUnload.h"

#include "ScatterArrays.h"

#include "QELLib/NException.h"
#include "QELLib/NImage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <string>
#include <vector>

namespace {

enum EInput { IN_IMG, IN_MAP, IN_COUNT };
enum EOutput { OUT_WARPED, OUT_COUNT };

// Every exception's own text, as the library words its failures.
const NMexGlue::CFailureTexts FAILURE_TEXTS = {
    nullptr,  // what() as it is
    nullptr,  // out of memory: what() as it is
    "Error: qmv_scatter_nearest failed!",
    true,   // the library's texts as they are
    false,  // a thrown string is an unknown failure
};

bool FitsImageSize(mwSize n)
{
    const std::uint64_t iMax = static_cast<std::uint64_t>(std::numeric_limits<qelMInt>::max());
    return n > 0 && static_cast<std::uint64_t>(n) <= iMax;
}

// The first failed check in the documented order, or null. The refusals
// after the documented checks keep every value a caller can pass away from
// the library's fatal assertions and from reading beyond an array.
const char* CheckArguments(int nlhs, int nrhs, const mxArray* prhs[])
{
    if (nlhs != OUT_COUNT || nrhs != IN_COUNT) {
        return "Usage: imgWarped = qmv_scatter_nearest(img, imgMap)";
    }
    const mxArray* pmxImg = prhs[IN_IMG];
    const mxArray* pmxMap = prhs[IN_MAP];
    if (!mxIsDouble(pmxImg) || !mxIsDouble(pmxMap)) {
        return "Error: data format is not double!";
    }
    const mwSize iImgDims = mxGetNumberOfDimensions(pmxImg);
    if (iImgDims < 2 || iImgDims > 3) {
        return "Error: img must be an image!";
    }
    if (mxGetNumberOfDimensions(pmxMap) != 3) {
        return "Error: imgMap must be a vector field!";
    }
    const mwSize* pMapDims = mxGetDimensions(pmxMap);
    if (pMapDims[2] != 2) {
        return "Error: size(imgMap, 3) MUST == 2!";
    }
    if (mxIsSparse(pmxImg) || mxIsSparse(pmxMap)) {
        return "Error: sparse arrays are not supported!";
    }
    const mwSize* pImgDims = mxGetDimensions(pmxImg);
    if (mxGetNumberOfElements(pmxImg) == 0) {
        return "Error: img must not be empty!";
    }
    if (!FitsImageSize(pImgDims[0]) || !FitsImageSize(pImgDims[1]) || (iImgDims == 3 && !FitsImageSize(pImgDims[2]))) {
        return "Error: img is too large!";
    }
    if (pMapDims[0] != pImgDims[0] || pMapDims[1] != pImgDims[1]) {
        return "Error: imgMap must have the same height and width as img!";
    }
    return nullptr;
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload();
    const char* pCheckError = CheckArguments(nlhs, nrhs, prhs);
    if (pCheckError) {
        mexErrMsgTxt(pCheckError);
        return;
    }
    const mxArray* pmxImg = prhs[IN_IMG];
    // The scatter writes every element (0.0 where no source lands), so the
    // host need not clear the array first: with the memory cold after other
    // work, that pass costs as much as a third of the call.
    const mwSize iDims = mxGetNumberOfDimensions(pmxImg);
    mwSize aDims[3] = {};
    std::copy_n(mxGetDimensions(pmxImg), iDims, aDims);
    plhs[OUT_WARPED] = mxCreateUninitNumericArray(iDims, aDims, mxDOUBLE_CLASS, mxREAL);

    // Only the library's and the runtime's failures are caught here; the
    // computation makes no host call that could raise a host error.
    std::vector<CIllegalVector> vIllegal;
    const std::string sError = NMexGlue::FailureText(
        FAILURE_TEXTS, [&] { ScatterArraysInPlace(pmxImg, prhs[IN_MAP], plhs[OUT_WARPED], vIllegal); });
    if (!sError.empty()) {
        std::vector<CIllegalVector>().swap(vIllegal);
        mexErrMsgTxt(sError.c_str());
        return;
    }
    NMexGlue::PrintIllegalVectors(vIllegal);
}
