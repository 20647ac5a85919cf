// Processor features for the hot loops: prefetching where the compiler offers
// it, and wider vector registers where the processor has them. The
// build targets plain x86-64; a loop body compiled once more with AVX2 (and
// without fused multiply-add, so every product and sum is rounded as in the
// plain build) is chosen at run time and gives the same bits.
#ifndef QMV_SYSAPPLY_WIDER_REGISTERS_H
#define QMV_SYSAPPLY_WIDER_REGISTERS_H

#if defined(__GNUC__)
#define QMV_ALWAYS_INLINE inline __attribute__((always_inline))
#define QMV_PREFETCH_FOR_WRITE(p) __builtin_prefetch((p), 1)
#define QMV_PREFETCH_FOR_READ(p) __builtin_prefetch((p), 0)
#else
#define QMV_ALWAYS_INLINE inline
#define QMV_PREFETCH_FOR_WRITE(p) ((void)(p))
#define QMV_PREFETCH_FOR_READ(p) ((void)(p))
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
