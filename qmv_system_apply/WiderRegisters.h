// Wider vector registers for the hot loops where the processor has them. The
// build targets plain x86-64; a loop body compiled once more with AVX2 (and
// without fused multiply-add, so every product and sum is rounded as in the
// plain build) is chosen at run time and gives the same bits.
#ifndef QMV_SYSAPPLY_WIDER_REGISTERS_H
#define QMV_SYSAPPLY_WIDER_REGISTERS_H

#if defined(__GNUC__)
#define QMV_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define QMV_ALWAYS_INLINE inline
#endif

#if defined(__GNUC__) && defined(__x86_64__)
#define QMV_HAVE_AVX2_CLONES 1
#define QMV_TARGET_AVX2 __attribute__((target("avx2")))

namespace NSysApply {

inline bool CpuHasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

}  // namespace NSysApply
#else
#define QMV_HAVE_AVX2_CLONES 0
#endif

#endif
