// The vector row kernel: eight neighbouring output pixels per AVX2 register.
// Each lane sums the terms of its own window in the order of the scalar
// kernel, so only the exponential differs from it. Lanes whose window ends
// before the vector's do not take the extra terms (blend, not add of zero, so
// that infinite or NaN source values outside the window cannot leak in).
#include "BilatKernel.h"
#include "VecExpf.h"
#include "mexglue/ProcessorFeatures.h"

#include <algorithm>
#include <cmath>

namespace NBilatKernel {

#if DPX_HAVE_AVX2_KERNEL

namespace {

struct SRowInputs {
    const float* apRow[4];  // guide red, green, blue and source at row yy, column xb
    __m256 c0, c1, c2;      // guide colours of the output pixels
    const float* pNegS;     // -(S / fDivS) of this window row for dx = -rx .. rx, at dx + rx
    int iRx;
    __m256 vDivR;
};

template <bool bSquared>
DPX_TARGET_AVX2 inline __m256 ColourTerm(const SRowInputs& in, int dx)
{
    const __m256 d0 = _mm256_sub_ps(_mm256_loadu_ps(in.apRow[0] + dx), in.c0);
    const __m256 d1 = _mm256_sub_ps(_mm256_loadu_ps(in.apRow[1] + dx), in.c1);
    const __m256 d2 = _mm256_sub_ps(_mm256_loadu_ps(in.apRow[2] + dx), in.c2);
    __m256 vR;
    if (bSquared) {
        vR = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(d1, d1), _mm256_mul_ps(d0, d0)), _mm256_mul_ps(d2, d2));
    } else {
        const __m256 vAbs = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
        vR = _mm256_add_ps(_mm256_add_ps(_mm256_and_ps(d1, vAbs), _mm256_and_ps(d0, vAbs)), _mm256_and_ps(d2, vAbs));
        vR = _mm256_div_ps(vR, _mm256_set1_ps(3.0f));
    }
    return _mm256_div_ps(vR, in.vDivR);
}

template <bool bScalarExp>
DPX_TARGET_AVX2 inline __m256 Exp(__m256 vE)
{
    if (!bScalarExp) return NVecExpf::Expf8(vE);
    alignas(32) float af[8];
    _mm256_store_ps(af, vE);
    for (float& f : af) f = std::exp(f);
    return _mm256_load_ps(af);
}

template <bool bSquared, bool bScalarExp>
DPX_TARGET_AVX2 inline __m256 Weight(const SRowInputs& in, int dx)
{
    const __m256 vE = _mm256_sub_ps(_mm256_set1_ps(in.pNegS[dx + in.iRx]), ColourTerm<bSquared>(in, dx));
    return Exp<bScalarExp>(vE);
}

// All eight windows span dx = -rx .. rx.
template <bool bSquared, bool bScalarExp>
DPX_TARGET_AVX2 inline void AddFull(const SRowInputs& in, __m256& vSw, __m256& vSv)
{
    for (int dx = -in.iRx; dx <= in.iRx; ++dx) {
        const __m256 vW = Weight<bSquared, bScalarExp>(in, dx);
        vSw = _mm256_add_ps(vSw, vW);
        vSv = _mm256_add_ps(vSv, _mm256_mul_ps(vW, _mm256_loadu_ps(in.apRow[3] + dx)));
    }
}

// Lane x (= xb + lane) takes the term of column x + dx only when that column
// and x itself lie in the image.
template <bool bSquared, bool bScalarExp>
DPX_TARGET_AVX2 inline void AddClipped(const SRowInputs& in, int xb, int iW, __m256& vSw, __m256& vSv)
{
    const __m256i vX = _mm256_add_epi32(_mm256_set1_epi32(xb), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const __m256i vW = _mm256_set1_epi32(iW);
    const __m256i vInImage = _mm256_cmpgt_epi32(vW, vX);
    const int dxLo = std::max(-in.iRx, -(xb + 7));
    const int dxHi = std::min(in.iRx, iW - 1 - xb);
    for (int dx = dxLo; dx <= dxHi; ++dx) {
        const __m256i vXX = _mm256_add_epi32(vX, _mm256_set1_epi32(dx));
        const __m256i vInside = _mm256_and_si256(
            vInImage, _mm256_and_si256(_mm256_cmpgt_epi32(vXX, _mm256_set1_epi32(-1)), _mm256_cmpgt_epi32(vW, vXX)));
        const __m256 vTake = _mm256_castsi256_ps(vInside);
        const __m256 vWt = Weight<bSquared, bScalarExp>(in, dx);
        const __m256 vTerm = _mm256_mul_ps(vWt, _mm256_loadu_ps(in.apRow[3] + dx));
        vSw = _mm256_blendv_ps(vSw, _mm256_add_ps(vSw, vWt), vTake);
        vSv = _mm256_blendv_ps(vSv, _mm256_add_ps(vSv, vTerm), vTake);
    }
}

// One block of eight output pixels of row y: the sums run over the window rows
// and, within each, left to right, as in the scalar kernel.
template <bool bSquared, bool bScalarExp>
DPX_TARGET_AVX2 inline __m256 FilterBlock(const SParams& par, const SPlanes& planes, const float* pNegS, int y, int xb,
                                          int iRx, int iRy)
{
    const int iW = planes.iWidth;
    const int iH = planes.iHeight;
    const std::ptrdiff_t iCentre = y * planes.iStride + xb;
    SRowInputs in;
    in.iRx = iRx;
    in.vDivR = _mm256_set1_ps(par.fDivR);
    in.c0 = _mm256_loadu_ps(planes.apPlane[0] + iCentre);
    in.c1 = _mm256_loadu_ps(planes.apPlane[1] + iCentre);
    in.c2 = _mm256_loadu_ps(planes.apPlane[2] + iCentre);
    const bool bFull = xb >= iRx && xb + 7 + iRx <= iW - 1;
    __m256 vSw = _mm256_setzero_ps();
    __m256 vSv = _mm256_setzero_ps();
    const int y0 = y - std::min(iRy, y);
    const int y1 = y + std::min(iRy, iH - 1 - y);
    for (int yy = y0; yy <= y1; ++yy) {
        in.pNegS = pNegS + static_cast<std::ptrdiff_t>(std::abs(yy - y)) * (2 * iRx + 1);
        const std::ptrdiff_t iRowOff = yy * planes.iStride + xb;
        for (int k = 0; k < 4; ++k) in.apRow[k] = planes.apPlane[k] + iRowOff;
        if (bFull)
            AddFull<bSquared, bScalarExp>(in, vSw, vSv);
        else
            AddClipped<bSquared, bScalarExp>(in, xb, iW, vSw, vSv);
    }
    return _mm256_div_ps(vSv, vSw);
}

template <bool bSquared, bool bScalarExp>
DPX_TARGET_AVX2 void FilterRow(const SParams& par, const SPlanes& planes, const float* pNegS, int y, float* pDstRow)
{
    const int iW = planes.iWidth;
    const int iRx = std::min(par.iRadius, iW - 1);  // a larger radius clips to the same window
    const int iRy = std::min(par.iRadius, planes.iHeight - 1);
    for (int xb = 0; xb < iW; xb += 8) {
        const __m256 vOut = FilterBlock<bSquared, bScalarExp>(par, planes, pNegS, y, xb, iRx, iRy);
        if (xb + 8 <= iW) {
            _mm256_storeu_ps(pDstRow + xb, vOut);
        } else {
            alignas(32) float af[8];
            _mm256_store_ps(af, vOut);
            std::copy(af, af + (iW - xb), pDstRow + xb);
        }
    }
}

DPX_TARGET_AVX2 void ExpfBatch(const float* pIn, float* pOut, std::size_t n)
{
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) _mm256_storeu_ps(pOut + i, NVecExpf::Expf8(_mm256_loadu_ps(pIn + i)));
    if (i < n) {
        alignas(32) float af[8] = {};
        std::copy(pIn + i, pIn + n, af);
        _mm256_store_ps(af, NVecExpf::Expf8(_mm256_load_ps(af)));
        std::copy(af, af + (n - i), pOut + i);
    }
}

}  // namespace

bool HasVectorPath() { return NMexGlue::CpuHasAvx2Fma(); }

void FilterRowVector(const SParams& par, const SPlanes& planes, const float* pSpatial, int y, float* pDstRow,
                     bool bScalarExp)
{
    const bool bSquared = par.iP == 2;
    if (bSquared && !bScalarExp) FilterRow<true, false>(par, planes, pSpatial, y, pDstRow);
    if (bSquared && bScalarExp) FilterRow<true, true>(par, planes, pSpatial, y, pDstRow);
    if (!bSquared && !bScalarExp) FilterRow<false, false>(par, planes, pSpatial, y, pDstRow);
    if (!bSquared && bScalarExp) FilterRow<false, true>(par, planes, pSpatial, y, pDstRow);
}

void ExpfVector(const float* pIn, float* pOut, std::size_t n) { ExpfBatch(pIn, pOut, n); }

#else  // no vector kernel on this platform: callers check HasVectorPath()

bool HasVectorPath() { return false; }
void FilterRowVector(const SParams&, const SPlanes&, const float*, int, float*, bool) {}
void ExpfVector(const float* pIn, float* pOut, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) pOut[i] = std::exp(pIn[i]);
}

#endif

}  // namespace NBilatKernel
