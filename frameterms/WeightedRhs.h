// The right-hand side of the weighted normal equations,
// b = (dataTermScale / N) * sum_k M_k^T B_k^T U (W_k .* y_k), with the
// operator's transposed sampled blur and transposed warp (none for the
// reference frame).
#ifndef QMV_FRAMETERMS_WEIGHTED_RHS_H
#define QMV_FRAMETERMS_WEIGHTED_RHS_H

#include "FrameStackView.h"
#include "contract/OperatorArguments.h"
#include "warp/IllegalVector.h"

namespace NSysApply {

// pRhs: H x W x P doubles, column-major, H = s*h and W = s*w for the h x w
// frames of stackY (args.viewX gives H, W, P). Frames are computed in batches
// of one frame per thread, each into a term of its own, and the terms added
// to b in frame order: the result does not depend on the thread count.
// warnings[k] lists the illegal entries of frame k's map (their values are
// dropped, as in the operator). Throws on failure after all threads finished.
void ComputeWeightedRhs(const COperatorArguments& args, const CFrameStackView& stackY, double* pRhs,
                        CFrameWarnings& warnings);

}  // namespace NSysApply

#endif
