// Large buffers (see the header). The allocator follows OpenCV's standard
// one, with AllocateLarge/FreeLarge for the storage.
#include "frameloop/LargeBuffers.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

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
// Buffers from this size on are kept between calls: the frame terms of images
// from about 200 x 200 x 3, and the map offsets from 512 x 512.
constexpr std::size_t KEEP_MIN_BYTES = std::size_t(1) << 20;
constexpr std::size_t MAX_KEPT = 16;  // more than a call of up to 6 threads frees

// Freed buffers, by size, for the next call. A request that finds
// none of its size means the sizes changed: the kept buffers are released.
class CKeptBuffers {
public:
    CKeptBuffers() { m_vecKept.reserve(MAX_KEPT); }
    ~CKeptBuffers() { Release(); }

    void* Take(std::size_t iBytes)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (std::size_t i = 0; i < m_vecKept.size(); ++i) {
            if (m_vecKept[i].first != iBytes) continue;
            void* p = m_vecKept[i].second;
            m_vecKept.erase(m_vecKept.begin() + static_cast<std::ptrdiff_t>(i));
            return p;
        }
        ReleaseLocked();
        return nullptr;
    }

    void Keep(void* p, std::size_t iBytes) noexcept
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_vecKept.size() < MAX_KEPT) {
            m_vecKept.emplace_back(iBytes, p);  // within the reserved capacity: cannot throw
            return;
        }
        std::free(p);
    }

    void Release() noexcept
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ReleaseLocked();
    }

private:
    void ReleaseLocked() noexcept
    {
        for (const auto& kept : m_vecKept) std::free(kept.second);
        m_vecKept.clear();
    }

    std::mutex m_mutex;
    std::vector<std::pair<std::size_t, void*>> m_vecKept;  // capacity MAX_KEPT from the start
};

CKeptBuffers& KeptBuffers()
{
    static CKeptBuffers kept;
    return kept;
}

std::size_t HugePageRounded(std::size_t iBytes) { return (iBytes + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE; }

bool UsesHugePages(std::size_t iBytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    return iBytes >= HUGE_PAGE_MIN_BYTES;
#else
    (void)iBytes;
    return false;
#endif
}

// Kept buffers are given back with std::free, so only where they come from
// posix_memalign.
bool IsKept(std::size_t iBytes)
{
#if defined(_WIN32)
    (void)iBytes;
    return false;
#else
    return iBytes >= KEEP_MIN_BYTES;
#endif
}

// The size a buffer is kept under: what was allocated for it.
std::size_t KeptSize(std::size_t iBytes) { return UsesHugePages(iBytes) ? HugePageRounded(iBytes) : iBytes; }

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
        if (!(pU->flags & cv::UMatData::USER_ALLOCATED)) FreeLarge(pU->origdata, pU->size);
        delete pU;
    }
};

}  // namespace

void* AllocateLarge(std::size_t iBytes)
{
    if (IsKept(iBytes)) {
        if (void* p = KeptBuffers().Take(KeptSize(iBytes))) return p;
    }
    void* p = nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (UsesHugePages(iBytes)) {
        const std::size_t iRounded = HugePageRounded(iBytes);
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

void FreeLarge(void* p, std::size_t iBytes) noexcept
{
    if (p == nullptr) return;
    if (IsKept(iBytes)) {
        KeptBuffers().Keep(p, KeptSize(iBytes));
        return;
    }
#if defined(_WIN32)
    _aligned_free(p);
#else
    std::free(p);
#endif
}

void ReleaseKeptBuffers() noexcept { KeptBuffers().Release(); }

cv::MatAllocator* LargeMatAllocator()
{
    static CLargeMatAllocator allocator;
    return &allocator;
}

}  // namespace NSysApply
