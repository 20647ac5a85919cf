// What the operator's rounding of each frame's warp to whole pixels costs at
// an image: the image read bilinearly at the exact position of each of the
// frame's samples, minus the image read at the nearest pixel. Taken off the
// frame's data, a solve with the nearest-pixel operator fits the exact motion.
#ifndef QMV_FRAMETERMS_ROUNDING_CORRECTIONS_H
#define QMV_FRAMETERMS_ROUNDING_CORRECTIONS_H

#include "contract/OperatorArguments.h"

#include <vector>

namespace NSysApply {

// pCorrections: (H/s) x (W/s) x P x N doubles, column-major, for the H x W x P
// image args.viewX. Sample (i, j) of frame k sits at map entry (s*i, s*j) of
// vecMaps[k]; positions are clamped to the image. The reference frame and
// samples whose map entry is not finite get 0. Frames run in parallel; each
// value is computed by the same operations whichever thread takes its frame.
void ComputeRoundingCorrections(const COperatorArguments& args, double* pCorrections);

// The frames corrected: pCorrected = y_k - the corrections above, frame by
// frame, where vecFrames[k] points to frame k's (H/s) x (W/s) x P doubles
// (column-major); the same values as the corrections taken off the frames
// afterwards, without the corrections' own stack.
void ComputeCorrectedFrames(const COperatorArguments& args, const std::vector<const double*>& vecFrames,
                            double* pCorrected);

}  // namespace NSysApply

#endif
