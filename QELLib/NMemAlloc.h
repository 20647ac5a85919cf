// Checked size arithmetic and the reference-counted aligned memory block.
//
// Every buffer size of the library goes through MemSizeAdd / MemSizeMul /
// MemSizeCast so that no size wraps around silently: an overflow throws
// BadAlloc. CRefCntMem holds one malloc'ed block whose first 4 bytes carry an
// atomic reference count, or refers to memory owned elsewhere without counting.
#ifndef QELLIB_NMEMALLOC_H
#define QELLIB_NMEMALLOC_H

#include "QELLib/NException.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>

// Signed 32-bit size and index type of image geometry.
typedef std::int32_t qelMInt;

namespace NMemAlloc {

inline qelMInt MemSizeAdd(qelMInt iA, qelMInt iB)
{
    QELAssert(iA>=0 && iB>=0);
    if (iA > std::numeric_limits<qelMInt>::max() - iB) {
        throw NException::BadAlloc("Error: MemSizeAdd() failed, arithmetic overflow!");
    }
    return iA + iB;
}

inline size_t MemSizeAdd(size_t iA, size_t iB)
{
    if (iA > std::numeric_limits<size_t>::max() - iB) {
        throw NException::BadAlloc("Error: MemSizeAdd() failed, arithmetic overflow!");
    }
    return iA + iB;
}

inline qelMInt MemSizeMul(qelMInt iA, qelMInt iB)
{
    QELAssert(iA>=0 && iB>=0);
    const std::int64_t iProduct = static_cast<std::int64_t>(iA) * iB;
    if (iProduct > std::numeric_limits<qelMInt>::max()) {
        throw NException::BadAlloc("Error: MemSizeMul() failed, arithmetic overflow!");
    }
    return static_cast<qelMInt>(iProduct);
}

inline size_t MemSizeCast(qelMInt v)
{
    if (v < 0) {
        throw NException::BadAlloc("Error: MemSizeCast() failed, arithmetic overflow!");
    }
    return static_cast<size_t>(v);
}

// Holder of a counted heap block (shared by assignment) or of outside memory.
class CRefCntMem {
public:
    typedef std::atomic<std::int32_t> CCount;
    static constexpr size_t kCountBytes = 4;
    static_assert(sizeof(CCount) == kCountBytes, "the count must fill the first 4 bytes");

    CRefCntMem() noexcept : m_size(0), m_pBlock(nullptr), m_pData(nullptr) {}
    CRefCntMem(const CRefCntMem& rhs) noexcept : CRefCntMem() { *this = rhs; }
    virtual ~CRefCntMem() { Release(); }

    CRefCntMem& operator=(const CRefCntMem& rhs) noexcept
    {
        if (&rhs == this) {
            return *this;
        }
        Release();
        m_size = rhs.m_size;
        m_pBlock = rhs.m_pBlock;
        m_pData = rhs.m_pData;
        if (m_pBlock) {
            Count().fetch_add(1);
        }
        return *this;
    }

    // Fresh block of at least `size` usable bytes at an address that is a
    // multiple of max(align, 8); one heap request, slack of at most align + 4.
    void Allocate(size_t size, size_t align)
    {
        if (align < 8) {
            align = 8;
        }
        const size_t align_1 = align - 1;
        QELAssert(0 == (align & align_1));
        Release();
        const size_t total = MemSizeAdd(size, align + kCountBytes);
        void* pBlock = std::malloc(total);
        if (!pBlock) {
            throw NException::BadAlloc("Error: CRefCntMem::Allocate() failed, out of memory!");
        }
        new (pBlock) CCount(1);
        const std::uintptr_t iFirst = reinterpret_cast<std::uintptr_t>(pBlock) + kCountBytes + align;
        m_size = total;
        m_pBlock = pBlock;
        m_pData = reinterpret_cast<void*>(iFirst & ~static_cast<std::uintptr_t>(align_1));
    }

    // Refer to memory owned elsewhere: never freed, never counted.
    void Attach(void* p) noexcept
    {
        Release();
        m_pData = p;
    }

    void Release() noexcept
    {
        if (m_pBlock && Count().fetch_sub(1) == 1) {
            Count().~CCount();
            std::free(m_pBlock);
        }
        m_size = 0;
        m_pBlock = nullptr;
        m_pData = nullptr;
    }

    void* Data() const noexcept { return m_pData; }
    size_t Size() const noexcept { return m_size; }

private:
    CCount& Count() const noexcept { return *static_cast<CCount*>(m_pBlock); }

    size_t m_size;   // bytes of the owned block, 0 when nothing is owned
    void* m_pBlock;  // owned block (count in its first bytes) or null
    void* m_pData;   // aligned usable bytes, possibly outside memory
};

} // namespace NMemAlloc

#endif // QELLIB_NMEMALLOC_H
