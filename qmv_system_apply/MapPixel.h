// The nearest-pixel rule of the coordinate maps, shared by the warp and its
// scatter transpose so that both use the same rounding, clamping and validity
// test (the transpose is only exact if they agree), and the two map layouts
// the operators read: an interleaved 2-channel matrix and a MATLAB array view.
#ifndef QMV_SYSAPPLY_MAP_PIXEL_H
#define QMV_SYSAPPLY_MAP_PIXEL_H

#include "PlanarView.h"

#include <opencv2/core.hpp>

#include <cmath>

namespace NSysApply {

// Clamps in double before converting: a rounded coordinate beyond the int
// range still lands on the border pixel, with no undefined conversion.
inline int ClampToIndex(double dIndex, int iSize)
{
    if (dIndex < 0.0) return 0;
    if (dIndex >= static_cast<double>(iSize)) return iSize - 1;
    return static_cast<int>(dIndex);
}

// Turns a 1-based map entry into a 0-based pixel, halves rounding upwards.
// Returns false for a non-finite coordinate (an illegal flow vector).
inline bool MapToPixel(double dMapX, double dMapY, int iCols, int iRows, int& iX, int& iY)
{
    const double dX = dMapX - 1.0;
    const double dY = dMapY - 1.0;
    if (!std::isfinite(dX) || !std::isfinite(dY)) return false;
    iX = ClampToIndex(std::floor(dX + 0.5), iCols);
    iY = ClampToIndex(std::floor(dY + 0.5), iRows);
    return true;
}

// Map held as an H x W matrix of 2 interleaved channels (x, then y).
class CMatMapReader {
public:
    explicit CMatMapReader(const cv::Mat& imgMap) : m_imgMap(imgMap) {}
    int Rows() const { return m_imgMap.rows; }
    int Cols() const { return m_imgMap.cols; }
    bool HasTwoPlanes() const { return m_imgMap.depth() == CV_64F && m_imgMap.channels() == 2; }
    void Read(int iY, int iX, double& dMapX, double& dMapY) const
    {
        const double* p = m_imgMap.ptr<double>(iY) + 2 * iX;
        dMapX = p[0];
        dMapY = p[1];
    }

private:
    const cv::Mat& m_imgMap;
};

// Map read in place from the caller's H x W x 2 array (plane 1 x, plane 2 y).
class CPlanarMapReader {
public:
    explicit CPlanarMapReader(const CPlanarView& view) : m_view(view) {}
    int Rows() const { return m_view.iRows; }
    int Cols() const { return m_view.iCols; }
    bool HasTwoPlanes() const { return m_view.iPlanes == 2 && m_view.pData != nullptr; }
    void Read(int iY, int iX, double& dMapX, double& dMapY) const
    {
        const std::size_t iAt = static_cast<std::size_t>(iY) + static_cast<std::size_t>(iX) * static_cast<std::size_t>(m_view.iRows);
        dMapX = m_view.pData[iAt];
        dMapY = m_view.pData[iAt + m_view.PlaneSize()];
    }

private:
    CPlanarView m_view;
};

}  // namespace NSysApply

#endif
