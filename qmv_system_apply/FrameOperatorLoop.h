// The data term, frame by frame in parallel: r_k = M_k^T B_k^T U (W_k .* D B_k M_k x),
// without the two warps for the reference frame.
#ifndef QMV_SYSAPPLY_FRAME_OPERATOR_LOOP_H
#define QMV_SYSAPPLY_FRAME_OPERATOR_LOOP_H

#include "ArgumentContract.h"
#include "IllegalVector.h"

#include <opencv2/core.hpp>

#include <vector>

namespace NSysApply {

// Adds the frame terms to imgAcc, the P transposed planes of an H x W x P
// column-major array stacked into a (P*W) x H matrix, in frame order:
// imgAcc = f * r_k + imgAcc for k = 0..N-1, f = dataTermScale / N. Frames are
// computed in parallel with per-thread low-resolution scratch; the blur pair
// works on the kept samples only, the warps row by row inside it, and each
// r_k is added as soon as the frames before it are in (CFrameTermSum).
void FrameOperatorLoop(const COperatorArguments& args, cv::Mat& imgAcc, CFrameWarnings& warnings);

// The straightforward loop, kept as the reference of the one above: per-frame
// warp and low-resolution buffers, full-resolution cv::filter2D, on imgX,
// an interleaved H x W x P copy of the image.
void ReferenceFrameOperatorLoop(const COperatorArguments& args, const cv::Mat& imgX, std::vector<cv::Mat>& vecFrameResults,
                                std::vector<cv::Mat>& vecWarpBuffers, std::vector<cv::Mat>& vecLowResBuffers,
                                CFrameWarnings& warnings);

}  // namespace NSysApply

#endif
