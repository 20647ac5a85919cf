// [imgX, numSteps, relRes] = qmv_conjugate_gradients(imgI, imgB, func_param, maxSteps, tol):
// an H x W (x P) start and right-hand side, the operator's parameter
// structure, a step count and a tolerance.
#include "OperatorParamArgs.h"

namespace NQmvFuzz {

namespace {

// Most steps a decoded call may ask for: the contract allows a million, and a
// million steps of the instrumented operator take a minute even on the
// smallest image (with tol 0 the solve runs them all). Larger counts stay as
// they are: they are refused at once.
constexpr double kMostFuzzedSteps = 50;

void BoundSteps(const CArrayPtr& pmxSteps)
{
    mxArray* pmx = pmxSteps.get();
    if (pmx == nullptr || !mxIsDouble(pmx) || mxIsComplex(pmx) || mxIsSparse(pmx) || mxGetNumberOfElements(pmx) != 1)
        return;
    double& dSteps = mxGetPr(pmx)[0];
    if (dSteps > kMostFuzzedSteps && dSteps <= 1000000) dSteps = kMostFuzzedSteps;
}

}  // namespace

const char* const kModuleName = "qmv_conjugate_gradients";

SCall BuildCall(CByteSource& src)
{
    SCall call;
    call.nlhs = DecodeCount(src, 3);
    const int nrhs = DecodeCount(src, 5);
    const SGeometry g = DecodeGeometry(src);
    const std::vector<size_t> vImage = WithPlanes(g.Height(), g.Width(), g.iPlanes);
    if (nrhs >= 1) call.vArgs.push_back(DecodeArgument(src, ImageOf(vImage)));
    if (nrhs >= 2) call.vArgs.push_back(DecodeArgument(src, ImageOf(vImage)));
    if (nrhs >= 3) call.vArgs.push_back(DecodeFuncParam(src, g));
    if (nrhs >= 4) {
        call.vArgs.push_back(DecodeArgument(src, ScalarOf(3.0)));
        BoundSteps(call.vArgs.back());
    }
    if (nrhs >= 5) call.vArgs.push_back(DecodeArgument(src, ScalarOf(1e-3)));
    for (int i = 5; i < nrhs; ++i) call.vArgs.push_back(DecodeAnyArray(src));
    return call;
}

}  // namespace NQmvFuzz
