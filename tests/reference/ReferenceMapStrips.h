// Row-by-row application of a coordinate map for the reference warp and its
// transpose. The map's rows are resolved into value offsets a strip of rows
// at a time (reading a column-major map one row at a time would touch a new
// page per entry); a row of the warp then is a gather through the offsets, a
// row of its transpose a scatter-add. The two map layouts the references
// read: an interleaved 2-channel matrix and a MATLAB array view.
#ifndef QMV_REFERENCE_MAP_STRIPS_H
#define QMV_REFERENCE_MAP_STRIPS_H

#include "conversions/PlanarView.h"
#include "mexglue/NearestPixel.h"
#include "warp/IllegalVector.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace NSysApply {

using NMexGlue::MapToPixel;

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

// The value offset Y * iRowStep + X * iPlanes of the pixel (X, Y) a map entry
// names, or -1 for an illegal entry.
inline std::ptrdiff_t EntryOffset(double dMapX, double dMapY, int iCols, int iRows, std::ptrdiff_t iRowStep,
                                  int iPlanes)
{
    int iX, iY;
    if (!MapToPixel(dMapX, dMapY, iCols, iRows, iX, iY)) return -1;
    return iY * iRowStep + static_cast<std::ptrdiff_t>(iX) * iPlanes;
}

template <class TMapReader>
class CMapStrips {
public:
    // Offsets are Y * iRowStep + X * iPlanes into an image of the map's size.
    // A strip is as tall as fits about 1 MB of offsets (16 to 128 rows): the
    // taller it is, the longer the contiguous runs read from each column.
    CMapStrips(const TMapReader& map, std::ptrdiff_t iRowStep, int iPlanes)
        : m_map(map), m_iRowStep(iRowStep), m_iPlanes(iPlanes),
          m_iStripRows(static_cast<int>(std::clamp<long long>((1LL << 20) / (8LL * std::max(map.Cols(), 1)), 16, 128))),
          m_vecOffsets(static_cast<std::size_t>(m_iStripRows) * map.Cols())
    {}

    // The offsets of row y's entries, -1 for an illegal entry. Rows are
    // normally asked for in increasing order; any order is correct.
    const std::ptrdiff_t* RowOffsets(int y)
    {
        if (m_iFirst < 0 || y < m_iFirst || y >= m_iFirst + m_iStripRows) Resolve(y);
        return m_vecOffsets.data() + static_cast<std::size_t>(y - m_iFirst) * m_map.Cols();
    }

private:
    void Resolve(int iFirst)
    {
        m_iFirst = iFirst;
        const int iLast = std::min(iFirst + m_iStripRows, m_map.Rows());
        const int iRows = m_map.Rows(), iCols = m_map.Cols();
        m_map.ForEachInRows(iFirst, iLast, [&](int y, int x, double dMapX, double dMapY) {
            m_vecOffsets[static_cast<std::size_t>(y - iFirst) * iCols + x] =
                EntryOffset(dMapX, dMapY, iCols, iRows, m_iRowStep, m_iPlanes);
        });
    }

    const TMapReader& m_map;
    const std::ptrdiff_t m_iRowStep;
    const int m_iPlanes;
    const int m_iStripRows;
    int m_iFirst = -1;
    std::vector<std::ptrdiff_t> m_vecOffsets;
};

// pOut[x] = pSrc[offset x] (P values each), 0 for an illegal entry. The
// choice is made without a branch: an illegal entry reads pSrc[0] and drops it.
template <int PLANES>
void GatherRow(double* pOut, const double* pSrc, const std::ptrdiff_t* pOffsets, int iCols, int iPlanes)
{
    const int P = PLANES > 0 ? PLANES : iPlanes;
    for (int x = 0; x < iCols; ++x, pOut += P) {
        const std::ptrdiff_t iOffset = pOffsets[x];
        const bool bLegal = iOffset >= 0;
        const double* pIn = pSrc + (bLegal ? iOffset : 0);
        for (int c = 0; c < P; ++c) {
            const double dValue = pIn[c];
            pOut[c] = bLegal ? dValue : 0.0;
        }
    }
}

// pDst[offset x] += pIn[x], from left to right; illegal entries of row iY are
// recorded and dropped.
template <int PLANES>
void ScatterRow(double* pDst, const double* pIn, const std::ptrdiff_t* pOffsets, int iCols, int iPlanes, int iY,
                CIllegalVectorList& lstIllegal)
{
    const int P = PLANES > 0 ? PLANES : iPlanes;
    for (int x = 0; x < iCols; ++x, pIn += P) {
        if (pOffsets[x] < 0) {
            lstIllegal.push_back(CIllegalVector{x, iY});
            continue;
        }
        double* pOut = pDst + pOffsets[x];
        for (int c = 0; c < P; ++c) pOut[c] += pIn[c];
    }
}

inline void GatherRowAnyPlanes(double* pOut, const double* pSrc, const std::ptrdiff_t* pOffsets, int iCols, int iPlanes)
{
    if (iPlanes == 1)
        GatherRow<1>(pOut, pSrc, pOffsets, iCols, 1);
    else if (iPlanes == 3)
        GatherRow<3>(pOut, pSrc, pOffsets, iCols, 3);
    else
        GatherRow<0>(pOut, pSrc, pOffsets, iCols, iPlanes);
}

inline void ScatterRowAnyPlanes(double* pDst, const double* pIn, const std::ptrdiff_t* pOffsets, int iCols, int iPlanes,
                                int iY, CIllegalVectorList& lstIllegal)
{
    if (iPlanes == 1)
        ScatterRow<1>(pDst, pIn, pOffsets, iCols, 1, iY, lstIllegal);
    else if (iPlanes == 3)
        ScatterRow<3>(pDst, pIn, pOffsets, iCols, 3, iY, lstIllegal);
    else
        ScatterRow<0>(pDst, pIn, pOffsets, iCols, iPlanes, iY, lstIllegal);
}

}  // namespace NSysApply

#endif
