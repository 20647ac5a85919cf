// Where a frame's scene moves rigidly (a camera's shake, a pan), one affine
// motion is more exact than the dense flow, which is noisy and biased at
// sub-pixel level. Per frame: an affine motion fitted robustly to the flow at
// the frame's samples, refined by registering the frame against the blurred
// estimate, and the frame's map rebuilt from it except where the flow
// explains the frame clearly better (things that move on their own).
#ifndef QMV_FRAMETERMS_RIGID_MOTION_H
#define QMV_FRAMETERMS_RIGID_MOTION_H

#include "FrameStackView.h"
#include "contract/OperatorArguments.h"

#include <vector>

namespace NSysApply {

// args.viewX: the blurred estimate (H x W x P); stackY: the frames; args.vecMaps:
// their maps. vecMapsOut[k] receives frame k's new H x W x 2 map (column-major);
// a null pointer (the reference frame's, whose map may be anything) skips
// the frame. The map is a copy of the given one for a frame whose flow is
// not rigid (under 30 % of its samples within 1 pixel of the fitted motion),
// and for one whose fit is not finite or that has too few samples inside the
// image to register, and for a map with entries that are not finite. Frames
// run in parallel; each result is the same whichever thread takes its frame.
void ComputeRigidMotion(const COperatorArguments& args, const CFrameStackView& stackY,
                        const std::vector<double*>& vecMapsOut);

}  // namespace NSysApply

#endif
