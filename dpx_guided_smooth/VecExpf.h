// Expf8: expf on eight floats with AVX2 and FMA. Over every one of the 2^32
// float inputs it stays within one unit in the last place of glibc's expf,
// subnormal results, 0 and inf included, and gives NaN exactly for NaN. Call it
// only from functions compiled with DPX_TARGET_AVX2, on x86-64 with GCC or
// Clang (DPX_HAVE_AVX2_KERNEL).
//
// Method: x = k ln2 + t with |t| <= ln2/2 (two-part ln2 so that t is exact to
// well below float precision), exp(t) by its Taylor polynomial of degree 7
// (truncation error 5e-9 relative), and the result scaled by 2^k in two steps so
// that subnormal results are rounded once and large ones overflow to inf.
#ifndef DPX_VECEXPF_H
#define DPX_VECEXPF_H

#if defined(__GNUC__) && defined(__x86_64__)
#define DPX_HAVE_AVX2_KERNEL 1
#define DPX_TARGET_AVX2 __attribute__((target("avx2,fma")))
#include <immintrin.h>

namespace NVecExpf {

// 2^k for integer lanes k in [-126, 127].
DPX_TARGET_AVX2 inline __m256 Pow2(__m256i k)
{
    return _mm256_castsi256_ps(_mm256_slli_epi32(_mm256_add_epi32(k, _mm256_set1_epi32(127)), 23));
}

DPX_TARGET_AVX2 inline __m256 Expf8(__m256 x)
{
    // Below -104 expf is 0, above 88.73 inf; the clamps keep k within the range
    // the two-step scaling handles and still give those results. max and min
    // return their second operand when one is NaN, so a NaN x passes both and
    // makes t, the polynomial and the result NaN.
    const __m256 xc = _mm256_min_ps(_mm256_set1_ps(100.0f), _mm256_max_ps(_mm256_set1_ps(-104.0f), x));
    const __m256 k = _mm256_round_ps(_mm256_mul_ps(xc, _mm256_set1_ps(1.44269504088896341f)),
                                     _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    // ln2 = 0.693359375 - 2.12194440e-4: the first part has 9 significant bits,
    // so k * part1 is exact for |k| <= 150.
    __m256 t = _mm256_fnmadd_ps(k, _mm256_set1_ps(0.693359375f), xc);
    t = _mm256_fnmadd_ps(k, _mm256_set1_ps(-2.12194440e-4f), t);

    // exp(t) = 1 + (t + t^2 Q(t)), Q = 1/2 + t/6 + ... + t^5/5040 in pairs, so
    // that the dependent chain is five operations long instead of eight; the
    // final 1 + u rounds once.
    const __m256 t2 = _mm256_mul_ps(t, t);
    const __m256 a = _mm256_fmadd_ps(t, _mm256_set1_ps(1.0f / 6.0f), _mm256_set1_ps(0.5f));
    const __m256 b = _mm256_fmadd_ps(t, _mm256_set1_ps(1.0f / 120.0f), _mm256_set1_ps(1.0f / 24.0f));
    const __m256 c = _mm256_fmadd_ps(t, _mm256_set1_ps(1.0f / 5040.0f), _mm256_set1_ps(1.0f / 720.0f));
    const __m256 t4 = _mm256_mul_ps(t2, t2);
    const __m256 q = _mm256_fmadd_ps(t4, c, _mm256_fmadd_ps(t2, b, a));
    const __m256 p = _mm256_add_ps(_mm256_set1_ps(1.0f), _mm256_fmadd_ps(t2, q, t));

    // k in [-150, 144]: both halves stay in the normal exponent range.
    const __m256i ki = _mm256_cvtps_epi32(k);
    const __m256i k1 = _mm256_srai_epi32(ki, 1);
    const __m256i k2 = _mm256_sub_epi32(ki, k1);
    // For NaN lanes k1 and k2 are garbage, but NaN times anything is NaN.
    return _mm256_mul_ps(_mm256_mul_ps(p, Pow2(k1)), Pow2(k2));
}

}  // namespace NVecExpf

#endif
#endif
