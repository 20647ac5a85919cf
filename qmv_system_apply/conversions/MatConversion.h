// Conversions between MATLAB double arrays (column-major, H x W x P) and
// row-major CV_64FC(P) matrices. Every unsuitable array ends the call through
// mexErrMsgTxt with the conversion's own message.
#ifndef QMV_SYSAPPLY_MAT_CONVERSION_H
#define QMV_SYSAPPLY_MAT_CONVERSION_H

#include "conversions/PlanarView.h"

#include "mex.h"

#include <opencv2/core.hpp>

namespace NSysApply {

// imgDst = pmxSrc; complex data gives 2P channels (real, imaginary per page).
void mx2cv(const mxArray* pmxSrc, cv::Mat& imgDst);

// Creates a real H x W x P double array from imgSrc and stores it in pmxDst.
void cv2mx(const cv::Mat& imgSrc, mxArray*& pmxDst);

// A real H x W x P double array shaped like the viewed one, its contents
// undefined (the caller writes every element), or the end of the call through
// mexErrMsgTxt when the host cannot allocate it.
mxArray* CreateResultArray(const CPlanarView& viewLike);

// Makes the checks of mx2cv, with its messages, and views the array in place
// instead of copying it. The view lives as long as the caller's array.
void mx2view(const mxArray* pmxSrc, CPlanarView& viewDst);

}  // namespace NSysApply

#endif
