// The computation of qmv_motion_field on library images, free of any host call:
// colour frames (0..1 doubles) to RGBA bytes, then the Farneback solver with the
// module's fixed parameters.
#ifndef QMV_MOTION_FIELD_MOTIONFIELD_H
#define QMV_MOTION_FIELD_MOTIONFIELD_H

#include "QELLib/NColor.h"
#include "QELLib/NImage.h"
#include "QELLib/NSmallVector.h"
#include "superres/OpticalFlow_Farneback.h"

typedef NImage::CCompositeImage<NColor::CColorRGBr<double>> CColourFrame;
typedef NImage::CCompositeImage<NSmallVector::CVector2D<float>> CFlowField;

// The solver as the module runs it: 5 levels halving the size, 13-pixel box
// window, 10 iterations, degree-5 polynomial expansion with sigma 1.1.
sr::COpticalFlow_Farneback MakeModuleSolver();

// Replaces imgFlow by the flow from imgFrame1 to imgFrame2 (same size, not
// empty). Throws what the library and OpenCV throw.
void EstimateMotionField(const CColourFrame& imgFrame1, const CColourFrame& imgFrame2,
                         CFlowField& imgFlow);

#endif
