// The computation of qmv_motion_field, free of any host call: colour frames
// (0..1 doubles) to grey bytes, then the Farneback solver with the module's
// fixed parameters.
#ifndef QMV_MOTION_FIELD_MOTIONFIELD_H
#define QMV_MOTION_FIELD_MOTIONFIELD_H

#include <opencv2/core.hpp>

#include "QELLib/NColor.h"
#include "QELLib/NImage.h"
#include "QELLib/NSmallVector.h"
#include "superres/OpticalFlow_Farneback.h"

typedef NImage::CCompositeImage<NColor::CColorRGBr<double>> CColourFrame;
typedef NImage::CCompositeImage<NSmallVector::CVector2D<float>> CFlowField;

// The solver as the module runs it: 5 levels halving the size, 13-pixel box
// window, 10 iterations, degree-5 polynomial expansion with sigma 1.1, no
// initial flow.
sr::COpticalFlow_Farneback MakeModuleSolver();

// The module's computation on two H x W x 3 column-major double arrays:
// matFlow becomes H x W, CV_32FC2, (dx, dy) per pixel. Throws what OpenCV throws.
void MotionFieldFromArrays(const double* pPlanes1, const double* pPlanes2, int iHeight, int iWidth, cv::Mat& matFlow);

// The working images of one flow computation. Kept from one call to the next
// by a caller that computes flows of one size repeatedly, they spare the
// system fresh, zero-filled pages for every call (a tenth of the time of a
// call went to such page faults). Their contents never change a result.
struct SFlowBuffers {
    cv::Mat matScratch, matGrey1, matGrey2;
    cv::Mat matFlow;  // the result of MotionFieldFromArrays
};

// MotionFieldFromArrays into buffers.matFlow, reusing the buffers' memory
// where the sizes allow.
void MotionFieldFromArrays(const double* pPlanes1, const double* pPlanes2, int iHeight, int iWidth,
                           SFlowBuffers& buffers);

#endif
