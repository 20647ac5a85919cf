// The scatter straight from the host's column-major arrays into the output
// array, without full-size working images. Rows are taken in bands: the
// targets of a band are found once from runs of each map column, and each
// plane of the band is copied into a small row-major buffer and scattered
// from there in visiting order. When a band's targets lie in a few rows, as
// motion maps give them, those output rows are moved into a row-major window
// for the band, so that the additions do not stride through the output. Every
// target's running sum lives in one place at a time, so each sum is formed in
// the order ScatterNearest forms it on library images.
#include "ScatterColumnMajor.h"

#include "ColumnMajorRows.h"
#include "ScatterArrays.h"

#include "QELLib/NException.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>
#include <vector>

using NColumnMajorRows::CPlaneShape;
using NColumnMajorRows::CRowSpan;

namespace {

// Rows per band: from one to eight cache lines of each map and source
// column; within that range as many as keep one plane of the band within
// kBandBytes, so that the band's buffers stay near the processor's
// second-level cache for wide images too.
constexpr qelMInt kMaxBandRows = 64;
constexpr qelMInt kMinBandRows = 8;
constexpr std::ptrdiff_t kBandBytes = std::ptrdiff_t(256) << 10;
// A band's targets go through a window when they lie within this many
// bands' worth of rows.
constexpr qelMInt kWindowBands = 2;
// How many additions ahead a target is prefetched: random targets miss the
// cache, often down to memory, and the band's targets are known before the
// additions start.
constexpr std::ptrdiff_t kAhead = 64;
// Offset of a source pixel whose map vector is not finite.
constexpr std::ptrdiff_t kNoTarget = -1;

// Rows per band for images of iWidth columns, a multiple of kMinBandRows.
qelMInt BandRows(qelMInt iWidth)
{
    const std::ptrdiff_t iRows = kBandBytes / (static_cast<std::ptrdiff_t>(iWidth) * 8);
    return static_cast<qelMInt>(
        std::max<std::ptrdiff_t>(kMinBandRows, std::min<std::ptrdiff_t>(kMaxBandRows, iRows)) /
        kMinBandRows * kMinBandRows);
}

// Target pixel of a source pixel; x < 0 for a non-finite map vector.
struct CTarget {
    qelMInt x;
    qelMInt y;
};

// The rows that a band's legal targets name, and whether it has illegal ones.
struct CTargetRows {
    qelMInt yMin;
    qelMInt yMax;
    bool bIllegal;
};

// Where a band's additions go: element (x, y) of the output plane is at
// (y - yFirst) * iRowStride + x * iColumnStride.
struct CDestination {
    qelMInt yFirst;
    std::ptrdiff_t iRowStride;
    std::ptrdiff_t iColumnStride;
};

// Rows of the output planes that may hold sums already; the others still
// hold the host's zeros, so a window need not read them.
class CTouchedRows {
public:
    explicit CTouchedRows(qelMInt iHeight) : m_vTouched(static_cast<size_t>(iHeight), 0) {}

    void Mark(qelMInt y) { m_vTouched[static_cast<size_t>(y)] = 1; }

    // The smallest span within span that holds every touched row (empty,
    // iRows = 0, when none is touched).
    CRowSpan Within(const CRowSpan& span) const
    {
        qelMInt yFirst = span.y0, yEnd = span.y0 + span.iRows;
        while (yFirst < yEnd && !m_vTouched[static_cast<size_t>(yFirst)]) {
            ++yFirst;
        }
        while (yEnd > yFirst && !m_vTouched[static_cast<size_t>(yEnd - 1)]) {
            --yEnd;
        }
        return CRowSpan{yFirst, yEnd - yFirst};
    }

private:
    std::vector<char> m_vTouched;
};

// Buffers of one call, sized for a full band.
struct CBandBuffers {
    CBandBuffers(qelMInt iWidth, qelMInt iBandRows, qelMInt iWindowRows)
        : iPitch(NColumnMajorRows::BufferPitch(iWidth)),
          iTargetPitch(NColumnMajorRows::BufferPitch(iBandRows)),
          vTargets(static_cast<size_t>(iWidth) * iTargetPitch),
          vOffsets(static_cast<size_t>(iBandRows) * iWidth + kAhead, kNoTarget),
          vBand(static_cast<size_t>(iBandRows) * iPitch),
          vWindow(static_cast<size_t>(iWindowRows) * iPitch)
    {
    }
    std::ptrdiff_t iPitch;
    std::ptrdiff_t iTargetPitch;
    std::vector<CTarget> vTargets;       // column-major, iTargetPitch per column
    std::vector<std::ptrdiff_t> vOffsets; // visiting order, kAhead spare entries
    std::vector<double> vBand;           // one plane of the band's source rows
    std::vector<double> vWindow;         // one plane of the window's output rows
};

// Nearest index within [0, dLast] of the 0-based coordinate v: the value of
// NearestClamped(v, dLast + 1), computed with min/max instead of branches,
// which random maps would mispredict. Clamping v + 0.5 to [0, dLast] before
// truncating equals flooring and clamping after; a non-finite v gives some
// index in range (the caller drops it), never an out-of-range conversion:
// std::max(0.0, NaN) is 0.0.
qelMInt NearestInRange(double v, double dLast)
{
    return static_cast<qelMInt>(std::min(dLast, std::max(0.0, v + 0.5)));
}

// Targets of the span's rows into pTargets, column after column (column x
// at x * iPitch), from the 1-based map with 1.0 subtracted first, then
// rounded and clamped.
CTargetRows FindBandTargets(const double* pMap, const CPlaneShape& shape, const CRowSpan& span,
                            std::ptrdiff_t iPitch, CTarget* pTargets)
{
    qelMInt yMin = shape.iHeight, yMax = -1;
    bool bIllegal = false;
    const double dLastX = shape.iWidth - 1.0, dLastY = shape.iHeight - 1.0;
    const double* pRowPlane = pMap + shape.Elements();
    for (qelMInt x = 0; x < shape.iWidth; ++x) {
        NColumnMajorRows::PrefetchColumnAhead(pMap, shape, span, x, false);
        NColumnMajorRows::PrefetchColumnAhead(pRowPlane, shape, span, x, false);
        const std::ptrdiff_t iColumn = static_cast<std::ptrdiff_t>(x) * shape.iHeight + span.y0;
        const double* pX = pMap + iColumn;
        const double* pY = pRowPlane + iColumn;
        CTarget* pTarget = pTargets + x * iPitch;
        for (qelMInt i = 0; i < span.iRows; ++i) {
            const double vx = pX[i] - 1.0;
            const double vy = pY[i] - 1.0;
            const bool bLegal = std::isfinite(vx) && std::isfinite(vy);
            const qelMInt ty = NearestInRange(vy, dLastY);
            pTarget[i] = CTarget{bLegal ? NearestInRange(vx, dLastX) : -1, ty};
            yMin = std::min(yMin, bLegal ? ty : shape.iHeight);
            yMax = std::max(yMax, bLegal ? ty : -1);
            bIllegal |= !bLegal;
        }
    }
    return CTargetRows{yMin, yMax, bIllegal};
}

// The span's non-finite vectors, in visiting order.
void CollectIllegal(const CTarget* pTargets, std::ptrdiff_t iPitch, qelMInt iWidth,
                    const CRowSpan& span, std::vector<CIllegalVector>& vIllegal)
{
    for (qelMInt i = 0; i < span.iRows; ++i) {
        for (qelMInt x = 0; x < iWidth; ++x) {
            if (pTargets[x * iPitch + i].x < 0) {
                vIllegal.push_back(CIllegalVector{x, span.y0 + i});
            }
        }
    }
}

// The targets as offsets into the destination, in visiting order; their
// rows are marked as touched.
void ResolveOffsets(const CTarget* pTargets, std::ptrdiff_t iPitch, qelMInt iWidth, qelMInt iRows,
                    const CDestination& dest, std::ptrdiff_t* pOffsets, CTouchedRows& touched)
{
    for (qelMInt i = 0; i < iRows; ++i) {
        const CTarget* pRow = pTargets + i;
        for (qelMInt x = 0; x < iWidth; ++x, ++pOffsets) {
            const CTarget t = pRow[x * iPitch];
            if (t.x < 0) {
                *pOffsets = kNoTarget;
                continue;
            }
            *pOffsets = (t.y - dest.yFirst) * dest.iRowStride + t.x * dest.iColumnStride;
            touched.Mark(t.y);
        }
    }
}

// One plane's window rows from the output: the touched ones copied, the
// others zero as in the output.
void LoadWindow(const double* pOutPlane, const CPlaneShape& shape, const CRowSpan& window,
                const CRowSpan& touched, std::ptrdiff_t iPitch, double* pWindow)
{
    const qelMInt iBefore = touched.iRows > 0 ? touched.y0 - window.y0 : window.iRows;
    const qelMInt iAfter = touched.iRows > 0 ? window.iRows - iBefore - touched.iRows : 0;
    std::fill_n(pWindow, iBefore * iPitch, 0.0);
    if (touched.iRows > 0) {
        NColumnMajorRows::CopyRowsOut(pOutPlane, shape, touched, iPitch, pWindow + iBefore * iPitch);
    }
    std::fill_n(pWindow + (window.iRows - iAfter) * iPitch, iAfter * iPitch, 0.0);
}

void PrefetchForWrite(const double* p)
{
#if defined(__GNUC__)
    __builtin_prefetch(p, 1);
#else
    static_cast<void>(p);
#endif
}

// Adds the band's rows of one plane (row-major in pBand) into pDst at the
// resolved offsets, in visiting order. pOffsets holds kAhead entries beyond
// the band, so the prefetch needs no bound test.
void AddBandPlane(const double* pBand, std::ptrdiff_t iPitch, const std::ptrdiff_t* pOffsets,
                  qelMInt iWidth, qelMInt iRows, double* pDst)
{
    for (std::ptrdiff_t j = 0; j < kAhead; ++j) {
        PrefetchForWrite(pDst + std::max(pOffsets[j], std::ptrdiff_t(0)));
    }
    for (qelMInt i = 0; i < iRows; ++i) {
        const double* pSrc = pBand + i * iPitch;
        for (qelMInt x = 0; x < iWidth; ++x, ++pOffsets) {
            PrefetchForWrite(pDst + std::max(pOffsets[kAhead], std::ptrdiff_t(0)));
            const std::ptrdiff_t iTarget = *pOffsets;
            if (iTarget != kNoTarget) {
                pDst[iTarget] = pSrc[x] + pDst[iTarget];
            }
        }
    }
}

// Scatters every plane of the band whose offsets are resolved for dest;
// with a window, rows.yMin .. rows.yMax of each output plane pass through
// it, of which only those in touchedRows are read from the output.
void ScatterBand(const double* pSrc, double* pOut, const CPlaneShape& shape, const CRowSpan& span,
                 qelMInt iChannels, const CRowSpan* pWindow, const CRowSpan& touchedRows,
                 CBandBuffers& buf)
{
    for (qelMInt k = 0; k < iChannels; ++k) {
        const double* pSrcPlane = pSrc + k * shape.Elements();
        double* pOutPlane = pOut + k * shape.Elements();
        NColumnMajorRows::CopyRowsOut(pSrcPlane, shape, span, buf.iPitch, buf.vBand.data());
        if (!pWindow) {
            AddBandPlane(buf.vBand.data(), buf.iPitch, buf.vOffsets.data(), shape.iWidth,
                         span.iRows, pOutPlane);
            continue;
        }
        LoadWindow(pOutPlane, shape, *pWindow, touchedRows, buf.iPitch, buf.vWindow.data());
        AddBandPlane(buf.vBand.data(), buf.iPitch, buf.vOffsets.data(), shape.iWidth, span.iRows,
                     buf.vWindow.data());
        NColumnMajorRows::CopyRowsIn(buf.vWindow.data(), buf.iPitch, shape, *pWindow, pOutPlane);
    }
}

} // namespace

void ScatterNearestColumnMajor(const double* pSrc, const double* pMap, double* pOut,
                               qelMInt iWidth, qelMInt iHeight, qelMInt iChannels,
                               std::vector<CIllegalVector>& vIllegal)
{
    const CPlaneShape shape{iWidth, iHeight};
    const qelMInt iBandRows = std::min(BandRows(iWidth), iHeight);
    const qelMInt iWindowRows = std::min(kWindowBands * iBandRows, iHeight);
    CBandBuffers buf(iWidth, iBandRows, iWindowRows);
    CTouchedRows touched(iHeight);
    for (qelMInt y0 = 0; y0 < iHeight; y0 += iBandRows) {
        const CRowSpan span{y0, std::min(iBandRows, iHeight - y0)};
        const CTargetRows rows = FindBandTargets(pMap, shape, span, buf.iTargetPitch,
                                                   buf.vTargets.data());
        if (rows.bIllegal) {
            CollectIllegal(buf.vTargets.data(), buf.iTargetPitch, iWidth, span, vIllegal);
        }
        if (rows.yMax < rows.yMin) {
            continue; // no legal target in the band
        }
        const CRowSpan window{rows.yMin, rows.yMax - rows.yMin + 1};
        const bool bWindow = window.iRows <= iWindowRows;
        const CRowSpan touchedRows = touched.Within(window);
        const CDestination dest = bWindow ? CDestination{window.y0, buf.iPitch, 1}
                                          : CDestination{0, 1, iHeight};
        ResolveOffsets(buf.vTargets.data(), buf.iTargetPitch, iWidth, span.iRows, dest,
                       buf.vOffsets.data(), touched);
        ScatterBand(pSrc, pOut, shape, span, iChannels, bWindow ? &window : nullptr, touchedRows,
                    buf);
    }
}

void ScatterArraysInPlace(const mxArray* pmxImg, const mxArray* pmxMap, mxArray* pmxWarped,
                          std::vector<CIllegalVector>& vIllegal)
{
    const mwSize* pDims = mxGetDimensions(pmxImg);
    const qelMInt iHeight = static_cast<qelMInt>(pDims[0]);
    const qelMInt iWidth = static_cast<qelMInt>(pDims[1]);
    const qelMInt iChannels =
        mxGetNumberOfDimensions(pmxImg) == 3 ? static_cast<qelMInt>(pDims[2]) : 1;
    if (mxGetNumberOfElements(pmxWarped) != mxGetNumberOfElements(pmxImg)) {
        throw NException::LogicError("Error: output and image sizes differ!");
    }
    try {
        ScatterNearestColumnMajor(mxGetPr(pmxImg), mxGetPr(pmxMap), mxGetPr(pmxWarped), iWidth,
                                  iHeight, iChannels, vIllegal);
    } catch (const std::bad_alloc&) {
        throw NException::BadAlloc("Error: qmv_scatter_nearest failed, out of memory!");
    }
}
