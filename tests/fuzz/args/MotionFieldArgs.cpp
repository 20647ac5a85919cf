// qmv_motion_field(img1, img2): two H x W x 3 colour frames on a 0..1 scale.
#include "../ArrayDecoder.h"
#include "../FuzzCall.h"

namespace NQmvFuzz {

const char* const kModuleName = "qmv_motion_field";

SCall BuildCall(CByteSource& src)
{
    static const size_t kHeights[] = {8, 1, 2, 3, 5, 12, 16, 24};
    static const size_t kWidths[] = {10, 1, 2, 4, 7, 12, 16, 24};
    SCall call;
    call.nlhs = DecodeCount(src, 1);
    const int nrhs = DecodeCount(src, 2);
    const size_t iHeight = kHeights[src.Pick(8)];
    const size_t iWidth = kWidths[src.Pick(8)];
    const SExpect frame = ImageOf({iHeight, iWidth, 3});
    call.vArgs = DecodeArguments(src, {frame, frame}, nrhs);
    return call;
}

}  // namespace NQmvFuzz
