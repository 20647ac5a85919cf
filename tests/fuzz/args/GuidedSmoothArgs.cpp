// dpx_guided_smooth(imgStackIn, imgGuide, r, seps, reps[, p]): an H x W (x N)
// stack, an H x W x 3 guide and four real double scalars.
#include "../ArrayDecoder.h"
#include "../FuzzCall.h"

namespace NQmvFuzz {

const char* const kModuleName = "dpx_guided_smooth";

SCall BuildCall(CByteSource& src)
{
    static const size_t kHeights[] = {6, 1, 2, 3, 5, 9, 16, 20};
    static const size_t kWidths[] = {7, 1, 2, 4, 6, 11, 16, 20};
    static const size_t kSlices[] = {1, 2, 3, 0};
    static const double kRadii[] = {1, 0, 2, 3, 2.9, -0.5, 5, 40};
    SCall call;
    call.nlhs = DecodeCount(src, 1);
    const int nrhs = DecodeCount(src, src.Pick(2) ? 5 : 6);
    const size_t iHeight = kHeights[src.Pick(8)];
    const size_t iWidth = kWidths[src.Pick(8)];
    const size_t iSlices = kSlices[src.Pick(4)];
    const SExpect stack = iSlices == 1 ? ImageOf({iHeight, iWidth}) : ImageOf({iHeight, iWidth, iSlices});
    call.vArgs = DecodeArguments(src,
                                 {stack, ImageOf({iHeight, iWidth, 3}), ScalarOf(kRadii[src.Pick(8)]), ScalarOf(2.0),
                                  ScalarOf(0.2), ScalarOf(src.Pick(2) ? 1.0 : 2.0)},
                                 nrhs);
    return call;
}

}  // namespace NQmvFuzz
