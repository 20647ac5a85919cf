// The nearest-pixel rule of the coordinate maps, shared by the warp and its
// scatter transpose so that both use the same rounding, clamping and validity
// test (the transpose is only exact if they agree), and the two map layouts
// the operators read: an interleaved 2-channel matrix and a MATLAB array view.
#ifndef QMV_SYSAPPLY_MAP_PIXEL_H
#define QMV_SYSAPPLY_MAP_PIXEL_H

#include "conversions/PlanarView.h"

#include <opencv2/core.hpp>

#include <cmath>
#include <cstddef>

namespace NSysApply {

// Index of the nearest pixel to a finite 0-based coordinate, halves rounding
// upwards, clamped to 0..iSize-1. floor(v) < 0 exactly when v < 0 and
// floor(v) >= n exactly when v >= n, so the clamp is done in double first and
// the conversion (a truncation, equal to floor on [0, n)) never overflows.
inline int NearestIndex(double dCoordinate, int iSize)
{
    const double dRounded = dCoordinate + 0.5;
    if (dRounded < 0.0) return 0;
    if (dRounded >= static_cast<double>(iSize)) return iSize - 1;
    return static_cast<int>(dRounded);
}

// Turns a 1-based map entry into a 0-based pixel. Returns false for a
// non-finite coordinate (an illegal flow vector).
inline bool MapToPixel(double dMapX, double dMapY, int iCols, int iRows, int& iX, int& iY)
{
    const double dX = dMapX - 1.0;
    const double dY = dMapY - 1.0;
    if (!std::isfinite(dX) || !std::isfinite(dY)) return false;
    iX = NearestIndex(dX, iCols);
    iY = NearestIndex(dY, iRows);
    return true;
}

// Map held as an H x W matrix of 2 interleaved channels (x, then y).
class CMatMapReader {
public:
    explicit CMatMapReader(const cv::Mat& imgMap) : m_imgMap(imgMap) {}
    int Rows() const { return m_imgMap.rows; }
    int Cols() const { return m_imgMap.cols; }
    bool HasTwoPlanes() const { return m_imgMap.depth() == CV_64F && m_imgMap.channels() == 2; }
    // fnVisit(y, x, mapX, mapY) for the entries of rows [iY0, iY1), in memory order.
    template <class TVisit>
    void ForEachInRows(int iY0, int iY1, const TVisit& fnVisit) const
    {
        for (int y = iY0; y < iY1; ++y) {
            const double* p = m_imgMap.ptr<double>(y);
            for (int x = 0; x < m_imgMap.cols; ++x, p += 2) fnVisit(y, x, p[0], p[1]);
        }
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
    // Column by column: the array is column-major, so a strip of rows is
    // read as short contiguous runs instead of one page per entry.
    template <class TVisit>
    void ForEachInRows(int iY0, int iY1, const TVisit& fnVisit) const
    {
        const double* pX = m_view.Plane(0);
        const double* pY = m_view.Plane(1);
        for (int x = 0; x < m_view.iCols; ++x) {
            const std::size_t iColumn = static_cast<std::size_t>(x) * static_cast<std::size_t>(m_view.iRows);
            for (int y = iY0; y < iY1; ++y) fnVisit(y, x, pX[iColumn + y], pY[iColumn + y]);
        }
    }

private:
    CPlanarView m_view;
};

}  // namespace NSysApply

#endif
