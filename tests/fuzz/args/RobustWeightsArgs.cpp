// vecImgW = qmv_robust_weights(imgB, imgsRes, func_param): an H x W (x P) estimate, an
// (H/s) x (W/s) x P x N residual stack and the operator's parameter structure.
#include "OperatorParamArgs.h"

namespace NQmvFuzz {

const char* const kModuleName = "qmv_robust_weights";

SCall BuildCall(CByteSource& src)
{
    SCall call;
    call.nlhs = DecodeCount(src, 1);
    const int nrhs = DecodeCount(src, 3);
    const SGeometry g = DecodeGeometry(src);
    std::vector<size_t> vStack = {g.iLowHeight, g.iLowWidth, g.iPlanes, g.iFrames};
    if (nrhs >= 1) call.vArgs.push_back(DecodeArgument(src, ImageOf(WithPlanes(g.Height(), g.Width(), g.iPlanes))));
    if (nrhs >= 2) call.vArgs.push_back(DecodeArgument(src, ImageOf(vStack)));
    if (nrhs >= 3) call.vArgs.push_back(DecodeFuncParam(src, g));
    for (int i = 3; i < nrhs; ++i) call.vArgs.push_back(DecodeAnyArray(src));
    return call;
}

}  // namespace NQmvFuzz
