// Entry of qmv_heap_reuse:
//   previous = qmv_heap_reuse(keep)   keep = qmv_heap_reuse()
// Sets (or reads) whether the process keeps the large blocks it frees for
// reuse; sr_reconstruct sets it for the length of a call. Unloading the
// module sets it back.
#include "mex.h"
#include "mexglue/ModuleUnload.h"

#include "HeapReuse.h"

namespace {

enum EInput { IN_KEEP, IN_COUNT };  // keep may be left out
enum EOutput { OUT_PREVIOUS, OUT_COUNT };

// true, false, 1 or 0, as a real scalar of any numeric or logical class.
bool IsFlag(const mxArray* pmx)
{
    if (!(mxIsNumeric(pmx) || mxIsLogical(pmx)) || mxIsComplex(pmx) || mxIsSparse(pmx) ||
        mxGetNumberOfElements(pmx) != 1)
        return false;
    const double d = mxGetScalar(pmx);
    return d == 0 || d == 1;
}

void SetBackAtUnload() { SetHeapReuse(false); }

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload(SetBackAtUnload);
    if (nlhs > OUT_COUNT || nrhs > IN_COUNT) mexErrMsgTxt("Usage: previous = qmv_heap_reuse(keep)");
    if (nrhs > IN_KEEP && !IsFlag(prhs[IN_KEEP])) mexErrMsgTxt("Error: keep must be true or false!");
    const bool bPrevious = HeapReuseActive();
    if (nrhs > IN_KEEP) SetHeapReuse(mxGetScalar(prhs[IN_KEEP]) != 0);
    plhs[OUT_PREVIOUS] = mxCreateLogicalScalar(bPrevious);
}
