// Whether the process keeps the large blocks it frees for reuse. A
// reconstruction in the host allocates and frees full-size arrays hundreds
// of times; handed back to the system each time, every one of their pages
// is faulted in again on its next use, which on some machines costs as much
// as a third of the whole reconstruction.
#ifndef QMV_HEAP_REUSE_HEAPREUSE_H
#define QMV_HEAP_REUSE_HEAPREUSE_H

// The setting last made by SetHeapReuse (false before the first).
bool HeapReuseActive();

// true: blocks up to 256 MB come from the heap and freed memory stays with
// the process (up to 1 GB at the heap's top) for the next allocation; on
// turning it on, the heap's top grows by 768 MB of address space marked for
// transparent huge pages, so that the memory the next allocations fault in
// comes 2 MB at a time (no memory is taken until it is used).
// false: the thresholds the C library's adaptive rule settles at (32 MB and
// 64 MB), so that freed memory goes back to the system as usual; switching
// from true to false hands back what the heap holds free at once. A C library
// without these controls (or a sanitizer's allocator) keeps its own policy;
// the setting is still recorded.
void SetHeapReuse(bool bKeep);

#endif
