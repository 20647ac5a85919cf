// The flows of a whole stack, free of any host call: frames are spread over
// OpenMP threads, each frame's flow computed exactly as qmv_motion_field
// computes it for that pair, so the thread count never changes a result.
#ifndef QMV_MOTION_FIELDS_STACKFLOWS_H
#define QMV_MOTION_FIELDS_STACKFLOWS_H

#include <string>

#include "FrameStack.h"

// Writes flow k to pFlows + k * FlowValues() for every frame. Returns an empty
// string on success, otherwise the failure text of the lowest failing frame
// (all frames are attempted). Throws std::bad_alloc only when no memory is
// left for that text.
std::string ComputeStackFlows(const SFrameStacks& stacks, double* pFlows);

// Gives back the working images kept between calls (at unload).
void ReleaseStackFlowBuffers();

#endif
