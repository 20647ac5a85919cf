// Copies between rows of one column-major plane and a small row-major buffer.
//
// Host arrays are column-major, while the scatter visits pixels row by row.
// Reading a row straight from a column-major plane strides by the height;
// when the height is a multiple of 512 every element of a row falls into the
// same cache set, so rows are moved in bands: each column gives a run of
// consecutive elements, and the buffer's rows are padded so that a column of
// the buffer spreads over the cache sets.
#ifndef QMV_SCATTER_NEAREST_COLUMNMAJORROWS_H
#define QMV_SCATTER_NEAREST_COLUMNMAJORROWS_H

#include "QELLib/NImage.h"

#include <algorithm>
#include <cstddef>

namespace NColumnMajorRows {

// A plane of iHeight rows and iWidth columns, column-major.
struct CPlaneShape {
    qelMInt iWidth;
    qelMInt iHeight;
    std::ptrdiff_t Elements() const { return static_cast<std::ptrdiff_t>(iWidth) * iHeight; }
};

// Rows y0 .. y0 + iRows - 1.
struct CRowSpan {
    qelMInt y0;
    qelMInt iRows;
};

// Elements per buffer row for iWidth columns: whole cache lines plus one.
std::ptrdiff_t BufferPitch(qelMInt iWidth);

// The span's rows of pPlane into pBuffer, row i at pBuffer + i * iPitch.
void CopyRowsOut(const double* pPlane, const CPlaneShape& shape, const CRowSpan& span,
                 std::ptrdiff_t iPitch, double* pBuffer);

// The exact inverse: the buffer's rows back into the span's rows of pPlane.
void CopyRowsIn(const double* pBuffer, std::ptrdiff_t iPitch, const CPlaneShape& shape,
                const CRowSpan& span, double* pPlane);

// Columns read ahead: enough misses in flight to cover the memory latency.
constexpr qelMInt kPrefetchColumns = 8;

// Asks for the elements of the span in column x + kPrefetchColumns, if any,
// to be read or (bForWrite) written: each column lies on another memory
// page, where the hardware's own prefetching does not follow.
inline void PrefetchColumnAhead(const double* pPlane, const CPlaneShape& shape,
                                const CRowSpan& span, qelMInt x, bool bForWrite)
{
#if defined(__GNUC__)
    if (x + kPrefetchColumns >= shape.iWidth) {
        return;
    }
    const double* pCol =
        pPlane + static_cast<std::ptrdiff_t>(x + kPrefetchColumns) * shape.iHeight + span.y0;
    // One address per cache line of the run, and its last element, which
    // lies on one more line when the run does not start on a line.
    for (qelMInt i = 0; i < span.iRows + 8; i += 8) {
        const double* p = pCol + std::min(i, span.iRows - 1);
        if (bForWrite) {
            __builtin_prefetch(p, 1);
        } else {
            __builtin_prefetch(p, 0);
        }
    }
#else
    static_cast<void>(pPlane);
    static_cast<void>(shape);
    static_cast<void>(span);
    static_cast<void>(x);
    static_cast<void>(bForWrite);
#endif
}

} // namespace NColumnMajorRows

#endif // QMV_SCATTER_NEAREST_COLUMNMAJORROWS_H
