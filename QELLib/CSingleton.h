// CSingleton<T>: one lazily created T per module that refuses to hand the
// instance out once the module is being torn down (a dead reference), and
// ProcessorInfo, the record of the processor count and vector-instruction
// support that every module creates when it is loaded.
#ifndef QELLIB_CSINGLETON_H
#define QELLIB_CSINGLETON_H

#include "QELLib/NException.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <thread>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

template <class T>
class CSingleton {
public:
    // Creates T on the first call; the at-exit handler marks it dead but
    // never destroys it, so late callers get an exception, not a dangling object.
    static T& Instance()
    {
        if (!s_bCreated) {
            s_bCreated = true;
            s_pInstance = new (&s_storage) T();
            s_bAlive = true;
            std::atexit(&OnExit);
        }
        if (!s_bAlive) {
            throw NException::LogicError("Error: CSingleton::Instance() failed, dead-reference detected!");
        }
        return *s_pInstance;
    }

    CSingleton() = delete;

private:
    static void OnExit() { s_bAlive = false; }

    static inline bool s_bCreated = false;
    static inline bool s_bAlive = false;
    static inline T* s_pInstance = nullptr;
    alignas(T) static inline unsigned char s_storage[sizeof(T)];
};

// Registers of one CPUID query.
struct CCpuidRegs {
    std::uint32_t eax;
    std::uint32_t ebx;
    std::uint32_t ecx;
    std::uint32_t edx;
};

typedef CCpuidRegs (*PfnCpuid)(std::uint32_t iLeaf, std::uint32_t iSubLeaf);

// The processor's CPUID; all registers 0 where the instruction does not exist,
// which reads as "highest leaf 0" and so leaves the feature flags empty.
inline CCpuidRegs QueryCpuid(std::uint32_t iLeaf, std::uint32_t iSubLeaf)
{
    CCpuidRegs regs = {0, 0, 0, 0};
#if defined(__i386__) || defined(__x86_64__)
    __cpuid_count(iLeaf, iSubLeaf, regs.eax, regs.ebx, regs.ecx, regs.edx);
#else
    (void)iLeaf;
    (void)iSubLeaf;
#endif
    return regs;
}

class ProcessorInfo {
public:
    enum : std::uint32_t { FLAG_MMX = 1, FLAG_SSE = 2, FLAG_SSE2 = 4, FLAG_SSE3 = 8, FLAG_AVX = 16 };

    ProcessorInfo() : ProcessorInfo(&QueryCpuid) {}

    // pfnCpuid stands in for the instruction, so the decoding can be tested.
    explicit ProcessorInfo(PfnCpuid pfnCpuid)
        : m_iProcessorCount(1), m_iFeatureFlags(0), m_bReady(true)
    {
        const unsigned iOsCount = std::thread::hardware_concurrency();
        if (iOsCount > 0) {
            m_iProcessorCount = static_cast<std::int32_t>(iOsCount);
        }
        if (pfnCpuid(0, 0).eax != 0) {
            const CCpuidRegs leaf1 = pfnCpuid(1, 0);
            m_iFeatureFlags = DecodeFeatureFlags(leaf1.ecx, leaf1.edx);
        }
        m_bReady = true;
    }

    // Feature flags from the ECX and EDX of CPUID leaf 1.
    static std::uint32_t DecodeFeatureFlags(std::uint32_t iEcx, std::uint32_t iEdx)
    {
        std::uint32_t iFlags = 0;
        if (iEdx & (1u << 23)) iFlags |= FLAG_MMX;
        if (iEdx & (1u << 25)) iFlags |= FLAG_SSE;
        if (iEdx & (1u << 26)) iFlags |= FLAG_SSE2;
        if (iEcx & (1u << 0)) iFlags |= FLAG_SSE3;
        if (iEcx & (1u << 28)) iFlags |= FLAG_AVX;
        return iFlags;
    }

    std::int32_t ProcessorCount() const { return m_iProcessorCount; }
    std::uint32_t FeatureFlags() const { return m_iFeatureFlags; }
    bool IsReady() const { return m_bReady; }

private:
    std::int32_t m_iProcessorCount;  // logical processors
    std::uint32_t m_iFeatureFlags;   // FLAG_* bits
    bool m_bReady;
};

// A module creates its processor record while it is loaded by defining one
// file-scope object of this type in a source file that is always linked in:
//     static const CProcessorRecordAtLoad s_processorRecordAtLoad;
// Nothing may propagate out of static initialisation (it would abort the
// host while loading the module), so a failure is dropped here.
class CProcessorRecordAtLoad {
public:
    CProcessorRecordAtLoad() noexcept
    {
        try {
            static_cast<void>(CSingleton<ProcessorInfo>::Instance());
        } catch (...) {
        }
    }
};

#endif // QELLIB_CSINGLETON_H
