// The operator works on the caller's arrays in their own layout: plane c of an
// H x W x P column-major array is, read row-major, the W x H transpose of that
// plane. Every step of the operator commutes with transposition (the blur
// with the transposed kernel, the warp with the roles of the map's axes
// exchanged, the regulariser as it is), so it is applied plane by plane to
// these transposed views; no interleaved copy of the image is ever made.
#ifndef QMV_SYSAPPLY_PLANE_IMAGES_H
#define QMV_SYSAPPLY_PLANE_IMAGES_H

#include "conversions/PlanarView.h"

#include <opencv2/core.hpp>

#include <cstddef>

namespace NSysApply {

// Plane c of a viewed array as a W x H single-channel matrix (read only: the
// matrix header cannot say so, the callers only read it).
inline cv::Mat TransposedPlane(const CPlanarView& view, int iPlane)
{
    return cv::Mat(view.iCols, view.iRows, CV_64FC1, const_cast<double*>(view.Plane(iPlane)));
}

// Plane c of a writable H x W x P column-major array as a W x H matrix.
inline cv::Mat TransposedPlane(double* pData, int iRows, int iCols, int iPlane)
{
    const std::size_t iPlaneSize = static_cast<std::size_t>(iRows) * static_cast<std::size_t>(iCols);
    return cv::Mat(iCols, iRows, CV_64FC1, pData + static_cast<std::size_t>(iPlane) * iPlaneSize);
}

// The whole array as P stacked W x H planes: (P*W) x H, for element-wise work.
inline cv::Mat StackedPlanes(double* pData, int iRows, int iCols, int iPlanes)
{
    return cv::Mat(iPlanes * iCols, iRows, CV_64FC1, pData);
}

}  // namespace NSysApply

#endif
