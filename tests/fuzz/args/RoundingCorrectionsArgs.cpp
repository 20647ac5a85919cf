// imgsC = qmv_rounding_corrections(imgI, func_param[, imgsY]): the argument
// forms of qmv_system_apply, whose contract it shares: an H x W (x P) image and
// a struct of nine fields whose cells hold N kernels, N low-resolution weights
// of (H/s) x (W/s) x P and N backward maps of H x W x 2; then, as often as
// not, the frames: an (H/s) x (W/s) x P x N stack or a cell of N frames.
#include "../ArrayDecoder.h"
#include "../FuzzCall.h"

#include <functional>
#include <utility>

namespace NQmvFuzz {

const char* const kModuleName = "qmv_rounding_corrections";

namespace {

struct SGeometry {
    size_t iScale, iLowHeight, iLowWidth, iPlanes, iFrames, iKernel;
    size_t Height() const { return iScale * iLowHeight; }
    size_t Width() const { return iScale * iLowWidth; }
};

SGeometry DecodeGeometry(CByteSource& src)
{
    static const size_t kScales[] = {2, 1, 3, 1};
    static const size_t kLowHeights[] = {4, 1, 2, 3, 5, 8};
    static const size_t kLowWidths[] = {3, 1, 2, 4, 6, 7};
    static const size_t kPlanes[] = {1, 3, 2, 1};
    static const size_t kFrames[] = {2, 1, 3, 4};
    static const size_t kKernels[] = {3, 1, 2, 5};
    SGeometry g;
    g.iScale = kScales[src.Pick(4)];
    g.iLowHeight = kLowHeights[src.Pick(6)];
    g.iLowWidth = kLowWidths[src.Pick(6)];
    g.iPlanes = kPlanes[src.Pick(4)];
    g.iFrames = kFrames[src.Pick(4)];
    g.iKernel = kKernels[src.Pick(4)];
    return g;
}

std::vector<size_t> WithPlanes(size_t iHeight, size_t iWidth, size_t iPlanes)
{
    return iPlanes == 1 ? std::vector<size_t>{iHeight, iWidth} : std::vector<size_t>{iHeight, iWidth, iPlanes};
}

CArrayPtr DecodeFuncParam(CByteSource& src, const SGeometry& g)
{
    if (src.RarelyDeviate()) return DecodeAnyArray(src);
    const SExpect kernel{{g.iKernel, g.iKernel}, EValues::Kernel, 0.0};
    const SExpect weights{WithPlanes(g.iLowHeight, g.iLowWidth, g.iPlanes), EValues::Weights, 0.0};
    const SExpect regWeights{WithPlanes(g.Height(), g.Width(), g.iPlanes), EValues::Weights, 0.0};
    const double dFrames = static_cast<double>(g.iFrames);
    const std::vector<std::pair<const char*, std::function<CArrayPtr()>>> vFields = {
        {"idx0", [&] { return DecodeArgument(src, ScalarOf(1.0)); }},
        {"numFrames", [&] { return DecodeArgument(src, ScalarOf(dFrames)); }},
        {"scaleFactor", [&] { return DecodeArgument(src, ScalarOf(static_cast<double>(g.iScale))); }},
        {"vecKers", [&] { return DecodeCellOf(src, std::vector<SExpect>(g.iFrames, kernel)); }},
        {"imgWs", [&] { return DecodeArgument(src, regWeights); }},
        {"vecImgW", [&] { return DecodeCellOf(src, std::vector<SExpect>(g.iFrames, weights)); }},
        {"vecMapB", [&] { return DecodeCellOf(src, std::vector<SExpect>(g.iFrames, MapOf(g.Height(), g.Width()))); }},
        {"dataTermScale", [&] { return DecodeArgument(src, ScalarOf(1.0)); }},
        {"eta", [&] { return DecodeArgument(src, ScalarOf(0.1)); }}};
    static const size_t kShapes[][2] = {{1, 1}, {0, 0}, {2, 1}, {1, 3}};
    const auto& shape = kShapes[src.RarelyDeviate() ? src.Pick(4) : 0];
    CArrayPtr pa(mxCreateStructMatrix(shape[0], shape[1], 0, nullptr));
    for (const auto& field : vFields) {
        if (src.RarelyDeviate()) continue;  // the field is missing
        mxAddField(pa.get(), field.first);
        if (mxGetNumberOfElements(pa.get()) == 0 || src.RarelyDeviate()) continue;  // present, unset
        mxSetField(pa.get(), 0, field.first, field.second().release());
    }
    if (mxGetNumberOfElements(pa.get()) > 0 && src.RarelyDeviate())
        mxSetField(pa.get(), 0, "x", DecodeAnyArray(src).release());
    return pa;
}

}  // namespace

SCall BuildCall(CByteSource& src)
{
    SCall call;
    call.nlhs = DecodeCount(src, 1);
    const int nrhs = DecodeCount(src, src.Pick(2) == 0 ? 2 : 3);
    const SGeometry g = DecodeGeometry(src);
    if (nrhs >= 1) call.vArgs.push_back(DecodeArgument(src, ImageOf(WithPlanes(g.Height(), g.Width(), g.iPlanes))));
    if (nrhs >= 2) call.vArgs.push_back(DecodeFuncParam(src, g));
    if (nrhs >= 3) {
        const SExpect frame = ImageOf(WithPlanes(g.iLowHeight, g.iLowWidth, g.iPlanes));
        call.vArgs.push_back(src.Pick(2) == 0
                                 ? DecodeArgument(src, ImageOf({g.iLowHeight, g.iLowWidth, g.iPlanes, g.iFrames}))
                                 : DecodeCellOf(src, std::vector<SExpect>(g.iFrames, frame)));
    }
    for (int i = 3; i < nrhs; ++i) call.vArgs.push_back(DecodeAnyArray(src));
    return call;
}

}  // namespace NQmvFuzz
