// Grey levels of a column-major colour array: each array column is converted
// with contiguous reads into a row of the transposed frame, and one blocked
// transpose then gives the row-major frame. On x86-64 eight pixels at a time
// go through SSE2 with the same operations in the same order as the scalar
// rule (clamp, scale, add one half, truncate; float products summed left to
// right, capped at 255, truncated), so the bytes are identical.
#include "GreyFrame.h"

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Image/Img_Convert.h"

namespace {

void GreyColumnScalar(const double* pR, const double* pG, const double* pB, unsigned char* pDst, int iBegin, int iEnd)
{
    for (int y = iBegin; y < iEnd; ++y)
        pDst[y] = GrayLevel(ComponentByte(pR[y]), ComponentByte(pG[y]), ComponentByte(pB[y]));
}

#if defined(__SSE2__)

// Bytes of two components as the low two int32 lanes. MAXPD returns its
// second operand when the first is NaN, so NaN becomes 0 as in ComponentByte.
inline __m128i ComponentBytes2(const double* p)
{
    __m128d v = _mm_max_pd(_mm_loadu_pd(p), _mm_setzero_pd());
    v = _mm_min_pd(v, _mm_set1_pd(1.0));
    v = _mm_add_pd(_mm_mul_pd(v, _mm_set1_pd(255.0)), _mm_set1_pd(0.5));
    return _mm_cvttpd_epi32(v);
}

// Bytes of four components as four float lanes (exact: they are 0..255).
inline __m128 ComponentBytes4(const double* p)
{
    return _mm_cvtepi32_ps(_mm_unpacklo_epi64(ComponentBytes2(p), ComponentBytes2(p + 2)));
}

// Grey levels of four pixels as four int32 lanes.
inline __m128i GreyLevels4(const double* pR, const double* pG, const double* pB)
{
    __m128 g = _mm_mul_ps(ComponentBytes4(pR), _mm_set1_ps(0.299f));
    g = _mm_add_ps(g, _mm_mul_ps(ComponentBytes4(pG), _mm_set1_ps(0.587f)));
    g = _mm_add_ps(g, _mm_mul_ps(ComponentBytes4(pB), _mm_set1_ps(0.114f)));
    g = _mm_min_ps(g, _mm_set1_ps(255.0f));
    return _mm_cvttps_epi32(g);
}

void GreyColumn(const double* pR, const double* pG, const double* pB, unsigned char* pDst, int iHeight)
{
    int y = 0;
    for (; y + 8 <= iHeight; y += 8) {
        const __m128i iLow = GreyLevels4(pR + y, pG + y, pB + y);
        const __m128i iHigh = GreyLevels4(pR + y + 4, pG + y + 4, pB + y + 4);
        const __m128i iWords = _mm_packs_epi32(iLow, iHigh);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pDst + y), _mm_packus_epi16(iWords, iWords));
    }
    GreyColumnScalar(pR, pG, pB, pDst, y, iHeight);
}

#else

void GreyColumn(const double* pR, const double* pG, const double* pB, unsigned char* pDst, int iHeight)
{
    GreyColumnScalar(pR, pG, pB, pDst, 0, iHeight);
}

#endif

}  // namespace

void ColourArrayToGrey(const double* pPlanes, int iHeight, int iWidth, cv::Mat& matScratch, cv::Mat& matGrey)
{
    const std::ptrdiff_t iPlane = static_cast<std::ptrdiff_t>(iHeight) * iWidth;
    matScratch.create(iWidth, iHeight, CV_8UC1);
    matGrey.create(iHeight, iWidth, CV_8UC1);
    for (int x = 0; x < iWidth; ++x) {
        const double* pR = pPlanes + static_cast<std::ptrdiff_t>(x) * iHeight;
        GreyColumn(pR, pR + iPlane, pR + 2 * iPlane, matScratch.ptr<unsigned char>(x), iHeight);
    }
    cv::transpose(matScratch, matGrey);
}
