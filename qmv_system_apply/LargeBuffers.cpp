// Large buffers (see the header). The allocator follows OpenCV's standard
// one, with AllocateLarge/FreeLarge for the storage.
#include "LargeBuffers.h"

#include <cstdlib>
#include <new>

#if defined(_WIN32)
#include <malloc.h>
#elif defined(__linux__)
#include <sys/mman.h>
#endif

namespace NSysApply {

namespace {

constexpr std::size_t HUGE_PAGE = std::size_t(2) << 20;
constexpr std::size_t HUGE_PAGE_MIN_BYTES = std::size_t(4) << 20;  // at most a third is rounding
constexpr std::size_t ALIGNMENT = 64;

class CLargeMatAllocator : public cv::MatAllocator {
public:
    cv::UMatData* allocate(int iDims, const int* pSizes, int iType, void* pData, size_t* pStep, cv::AccessFlag,
                           cv::UMatUsageFlags) const override
    {
        size_t iTotal = CV_ELEM_SIZE(iType);
        for (int i = iDims - 1; i >= 0; --i) {
            if (pStep) {
                if (pData && pStep[i] != cv::Mat::AUTO_STEP) {
                    iTotal = pStep[i] * pSizes[i];
                    continue;
                }
                pStep[i] = iTotal;
            }
            iTotal *= pSizes[i];
        }
        uchar* pStorage = pData ? static_cast<uchar*>(pData) : static_cast<uchar*>(AllocateLarge(iTotal));
        cv::UMatData* pU = new cv::UMatData(this);
        pU->data = pU->origdata = pStorage;
        pU->size = iTotal;
        if (pData) pU->flags |= cv::UMatData::USER_ALLOCATED;
        return pU;
    }

    bool allocate(cv::UMatData* pU, cv::AccessFlag, cv::UMatUsageFlags) const override { return pU != nullptr; }

    void deallocate(cv::UMatData* pU) const override
    {
        if (!pU) return;
        CV_Assert(pU->urefcount == 0 && pU->refcount == 0);
        if (!(pU->flags & cv::UMatData::USER_ALLOCATED)) FreeLarge(pU->origdata);
        delete pU;
    }
};

}  // namespace

void* AllocateLarge(std::size_t iBytes)
{
    void* p = nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (iBytes >= HUGE_PAGE_MIN_BYTES) {
        const std::size_t iRounded = (iBytes + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
        if (posix_memalign(&p, HUGE_PAGE, iRounded) != 0) throw std::bad_alloc();
        madvise(p, iRounded, MADV_HUGEPAGE);  // a hint: refused, the pages are ordinary
        return p;
    }
#endif
#if defined(_WIN32)
    p = _aligned_malloc(iBytes > 0 ? iBytes : 1, ALIGNMENT);
    if (p == nullptr) throw std::bad_alloc();
#else
    if (posix_memalign(&p, ALIGNMENT, iBytes > 0 ? iBytes : 1) != 0) throw std::bad_alloc();
#endif
    return p;
}

void FreeLarge(void* p) noexcept
{
#if defined(_WIN32)
    _aligned_free(p);
#else
    std::free(p);
#endif
}

cv::MatAllocator* LargeMatAllocator()
{
    static CLargeMatAllocator allocator;
    return &allocator;
}

}  // namespace NSysApply
