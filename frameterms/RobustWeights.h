// The data weights of the reweighting (outer) iterations: each low-resolution
// pixel of each frame but the reference gets a Gaussian weight on its colour
// residual at three robust deviations of all frames' residuals, times a
// biweight on its residual averaged over 3 x 3 pixels that falls to 0 at three
// robust deviations of those means. Both deviations grow, in quadrature, by a
// tenth of a low-resolution pixel of the blurred estimate's local detail where
// the pixel lands: at edges a slightly misregistered frame misfits by more
// than the noise, and with clean frames the deviations alone would leave it
// no say just where it adds detail. Small misfits (noise, aliasing not yet
// resolved) keep most of their say; a frame that shows something else
// locally (an occluding object, a wrong flow) loses it entirely.
#ifndef QMV_FRAMETERMS_ROBUST_WEIGHTS_H
#define QMV_FRAMETERMS_ROBUST_WEIGHTS_H

#include "FrameStackView.h"
#include "contract/OperatorArguments.h"

#include <vector>

namespace NSysApply {

// args.viewX: the blurred estimate; args.vecMaps: where each frame's samples
// land; stackRes: the residuals; args.vecWeights: the frames' validity masks
// (all 1 when args.bWeighted is false). vecWeightsOut[k]: frame k's
// (H/s) x (W/s) x P weights, the weight of a pixel times its mask, the same in every plane;
// the reference frame's (args.iReferenceFrame) is its mask. The deviations
// are medians over the pixels of all frames whose mask (plane 1) is above 0;
// pixels with a residual that is not finite get 0 and are left out of them.
// With no such pixel at all every frame gets its mask. Frames run in
// parallel; the result is the same for any number of threads.
void ComputeRobustWeights(const COperatorArguments& args, const CFrameStackView& stackRes,
                          const std::vector<double*>& vecWeightsOut);

}  // namespace NSysApply

#endif
