// The data term, frame by frame in parallel: r_k = M_k^T B_k^T U (W_k .* D B_k M_k x),
// without the two warps for the reference frame.
#ifndef QMV_SYSAPPLY_FRAME_OPERATOR_LOOP_H
#define QMV_SYSAPPLY_FRAME_OPERATOR_LOOP_H

#include "ArgumentContract.h"
#include "IllegalVector.h"

#include <opencv2/core.hpp>

#include <vector>

namespace NSysApply {

// vecFrameResults: N matrices H x W, type of x, given their storage by the
// caller. Warp and low-resolution scratch is per thread (allocated here),
// the blur pair works on the kept samples only.
void FrameOperatorLoop(const COperatorArguments& args, std::vector<cv::Mat>& vecFrameResults, CFrameWarnings& warnings);

// The straightforward loop, kept as the reference of the one above: per-frame
// warp and low-resolution buffers, full-resolution cv::filter2D.
void ReferenceFrameOperatorLoop(const COperatorArguments& args, std::vector<cv::Mat>& vecFrameResults,
                                std::vector<cv::Mat>& vecWarpBuffers, std::vector<cv::Mat>& vecLowResBuffers,
                                CFrameWarnings& warnings);

}  // namespace NSysApply

#endif
