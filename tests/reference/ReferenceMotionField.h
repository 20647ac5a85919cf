// The flow module's computation through the library's colour images and the
// solver's Run (colour frames to RGBA bytes with ConvertFrom, then Run): the
// reference the module's one-pass path must match bit for bit.
#ifndef QMV_REFERENCE_MOTION_FIELD_H
#define QMV_REFERENCE_MOTION_FIELD_H

#include "qmv_motion_field/MotionField.h"

void EstimateMotionField(const CColourFrame& imgFrame1, const CColourFrame& imgFrame2, CFlowField& imgFlow);

#endif
