// The data term, frame by frame in parallel: r_k = M_k^T B_k^T U (W_k .* D B_k M_k x),
// without the two warps for the reference frame.
#ifndef QMV_SYSAPPLY_FRAME_OPERATOR_LOOP_H
#define QMV_SYSAPPLY_FRAME_OPERATOR_LOOP_H

#include "contract/OperatorArguments.h"
#include "regulariser/WeightedDifferenceTerm.h"
#include "warp/IllegalVector.h"

#include <opencv2/core.hpp>

#include <vector>

namespace NSysApply {

// imgAcc = eta * R(x) + f * r_0 + ... + f * r_(N-1), f = dataTermScale / N:
// each element is eta * R, then f times each value the transposed warp of
// frame k brings to it, frames in order. imgAcc is the P transposed planes of
// an H x W x P column-major array stacked into a (P*W) x H matrix, and
// regulariser gives eta * R into it row by row. One parallel region forms
// eta * R in bands, then the frames: each plane's weighted low-resolution
// image D B M x (the blur at the kept samples only, the forward warp row by
// row inside it), kept with the frame's term; as soon as R and the same plane
// of the frames before it are in, the plane's transposed blur is formed row by
// row and each row scattered into imgAcc at once (CFrameTermSum).
void FrameOperatorLoop(const COperatorArguments& args, const CWeightedDifferenceRows& regulariser, cv::Mat& imgAcc,
                       CFrameWarnings& warnings);

}  // namespace NSysApply

#endif
