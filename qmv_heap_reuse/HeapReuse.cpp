// See HeapReuse.h.
#include "HeapReuse.h"

#include <cstdlib>  // defines __GLIBC__ with GNU's C library

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>

#include <array>
#include <cstdint>
#endif

// A sanitizer's allocator takes no part in the C library's controls.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define QMV_HEAP_CONTROLS 1
#endif

namespace {

bool s_bKeep = false;

#if defined(QMV_HEAP_CONTROLS)
constexpr int KEEP_MMAP_THRESHOLD = 256 << 20;
constexpr int KEEP_TRIM_THRESHOLD = 1 << 30;
constexpr int USUAL_MMAP_THRESHOLD = 32 << 20;  // the adaptive rule's ceiling
constexpr int USUAL_TRIM_THRESHOLD = 64 << 20;  // twice the above, as the rule sets it

#if defined(MADV_HUGEPAGE)
constexpr std::size_t HUGE_PAGE = std::size_t(2) << 20;
constexpr std::size_t RESERVE_BLOCK = std::size_t(128) << 20;  // below the mapping threshold
constexpr std::size_t RESERVE_BLOCKS = 6;                      // 768 MB, below the trim threshold

// Kept memory is new to the process only once, but on a virtual machine
// each 4 kB page of it costs microseconds to fault in: a first 1024 x 1024
// reconstruction spends more than a second on it. Transparent huge pages
// fault it in 2 MB at a time. The C library asks for them only when told so
// at start-up, so the heap's top is grown here by memory the process has
// not touched, marked for huge pages and freed into the heap, where the
// next allocations of this thread find it. It costs address space only:
// untouched pages are not resident, and turning the setting off trims them.
void ReserveHugePageHeap()
{
    std::array<void*, RESERVE_BLOCKS> vecBlocks{};
    for (void*& p : vecBlocks) {
        p = std::malloc(RESERVE_BLOCK);
        if (p == nullptr) break;
        const std::uintptr_t iFirst = (reinterpret_cast<std::uintptr_t>(p) + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
        const std::uintptr_t iEnd = (reinterpret_cast<std::uintptr_t>(p) + RESERVE_BLOCK) / HUGE_PAGE * HUGE_PAGE;
        madvise(reinterpret_cast<void*>(iFirst), iEnd - iFirst, MADV_HUGEPAGE);  // advice: failure changes nothing
    }
    for (auto it = vecBlocks.rbegin(); it != vecBlocks.rend(); ++it) std::free(*it);
}
#else
void ReserveHugePageHeap() {}
#endif
#endif

}  // namespace

bool HeapReuseActive() { return s_bKeep; }

void SetHeapReuse(bool bKeep)
{
#if defined(QMV_HEAP_CONTROLS)
    // Both are set: setting either ends the adaptive rule for both, and the
    // mapping threshold would stay at its 128 kB start.
    mallopt(M_MMAP_THRESHOLD, bKeep ? KEEP_MMAP_THRESHOLD : USUAL_MMAP_THRESHOLD);
    mallopt(M_TRIM_THRESHOLD, bKeep ? KEEP_TRIM_THRESHOLD : USUAL_TRIM_THRESHOLD);
    if (!s_bKeep && bKeep) ReserveHugePageHeap();
    // Turned off, the memory kept so far goes back at once, not only when
    // some later free happens to trim the heap.
    if (s_bKeep && !bKeep) malloc_trim(0);
#endif
    s_bKeep = bKeep;
}
