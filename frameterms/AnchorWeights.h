// The weights that anchor a reconstruction on its reference frame, kept
// through all reweighting iterations. They come from each frame's residuals
// against the reconstruction of the reference frame alone: a frame counts
// only where it agrees with the reference frame's scene.
//
// A frame's local misfit (its residual averaged over 3 x 3 pixels, RMS over
// the planes) is explained by noise and aliasing (one robust deviation of all
// frames' local misfits) plus a misregistration of a tenth of a
// low-resolution pixel of the reference's local detail (the blurred
// estimate's gradient, largest over 3 x 3 samples, read where the frame's
// samples land); the weight is a biweight that falls to 0 at that tolerance.
//
// Samples that land within the blur's radius of a reference sample repeat it.
// Where a frame's residuals are coherent rather than noise (a changed scene:
// their 3 x 3 mean keeps more than a ninth of their power over 13 x 13
// pixels), the near part of such a sample's weight is shared among all
// frames' repeats of that reference sample, so that together they count as
// one frame and cannot outvote the reference frame's scene.
#ifndef QMV_FRAMETERMS_ANCHOR_WEIGHTS_H
#define QMV_FRAMETERMS_ANCHOR_WEIGHTS_H

#include "FrameStackView.h"
#include "contract/OperatorArguments.h"

#include <vector>

namespace NSysApply {

// args.viewX: the blurred estimate of the reference frame's reconstruction
// (H x W x P); stackRes: the frames' residuals against it; args.vecWeights:
// the frames' validity masks (all 1 when args.bWeighted is false);
// args.vecMaps: the motion maps. vecWeightsOut[k]: frame k's (H/s) x (W/s) x P
// weights times its mask; the reference frame's (args.iReferenceFrame) is its
// mask. The blur radius is that of the reference frame's kernel (the first
// frame's when idx0 names no frame). The deviation is a median over the
// pixels of all other frames whose mask (plane 1) is above 0; a pixel whose
// residual is not finite gets 0 and is left out of it. Frames run in
// parallel; the result is the same for any number of threads.
void ComputeAnchorWeights(const COperatorArguments& args, const CFrameStackView& stackRes,
                          const std::vector<double*>& vecWeightsOut);

// The spread of a blur kernel (column-major, kh x kw) in pixels: its RMS
// radius about its centroid, at least one half.
double BlurRadius(const double* pKernel, int kh, int kw);

}  // namespace NSysApply

#endif
