// Allocation and sharing of the reference-counted pixel blocks.
#include "RefCntMem.h"

#include <cstddef>
#include <new>
#include <string>

namespace {
constexpr std::align_val_t kBlockAlign{16};
}

void CRefCntMem::Release()
{
    if (m_piBlock != nullptr && --*m_piBlock == 0) ::operator delete(m_piBlock, kBlockAlign);
    m_piBlock = nullptr;
    m_iPayloadOffset = 0;
}

void CRefCntMem::ShareFrom(const CRefCntMem& mem)
{
    if (mem.m_piBlock != nullptr) ++*mem.m_piBlock;  // before Release: mem may be *this
    Release();
    m_iPayloadOffset = mem.m_iPayloadOffset;
    m_piBlock = mem.m_piBlock;
}

void CRefCntMem::Allocate(int iBytes)
{
    Release();
    if (iBytes < 0) return;
    const std::size_t nTotal = static_cast<std::size_t>(iBytes) + iHeaderBytes;
    void* pBlock = ::operator new(nTotal, kBlockAlign, std::nothrow);
    if (pBlock == nullptr) throw std::string("Error: CRefCntMem::Allocate() failed, out of memory!");
    m_piBlock = new (pBlock) int(1);
    m_iPayloadOffset = iPayloadOffset;
}
