// Row-by-row application of a coordinate map. The map's rows are resolved
// into value offsets a strip of rows at a time (reading a column-major map one
// row at a time would touch a new page per entry); a row of the warp then is
// a gather through the offsets, a row of its transpose a scatter-add.
#ifndef QMV_SYSAPPLY_MAP_STRIPS_H
#define QMV_SYSAPPLY_MAP_STRIPS_H

#include "warp/IllegalVector.h"
#include "frameloop/LargeBuffers.h"
#include "warp/MapPixel.h"
#include "conversions/PlanarView.h"
#include "cpu/WiderRegisters.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <memory>
#include <vector>

namespace NSysApply {

// The value offset Y * iRowStep + X * iPlanes of the pixel (X, Y) a map entry
// names, or -1 for an illegal entry.
inline std::ptrdiff_t EntryOffset(double dMapX, double dMapY, int iCols, int iRows, std::ptrdiff_t iRowStep, int iPlanes)
{
    int iX, iY;
    if (!MapToPixel(dMapX, dMapY, iCols, iRows, iX, iY)) return -1;
    return iY * iRowStep + static_cast<std::ptrdiff_t>(iX) * iPlanes;
}

// EntryOffset for images whose offsets fit 32 bits, without branches so that
// a loop over a map can run unhindered: clamping in double, then truncating,
// is NearestIndex; a non-finite coordinate gives -1.
inline std::int32_t EntryOffset32(double dMapX, double dMapY, int iCols, int iRows, std::int32_t iRowStep, int iPlanes)
{
    const double dX = dMapX - 1.0, dY = dMapY - 1.0;
    const bool bLegal = dX - dX == 0.0 && dY - dY == 0.0;  // both finite
    double dRoundedX = dX + 0.5, dRoundedY = dY + 0.5;
    dRoundedX = dRoundedX < 0.0 ? 0.0 : dRoundedX;
    dRoundedY = dRoundedY < 0.0 ? 0.0 : dRoundedY;
    dRoundedX = dRoundedX >= iCols ? iCols - 1.0 : dRoundedX;
    dRoundedY = dRoundedY >= iRows ? iRows - 1.0 : dRoundedY;
    const std::int32_t iX = static_cast<std::int32_t>(bLegal ? dRoundedX : 0.0);
    const std::int32_t iY = static_cast<std::int32_t>(bLegal ? dRoundedY : 0.0);
    return bLegal ? iY * iRowStep + iX * iPlanes : -1;
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
    {
    }

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
            m_vecOffsets[static_cast<std::size_t>(y - iFirst) * iCols + x] = EntryOffset(dMapX, dMapY, iCols, iRows, m_iRowStep, m_iPlanes);
        });
    }

    const TMapReader& m_map;
    const std::ptrdiff_t m_iRowStep;
    const int m_iPlanes;
    const int m_iStripRows;
    int m_iFirst = -1;
    std::vector<std::ptrdiff_t> m_vecOffsets;
};

// pOffsets[i] = the offset X * iRows + Y of the pixel that map entry i names
// (pX[i], pY[i]), -1 for an illegal entry, for a column-major iRows x iCols
// map; returns the number of illegal entries.
std::size_t ResolveColumns(std::int32_t* pOffsets, const double* pX, const double* pY, std::size_t iEntries, int iRows, int iCols);
// Its plain x86-64 and (where built) AVX2 forms, which give the same offsets.
std::size_t ResolveColumnsPortable(std::int32_t* pOffsets, const double* pX, const double* pY, std::size_t iEntries, int iRows,
                                   int iCols);
#if QMV_HAVE_AVX2_CLONES
std::size_t ResolveColumnsAvx2(std::int32_t* pOffsets, const double* pX, const double* pY, std::size_t iEntries, int iRows,
                               int iCols);
#endif

// The offsets of every entry of a map, resolved once for the frame's two
// passes (the warp inside the forward blur and the scatter after the
// transposed blur). Offsets take 32 bits, which halves the memory traffic of
// both passes; an image whose offsets do not fit is refused (std::length_error).
// The buffer is kept for the next frame.
class CFrameMapOffsets {
public:
    using COffset = std::int32_t;

    // The map is read as the transposed image (row x holds column x of the
    // map, contiguous in the caller's array), and the offsets are X * H + Y,
    // into a plane held column by column (PlaneImages.h). RowOffsets(x) then
    // gives column x of the map.
    void ResolveColumnMajor(const CPlanarView& viewMap)
    {
        const int iRows = viewMap.iRows, iCols = viewMap.iCols;
        const std::size_t iEntries = viewMap.PlaneSize();
        CheckFits(static_cast<double>(iEntries));
        m_iCols = iRows;
        m_iRows = iCols;
        Reserve(iEntries);
        COffset* pOffsets = m_pOffsets.get();
        const double* pX = viewMap.Plane(0);
        const double* pY = viewMap.Plane(1);
        m_iIllegal = ResolveColumns(pOffsets, pX, pY, iEntries, iRows, iCols);
    }

    const COffset* RowOffsets(int y) const { return m_pOffsets.get() + static_cast<std::size_t>(y) * m_iCols; }

    // Rows and columns of the last map resolved (transposed after
    // ResolveColumnMajor).
    int Rows() const { return m_iRows; }
    int Cols() const { return m_iCols; }

    // After ResolveColumnMajor: lst = the map's illegal entries as (x, y), in
    // the order of a row-major visit.
    void IllegalEntriesColumnMajor(const CPlanarView& viewMap, CIllegalVectorList& lst) const
    {
        lst.clear();
        if (m_iIllegal == 0) return;
        const std::size_t iEntries = viewMap.PlaneSize();
        const COffset* pOffsets = m_pOffsets.get();
        for (std::size_t i = 0; i < iEntries; ++i) {
            if (pOffsets[i] < 0) {
                lst.push_back(CIllegalVector{static_cast<int>(i / viewMap.iRows), static_cast<int>(i % viewMap.iRows)});
            }
        }
        SortRowMajor(lst);
    }

    // Gives the buffer room for a map of iEntries entries ahead of time.
    void Reserve(std::size_t iEntries)
    {
        if (iEntries <= m_iCapacity) return;
        m_pOffsets.reset();
        m_pOffsets = std::unique_ptr<COffset, CFreeLarge>(static_cast<COffset*>(AllocateLarge(iEntries * sizeof(COffset))),
                                                          CFreeLarge{iEntries * sizeof(COffset)});
        m_iCapacity = iEntries;
    }

private:
    static void CheckFits(double dValues)
    {
        if (dValues > static_cast<double>(INT32_MAX)) throw std::length_error("the image is too large for 32-bit pixel offsets.");
    }

    int m_iRows = 0, m_iCols = 0;
    std::size_t m_iIllegal = 0;
    std::size_t m_iCapacity = 0;
    std::unique_ptr<COffset, CFreeLarge> m_pOffsets;
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

// pAcc[offset i] = dFactor * pTerm[i] + pAcc[offset i] for i = 0..iCount-1 in
// this order; illegal entries (offset -1) are skipped. iReadable >= iCount
// offsets may be read from pOffsets: the entries that follow (the next rows
// of a map) tell where to prefetch.
inline void ScatterAddScaled(double* pAcc, const double* pTerm, const std::int32_t* pOffsets, std::size_t iCount,
                             std::size_t iReadable, double dFactor)
{
    // The processor's own prefetching does not follow the offsets, so the
    // targets are asked for well ahead, once per group of entries: a motion
    // map names neighbouring pixels for neighbouring entries, and one request
    // then brings the targets of the whole group. (A request per entry costs
    // more than it saves.)
    constexpr std::size_t AHEAD = 1024, GROUP = 8;
    for (std::size_t i0 = 0; i0 < iCount; i0 += GROUP) {
        if (i0 + AHEAD < iReadable) {
            const std::int32_t iAhead = pOffsets[i0 + AHEAD];
            QMV_PREFETCH_FOR_WRITE(pAcc + (iAhead < 0 ? 0 : iAhead));
        }
        const std::size_t iEnd = std::min(iCount, i0 + GROUP);
        for (std::size_t i = i0; i < iEnd; ++i) {
            const std::int32_t iOffset = pOffsets[i];
            if (iOffset < 0) continue;
            pAcc[iOffset] = dFactor * pTerm[i] + pAcc[iOffset];
        }
    }
}

inline void GatherRowAnyPlanes(double* pOut, const double* pSrc, const std::ptrdiff_t* pOffsets, int iCols, int iPlanes)
{
    if (iPlanes == 1) GatherRow<1>(pOut, pSrc, pOffsets, iCols, 1);
    else if (iPlanes == 3) GatherRow<3>(pOut, pSrc, pOffsets, iCols, 3);
    else GatherRow<0>(pOut, pSrc, pOffsets, iCols, iPlanes);
}

inline void ScatterRowAnyPlanes(double* pDst, const double* pIn, const std::ptrdiff_t* pOffsets, int iCols, int iPlanes,
                                int iY, CIllegalVectorList& lstIllegal)
{
    if (iPlanes == 1) ScatterRow<1>(pDst, pIn, pOffsets, iCols, 1, iY, lstIllegal);
    else if (iPlanes == 3) ScatterRow<3>(pDst, pIn, pOffsets, iCols, 3, iY, lstIllegal);
    else ScatterRow<0>(pDst, pIn, pOffsets, iCols, iPlanes, iY, lstIllegal);
}

}  // namespace NSysApply

#endif
