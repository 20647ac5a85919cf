// See HeapReuse.h.
#include "HeapReuse.h"

#include <cstdlib>  // defines __GLIBC__ with GNU's C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

bool s_bKeep = false;

#if defined(__GLIBC__)
constexpr int KEEP_MMAP_THRESHOLD = 256 << 20;
constexpr int KEEP_TRIM_THRESHOLD = 1 << 30;
constexpr int USUAL_MMAP_THRESHOLD = 32 << 20;  // the adaptive rule's ceiling
constexpr int USUAL_TRIM_THRESHOLD = 64 << 20;  // twice the above, as the rule sets it
#endif

}  // namespace

bool HeapReuseActive() { return s_bKeep; }

void SetHeapReuse(bool bKeep)
{
#if defined(__GLIBC__)
    // Both are set: setting either ends the adaptive rule for both, and the
    // mapping threshold would stay at its 128 kB start.
    mallopt(M_MMAP_THRESHOLD, bKeep ? KEEP_MMAP_THRESHOLD : USUAL_MMAP_THRESHOLD);
    mallopt(M_TRIM_THRESHOLD, bKeep ? KEEP_TRIM_THRESHOLD : USUAL_TRIM_THRESHOLD);
    // Turned off, the memory kept so far goes back at once, not only when
    // some later free happens to trim the heap.
    if (s_bKeep && !bKeep) malloc_trim(0);
#endif
    s_bKeep = bKeep;
}
