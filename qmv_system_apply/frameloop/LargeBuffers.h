// Allocation of the large working images and buffers of a call. Where the
// operating system grants transparent huge pages on request (Linux), buffers
// of several megabytes are aligned to 2 MB and marked for them: a fresh image
// then costs a few page faults instead of one per 4 KB page. Elsewhere it is
// an aligned allocation.
//
// Even so, fresh memory must be cleared by the system, which costs as much as
// a pass over it and serialises threads in the kernel. A solver calls the
// operator hundreds of times with the same sizes, so buffers of a megabyte
// and more are kept when freed and handed out again by the next call: the
// module holds on to the scratch of its last call (about threads + 1 images)
// until the sizes change or the module is unloaded.
#ifndef QMV_SYSAPPLY_LARGE_BUFFERS_H
#define QMV_SYSAPPLY_LARGE_BUFFERS_H

#include <opencv2/core.hpp>

#include <cstddef>
#include <memory>

namespace NSysApply {

// Throws std::bad_alloc when the memory cannot be had.
void* AllocateLarge(std::size_t iBytes);
// iBytes as given to AllocateLarge.
void FreeLarge(void* p, std::size_t iBytes) noexcept;

// Gives the kept buffers back to the system (done at unload as well).
void ReleaseKeptBuffers() noexcept;

struct CFreeLarge {
    std::size_t iBytes = 0;
    void operator()(void* p) const noexcept { FreeLarge(p, iBytes); }
};

// An OpenCV allocator on top of AllocateLarge; set it on a matrix before it
// is created (img.allocator = LargeMatAllocator(); img.create(...)).
cv::MatAllocator* LargeMatAllocator();

}  // namespace NSysApply

#endif
