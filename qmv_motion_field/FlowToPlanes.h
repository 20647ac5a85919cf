// The solver's flow matrix as the module's result: dx to plane 1 and dy to
// plane 2 of an H x W x 2 column-major double array, each float widened
// exactly (the copy that img2mx makes, without a library image in between).
#ifndef QMV_MOTION_FIELD_FLOWTOPLANES_H
#define QMV_MOTION_FIELD_FLOWTOPLANES_H

#include <opencv2/core.hpp>

// matFlow: H x W, CV_32FC2. pDst: 2 * H * W doubles.
void FlowToPlanes(const cv::Mat& matFlow, double* pDst);

#endif
