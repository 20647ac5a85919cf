// Shapes of the frame stacks that qmv_motion_fields takes and returns: a stack
// is H x W x 3 x N (a single H x W x 3 frame is a stack of one), and the
// result holds one H x W x 2 flow per frame of the first stack.
#ifndef QMV_MOTION_FIELDS_FRAMESTACK_H
#define QMV_MOTION_FIELDS_FRAMESTACK_H

#include <cstddef>

struct SStackShape {
    std::size_t nHeight = 0;
    std::size_t nWidth = 0;
    std::size_t nFrames = 0;
};

// The frames' pixel planes: frame k of a stack starts 3 * H * W doubles after
// frame k - 1; a single target frame serves every source frame.
struct SFrameStacks {
    const double* pFrom = nullptr;
    const double* pTo = nullptr;
    bool bOneTarget = false;
    SStackShape shape;

    const double* From(std::size_t k) const { return pFrom + k * FrameValues(); }
    const double* To(std::size_t k) const { return bOneTarget ? pTo : pTo + k * FrameValues(); }
    std::size_t FrameValues() const { return 3 * shape.nHeight * shape.nWidth; }
    std::size_t FlowValues() const { return 2 * shape.nHeight * shape.nWidth; }
};

#endif
