// The grey frame that the solver sees, made straight from a MATLAB colour
// array in one pass: the same bytes as the colour-to-RGBA conversion followed
// by RGBA2Gray, without the two intermediate images per frame.
#ifndef QMV_MOTION_FIELD_GREYFRAME_H
#define QMV_MOTION_FIELD_GREYFRAME_H

#include <opencv2/core.hpp>

// One colour component (0..1 scale) as a byte: clamped to [0, 1] with NaN
// taken as 0, then rounded half up. The rounded value is never negative, so
// truncation gives the same integer as floor.
inline unsigned char ComponentByte(double v)
{
    v = v >= 0.0 ? v : 0.0;
    v = v <= 1.0 ? v : 1.0;
    return static_cast<unsigned char>(static_cast<int>(v * 255.0 + 0.5));
}

// pPlanes: H x W x 3 doubles, column-major (red, green, blue planes).
// matGrey becomes H x W, CV_8UC1; matScratch (W x H, CV_8UC1) holds the
// transposed frame and can serve both frames of a pair.
void ColourArrayToGrey(const double* pPlanes, int iHeight, int iWidth, cv::Mat& matScratch, cv::Mat& matGrey);

#endif
