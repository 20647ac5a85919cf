// Measures the heap a piece of code needs at its peak, by replacing the
// process's malloc family with counting wrappers around glibc's own
// allocator. DEFINES malloc, free and friends: include it in exactly one
// source file of an executable, and never in a sanitizer build (the
// sanitizers replace the allocator themselves).
#ifndef QMV_TESTS_SYSAPPLY_ALLOCATION_METER_H
#define QMV_TESTS_SYSAPPLY_ALLOCATION_METER_H

#include <malloc.h>
#include <stdlib.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

extern "C" {
void* __libc_malloc(size_t) noexcept;
void __libc_free(void*) noexcept;
void* __libc_calloc(size_t, size_t) noexcept;
void* __libc_realloc(void*, size_t) noexcept;
void* __libc_memalign(size_t, size_t) noexcept;
}

namespace NAllocationMeter {

inline std::atomic<long long> g_iCurrent{0};
inline std::atomic<long long> g_iPeak{0};

inline void* Counted(void* p)
{
    if (p) {
        const long long iNow = g_iCurrent += static_cast<long long>(malloc_usable_size(p));
        long long iPeak = g_iPeak.load();
        while (iNow > iPeak && !g_iPeak.compare_exchange_weak(iPeak, iNow)) {
        }
    }
    return p;
}

inline void Uncount(void* p)
{
    if (p) g_iCurrent -= static_cast<long long>(malloc_usable_size(p));
}

// Bytes that fnRun needed beyond what was allocated when it started.
template <class TFn>
long long PeakBytesOf(const TFn& fnRun)
{
    const long long iBase = g_iCurrent.load();
    g_iPeak = iBase;
    fnRun();
    return g_iPeak.load() - iBase;
}

}  // namespace NAllocationMeter

extern "C" {
void* malloc(size_t n) noexcept { return NAllocationMeter::Counted(__libc_malloc(n)); }
void free(void* p) noexcept
{
    NAllocationMeter::Uncount(p);
    __libc_free(p);
}
void* calloc(size_t n, size_t size) noexcept { return NAllocationMeter::Counted(__libc_calloc(n, size)); }
void* realloc(void* p, size_t n) noexcept
{
    const long long iOld = p ? static_cast<long long>(malloc_usable_size(p)) : 0;
    void* pNew = __libc_realloc(p, n);
    if (pNew == nullptr && n != 0) return nullptr;  // the old block is still there
    NAllocationMeter::g_iCurrent -= iOld;
    return NAllocationMeter::Counted(pNew);
}
void* memalign(size_t align, size_t n) noexcept { return NAllocationMeter::Counted(__libc_memalign(align, n)); }
void* aligned_alloc(size_t align, size_t n) noexcept { return memalign(align, n); }
int posix_memalign(void** pp, size_t align, size_t n) noexcept
{
    void* p = memalign(align, n);
    if (!p) return ENOMEM;
    *pp = p;
    return 0;
}
}

#endif
