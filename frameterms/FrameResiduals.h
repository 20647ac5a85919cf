// The frame residuals D B_k M_k x - y_k of every frame, with the operator's
// sampled blur and warp (no warp for the reference frame), frames in parallel.
#ifndef QMV_FRAMETERMS_FRAME_RESIDUALS_H
#define QMV_FRAMETERMS_FRAME_RESIDUALS_H

#include "FrameStackView.h"
#include "contract/OperatorArguments.h"
#include "warp/IllegalVector.h"

namespace NSysApply {

// pResiduals: (H/s) x (W/s) x P x N doubles, column-major, frame k's residual
// at frame k's place; stackY has that shape too. Each residual is computed by
// the same operations whichever thread takes its frame. warnings[k] lists the
// illegal entries of frame k's map (their samples read 0, as in the operator).
// Throws on failure (OpenCV, memory), after all threads have finished.
void ComputeFrameResiduals(const COperatorArguments& args, const CFrameStackView& stackY, double* pResiduals,
                           CFrameWarnings& warnings);

}  // namespace NSysApply

#endif
