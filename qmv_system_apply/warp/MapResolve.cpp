// Resolution of a column-major map into 32-bit offsets (see MapOffsets.h),
// with an AVX2 form, four entries per step, where the processor has it: the
// conversions and comparisons are exact, so both give the same offsets.
#include "warp/MapOffsets.h"

#include "cpu/WiderRegisters.h"

#include <cmath>

#if QMV_HAVE_AVX2_CLONES
#include <immintrin.h>
#endif

namespace NSysApply {

namespace {

QMV_ALWAYS_INLINE std::size_t ResolveColumnsBody(std::int32_t* pOffsets, const double* pX, const double* pY,
                                                 std::size_t iEntries, int iRows, int iCols)
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

std::size_t ResolveColumnsPortable(std::int32_t* pOffsets, const double* pX, const double* pY, std::size_t iEntries,
                                   int iRows, int iCols)
{
    return ResolveColumnsBody(pOffsets, pX, pY, iEntries, iRows, iCols);
}

#if QMV_HAVE_AVX2_CLONES
namespace {

// EntryOffset32's index along one axis for four coordinates: minus 1.0, plus
// 0.5, clamped to [0, last] and truncated. max and min return their second
// operand when the comparison fails, so a NaN becomes 0; its entry is illegal
// anyway. A coordinate in (last, last + 1) truncates to last, as the scalar
// rule's clamp to last gives.
QMV_TARGET_AVX2 inline __m128i FourIndices(__m256d vCoordinate, __m256d vLast)
{
    const __m256d vRounded = _mm256_add_pd(_mm256_sub_pd(vCoordinate, _mm256_set1_pd(1.0)), _mm256_set1_pd(0.5));
    return _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(vRounded, _mm256_setzero_pd()), vLast));
}

// All ones in the 32-bit lanes whose two coordinates are finite.
QMV_TARGET_AVX2 inline __m128i FourLegal(__m256d vX, __m256d vY)
{
    const __m256d vAbsMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    const __m256d vInf = _mm256_set1_pd(HUGE_VAL);
    const __m256d vFinite = _mm256_and_pd(_mm256_cmp_pd(_mm256_and_pd(vX, vAbsMask), vInf, _CMP_LT_OQ),
                                          _mm256_cmp_pd(_mm256_and_pd(vY, vAbsMask), vInf, _CMP_LT_OQ));
    const __m256i vPacked =
        _mm256_permutevar8x32_epi32(_mm256_castpd_si256(vFinite), _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
    return _mm256_castsi256_si128(vPacked);
}

}  // namespace

// Four entries per step in vector registers; the last few by the scalar rule.
// The coordinates differ from the map's values by exact steps (minus 1.0, plus
// 0.5 are rounded once each, as in EntryOffset32), so both forms agree.
QMV_TARGET_AVX2 std::size_t ResolveColumnsAvx2(std::int32_t* pOffsets, const double* pX, const double* pY,
                                               std::size_t iEntries, int iRows, int iCols)
{
    const __m256d vLastRow = _mm256_set1_pd(iRows - 1.0), vLastCol = _mm256_set1_pd(iCols - 1.0);
    const __m128i vRows = _mm_set1_epi32(iRows);
    std::size_t iIllegal = 0, i = 0;
    for (; i + 4 <= iEntries; i += 4) {
        const __m256d vX = _mm256_loadu_pd(pX + i), vY = _mm256_loadu_pd(pY + i);
        const __m128i vOffset =
            _mm_add_epi32(_mm_mullo_epi32(FourIndices(vX, vLastCol), vRows), FourIndices(vY, vLastRow));
        const __m128i vLegal = FourLegal(vX, vY);
        // Illegal lanes become -1.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOffsets + i),
                         _mm_or_si128(vOffset, _mm_andnot_si128(vLegal, _mm_set1_epi32(-1))));
        iIllegal += static_cast<std::size_t>(
            4 - __builtin_popcount(static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(vLegal)))));
    }
    return iIllegal + ResolveColumnsBody(pOffsets + i, pX + i, pY + i, iEntries - i, iRows, iCols);
}
#endif

std::size_t ResolveColumns(std::int32_t* pOffsets, const double* pX, const double* pY, std::size_t iEntries, int iRows,
                           int iCols)
{
#if QMV_HAVE_AVX2_CLONES
    static const bool bAvx2 = CpuHasAvx2();
    if (bAvx2) return ResolveColumnsAvx2(pOffsets, pX, pY, iEntries, iRows, iCols);
#endif
    return ResolveColumnsPortable(pOffsets, pX, pY, iEntries, iRows, iCols);
}

}  // namespace NSysApply
