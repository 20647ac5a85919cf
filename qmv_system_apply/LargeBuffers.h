// Allocation of the large working images and buffers of a call. Where the
// operating system grants transparent huge pages on request (Linux), buffers
// of several megabytes are aligned to 2 MB and marked for them: a fresh image
// then costs a few page faults instead of one per 4 KB page, which otherwise
// is a large share of a call's time. Elsewhere it is an aligned allocation.
#ifndef QMV_SYSAPPLY_LARGE_BUFFERS_H
#define QMV_SYSAPPLY_LARGE_BUFFERS_H

#include <opencv2/core.hpp>

#include <cstddef>
#include <memory>

namespace NSysApply {

// Throws std::bad_alloc when the memory cannot be had.
void* AllocateLarge(std::size_t iBytes);
void FreeLarge(void* p) noexcept;

struct CFreeLarge {
    void operator()(void* p) const noexcept { FreeLarge(p); }
};

// An OpenCV allocator on top of AllocateLarge; set it on a matrix before it
// is created (img.allocator = LargeMatAllocator(); img.create(...)).
cv::MatAllocator* LargeMatAllocator();

}  // namespace NSysApply

#endif
