// Processor features the modules' hot loops choose their wider forms by. The
// builds target plain x86-64; a loop compiled once more for AVX2 is taken at
// run time only where the processor has it.
#ifndef QMV_MEXGLUE_PROCESSOR_FEATURES_H
#define QMV_MEXGLUE_PROCESSOR_FEATURES_H

namespace NMexGlue {

#if defined(__GNUC__) && defined(__x86_64__)
inline bool CpuHasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

// AVX2 together with fused multiply-add.
inline bool CpuHasAvx2Fma() { return CpuHasAvx2() && __builtin_cpu_supports("fma"); }
#else
inline bool CpuHasAvx2() { return false; }
inline bool CpuHasAvx2Fma() { return false; }
#endif

}  // namespace NMexGlue

#endif
