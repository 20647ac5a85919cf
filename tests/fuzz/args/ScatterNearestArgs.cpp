// qmv_scatter_nearest(img, imgMap): an H x W (x K) image and an H x W x 2 map of
// 1-based target coordinates.
#include "../ArrayDecoder.h"
#include "../FuzzCall.h"

namespace NQmvFuzz {

const char* const kModuleName = "qmv_scatter_nearest";

SCall BuildCall(CByteSource& src)
{
    static const size_t kHeights[] = {4, 1, 2, 3, 5, 8, 13, 16};
    static const size_t kWidths[] = {5, 1, 2, 3, 4, 7, 12, 16};
    static const size_t kPlanes[] = {1, 3, 2, 4};
    SCall call;
    call.nlhs = DecodeCount(src, 1);
    const int nrhs = DecodeCount(src, 2);
    const size_t iHeight = kHeights[src.Pick(8)];
    const size_t iWidth = kWidths[src.Pick(8)];
    const size_t iPlanes = kPlanes[src.Pick(4)];
    const SExpect img = iPlanes == 1 ? ImageOf({iHeight, iWidth}) : ImageOf({iHeight, iWidth, iPlanes});
    call.vArgs = DecodeArguments(src, {img, MapOf(iHeight, iWidth)}, nrhs);
    return call;
}

}  // namespace NQmvFuzz
