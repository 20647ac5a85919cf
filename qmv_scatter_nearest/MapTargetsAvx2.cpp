// Target elements with AVX2 (see the header). Each step takes four rows of
// four map columns: the coordinates are converted in vector registers, and
// the four columns' targets are transposed into four rows of the row-major
// target array. Rows and columns beyond the last whole block go one element
// at a time by the shared rule.
#include "MapTargetsAvx2.h"
#include "mexglue/ProcessorFeatures.h"

#include "MapTargetRule.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define QMV_SCATTER_AVX2 1
#include <immintrin.h>
#else
#define QMV_SCATTER_AVX2 0
#endif

namespace NContributionLists {

#if QMV_SCATTER_AVX2

namespace {

#define QMV_TARGET_AVX2 __attribute__((target("avx2")))

struct CPlaneConstants {
    __m256d lastX;
    __m256d lastY;
    __m128i height;
};

// A column's coordinate minus 1.0, plus 0.5, clamped to [0, last]: the
// operations of NearestInRange in its order. max(d, 0) and min(., last)
// return their second operand when the comparison fails, as std::max(0.0, d)
// and std::min(last, .) do, so a NaN becomes 0.
QMV_TARGET_AVX2 inline __m128i FourIndices(__m256d v, __m256d last)
{
    const __m256d d = _mm256_add_pd(v, _mm256_set1_pd(0.5));
    return _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(d, _mm256_setzero_pd()), last));
}

QMV_TARGET_AVX2 inline __m256d IsFinite(__m256d v)
{
    const __m256d abs = _mm256_andnot_pd(_mm256_set1_pd(-0.0), v);
    return _mm256_cmp_pd(abs, _mm256_set1_pd(HUGE_VAL), _CMP_LT_OQ);
}

// Targets of four consecutive rows of one column, one per 32-bit lane.
QMV_TARGET_AVX2 inline __m128i FourTargets(const double* pX, const double* pY, const CPlaneConstants& c)
{
    const __m256d vx = _mm256_sub_pd(_mm256_loadu_pd(pX), _mm256_set1_pd(1.0));
    const __m256d vy = _mm256_sub_pd(_mm256_loadu_pd(pY), _mm256_set1_pd(1.0));
    const __m128i t = _mm_add_epi32(FourIndices(vy, c.lastY), _mm_mullo_epi32(FourIndices(vx, c.lastX), c.height));
    // The legality of each 64-bit lane in the low 128 bits as 32-bit lanes.
    const __m256i legal = _mm256_castpd_si256(_mm256_and_pd(IsFinite(vx), IsFinite(vy)));
    const __m128i legal32 =
        _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(legal, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7)));
    return _mm_or_si128(t, _mm_xor_si128(legal32, _mm_set1_epi32(-1)));
}

// Counts the block's 16 targets; returns how many are legal.
inline std::ptrdiff_t CountTargets(const std::uint32_t* pBlock, std::uint32_t* pCounts)
{
    std::ptrdiff_t iLegal = 0;
    for (int i = 0; i < 16; ++i) {
        if (pBlock[i] != kNoTarget<std::uint32_t>) {
            ++pCounts[pBlock[i]];
            ++iLegal;
        }
    }
    return iLegal;
}

// Rows y0 .. y0 + 3 of columns x0 .. x0 + 3.
QMV_TARGET_AVX2 std::ptrdiff_t Block(const double* pMap, std::ptrdiff_t iPlane, qelMInt iHeight, qelMInt x0, qelMInt y0,
                                     const CPlaneConstants& c, std::uint32_t* pTargets, std::ptrdiff_t iPitch,
                                     std::uint32_t* pCounts)
{
    __m128 aColumns[4];
    for (int i = 0; i < 4; ++i) {
        const double* pX = pMap + std::ptrdiff_t(x0 + i) * iHeight + y0;
        aColumns[i] = _mm_castsi128_ps(FourTargets(pX, pX + iPlane, c));
    }
    _MM_TRANSPOSE4_PS(aColumns[0], aColumns[1], aColumns[2], aColumns[3]);
    alignas(16) std::uint32_t aBlock[16];
    for (int i = 0; i < 4; ++i) {
        _mm_storeu_ps(reinterpret_cast<float*>(pTargets + (y0 + i) * iPitch + x0), aColumns[i]);
        _mm_store_ps(reinterpret_cast<float*>(aBlock + 4 * i), aColumns[i]);
    }
    return CountTargets(aBlock, pCounts);
}

// Rows y0 .. iHeight - 1 of columns x0 .. x1 - 1, one element at a time.
std::ptrdiff_t Remainder(const double* pMap, qelMInt iWidth, qelMInt iHeight, qelMInt x0, qelMInt x1, qelMInt y0,
                         std::uint32_t* pTargets, std::ptrdiff_t iPitch, std::uint32_t* pCounts)
{
    const std::ptrdiff_t iPlane = std::ptrdiff_t(iWidth) * iHeight;
    std::ptrdiff_t iLegal = 0;
    for (qelMInt x = x0; x < x1; ++x) {
        const double* pX = pMap + std::ptrdiff_t(x) * iHeight;
        for (qelMInt y = y0; y < iHeight; ++y) {
            const std::uint32_t t =
                TargetOf<std::uint32_t>(pX[y], pX[y + iPlane], iWidth - 1.0, iHeight - 1.0, iHeight);
            pTargets[y * iPitch + x] = t;
            if (t != kNoTarget<std::uint32_t>) {
                ++pCounts[t];
                ++iLegal;
            }
        }
    }
    return iLegal;
}

QMV_TARGET_AVX2 std::ptrdiff_t Blocks(const double* pMap, qelMInt iWidth, qelMInt iHeight, std::uint32_t* pTargets,
                                      std::ptrdiff_t iPitch, std::uint32_t* pCounts)
{
    const std::ptrdiff_t iPlane = std::ptrdiff_t(iWidth) * iHeight;
    const CPlaneConstants c{_mm256_set1_pd(iWidth - 1.0), _mm256_set1_pd(iHeight - 1.0), _mm_set1_epi32(iHeight)};
    const qelMInt iBlockWidth = iWidth / 4 * 4, iBlockHeight = iHeight / 4 * 4;
    std::ptrdiff_t iLegal = 0;
    for (qelMInt x0 = 0; x0 < iBlockWidth; x0 += 4) {
        for (qelMInt y0 = 0; y0 < iBlockHeight; y0 += 4) {
            iLegal += Block(pMap, iPlane, iHeight, x0, y0, c, pTargets, iPitch, pCounts);
        }
        iLegal += Remainder(pMap, iWidth, iHeight, x0, x0 + 4, iBlockHeight, pTargets, iPitch, pCounts);
    }
    return iLegal + Remainder(pMap, iWidth, iHeight, iBlockWidth, iWidth, 0, pTargets, iPitch, pCounts);
}

}  // namespace

bool HasAvx2()
{
    static const bool bAvx2 = NMexGlue::CpuHasAvx2();
    return bAvx2;
}

std::ptrdiff_t FindTargetsAvx2(const double* pMap, qelMInt iWidth, qelMInt iHeight, std::uint32_t* pTargets,
                               std::ptrdiff_t iPitch, std::uint32_t* pCounts)
{
    return Blocks(pMap, iWidth, iHeight, pTargets, iPitch, pCounts);
}

#else

bool HasAvx2() { return false; }

std::ptrdiff_t FindTargetsAvx2(const double* pMap, qelMInt iWidth, qelMInt iHeight, std::uint32_t* pTargets,
                               std::ptrdiff_t iPitch, std::uint32_t* pCounts)
{
    return FindTargetsPortable(pMap, iWidth, iHeight, pTargets, iPitch, pCounts);
}

#endif

}  // namespace NContributionLists
