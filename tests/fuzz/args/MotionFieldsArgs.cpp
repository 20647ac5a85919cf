// qmv_motion_fields(imgsFrom, imgsTo): an H x W x 3 x N stack and a stack of
// as many frames or one H x W x 3 frame, on a 0..1 scale.
#include "../ArrayDecoder.h"
#include "../FuzzCall.h"

namespace NQmvFuzz {

const char* const kModuleName = "qmv_motion_fields";

SCall BuildCall(CByteSource& src)
{
    static const size_t kHeights[] = {8, 1, 2, 3, 5, 12, 16, 24};
    static const size_t kWidths[] = {10, 1, 2, 4, 7, 12, 16, 24};
    static const size_t kFrames[] = {2, 1, 3, 0};
    SCall call;
    call.nlhs = DecodeCount(src, 1);
    const int nrhs = DecodeCount(src, 2);
    const size_t iHeight = kHeights[src.Pick(8)];
    const size_t iWidth = kWidths[src.Pick(8)];
    const size_t iFrames = kFrames[src.Pick(4)];
    const SExpect from = ImageOf({iHeight, iWidth, 3, iFrames});
    const SExpect to = src.Pick(2) ? ImageOf({iHeight, iWidth, 3}) : from;
    call.vArgs = DecodeArguments(src, {from, to}, nrhs);
    return call;
}

}  // namespace NQmvFuzz
