// Resolution of a column-major map into 32-bit offsets (see MapStrips.h),
// compiled once more for AVX2 where the processor has it: the conversions and
// comparisons are exact, so both give the same offsets.
#include "MapStrips.h"

#include "WiderRegisters.h"

namespace NSysApply {

namespace {

QMV_ALWAYS_INLINE std::size_t ResolveColumnsBody(std::int32_t* pOffsets, const double* pX, const double* pY, std::size_t iEntries,
                                                 int iRows, int iCols)
{
    std::size_t iIllegal = 0;
    // The axes' roles exchanged: Y indexes within a column, X counts columns.
    for (std::size_t i = 0; i < iEntries; ++i) {
        const std::int32_t iOffset = EntryOffset32(pY[i], pX[i], iRows, iCols, iRows, 1);
        pOffsets[i] = iOffset;
        iIllegal += iOffset < 0;
    }
    return iIllegal;
}

}  // namespace

std::size_t ResolveColumnsPortable(std::int32_t* pOffsets, const double* pX, const double* pY, std::size_t iEntries, int iRows,
                                   int iCols)
{
    return ResolveColumnsBody(pOffsets, pX, pY, iEntries, iRows, iCols);
}

#if QMV_HAVE_AVX2_CLONES
QMV_TARGET_AVX2 std::size_t ResolveColumnsAvx2(std::int32_t* pOffsets, const double* pX, const double* pY, std::size_t iEntries,
                                               int iRows, int iCols)
{
    return ResolveColumnsBody(pOffsets, pX, pY, iEntries, iRows, iCols);
}
#endif

std::size_t ResolveColumns(std::int32_t* pOffsets, const double* pX, const double* pY, std::size_t iEntries, int iRows, int iCols)
{
#if QMV_HAVE_AVX2_CLONES
    static const bool bAvx2 = CpuHasAvx2();
    if (bAvx2) return ResolveColumnsAvx2(pOffsets, pX, pY, iEntries, iRows, iCols);
#endif
    return ResolveColumnsPortable(pOffsets, pX, pY, iEntries, iRows, iCols);
}

}  // namespace NSysApply
