// Band copies between column-major planes and row-major buffers (see the header).
#include "ColumnMajorRows.h"

namespace NColumnMajorRows {

namespace {

constexpr std::ptrdiff_t kLineDoubles = 8;

const double* ColumnStart(const double* pPlane, const CPlaneShape& shape, const CRowSpan& span,
                          qelMInt x)
{
    return pPlane + static_cast<std::ptrdiff_t>(x) * shape.iHeight + span.y0;
}

} // namespace

std::ptrdiff_t BufferPitch(qelMInt iWidth)
{
    return (static_cast<std::ptrdiff_t>(iWidth) + kLineDoubles - 1) / kLineDoubles * kLineDoubles +
           kLineDoubles;
}

void CopyRowsOut(const double* pPlane, const CPlaneShape& shape, const CRowSpan& span,
                 std::ptrdiff_t iPitch, double* pBuffer)
{
    for (qelMInt x = 0; x < shape.iWidth; ++x) {
        PrefetchColumnAhead(pPlane, shape, span, x, false);
        const double* pCol = ColumnStart(pPlane, shape, span, x);
        double* pDst = pBuffer + x;
        for (qelMInt i = 0; i < span.iRows; ++i, pDst += iPitch) {
            *pDst = pCol[i];
        }
    }
}

void CopyRowsIn(const double* pBuffer, std::ptrdiff_t iPitch, const CPlaneShape& shape,
                const CRowSpan& span, double* pPlane)
{
    for (qelMInt x = 0; x < shape.iWidth; ++x) {
        PrefetchColumnAhead(pPlane, shape, span, x, true);
        double* pCol = pPlane + static_cast<std::ptrdiff_t>(x) * shape.iHeight + span.y0;
        const double* pSrc = pBuffer + x;
        for (qelMInt i = 0; i < span.iRows; ++i, pSrc += iPitch) {
            pCol[i] = *pSrc;
        }
    }
}

} // namespace NColumnMajorRows
