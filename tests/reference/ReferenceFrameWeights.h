// The data weighting W_k: each low-resolution value times its weight, read in
// place from the caller's (H/s) x (W/s) x P array.
#ifndef QMV_REFERENCE_FRAME_WEIGHTS_H
#define QMV_REFERENCE_FRAME_WEIGHTS_H

#include "conversions/PlanarView.h"

#include <opencv2/core.hpp>

namespace NSysApply {

inline void ApplyFrameWeights(cv::Mat& imgLowRes, const CPlanarView& viewWeights)
{
    CV_Assert(viewWeights.iRows == imgLowRes.rows && viewWeights.iCols == imgLowRes.cols &&
              viewWeights.iPlanes == imgLowRes.channels());
    const int iPlanes = imgLowRes.channels();
    for (int c = 0; c < iPlanes; ++c) {
        const double* pPlane = viewWeights.Plane(c);
        for (int i = 0; i < imgLowRes.rows; ++i) {
            double* pRow = imgLowRes.ptr<double>(i) + c;
            const double* pWeight = pPlane + i;
            for (int j = 0; j < imgLowRes.cols; ++j) {
                double& dValue = pRow[static_cast<std::size_t>(j) * iPlanes];
                dValue = pWeight[static_cast<std::size_t>(j) * viewWeights.iRows] * dValue;
            }
        }
    }
}

}  // namespace NSysApply

#endif
