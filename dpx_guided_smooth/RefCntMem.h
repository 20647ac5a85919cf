// CRefCntMem: a heap block shared by several owners. The block starts with a
// 64-byte header whose first int is the share count; the payload follows at
// byte 64, so a 16-byte-aligned block gives a 16-byte-aligned payload.
// Share counts are plain integers: a block and all its owners belong to one
// thread.
#ifndef DPX_REFCNTMEM_H
#define DPX_REFCNTMEM_H

class CRefCntMem {
public:
    // Payload offset in 4-byte units while a block is held.
    static constexpr int iPayloadOffset = 16;
    static constexpr int iHeaderBytes = 4 * iPayloadOffset;

    CRefCntMem() = default;
    // Copies share the block (see ShareFrom) instead of duplicating the pointer
    // without counting it.
    CRefCntMem(const CRefCntMem& mem) { ShareFrom(mem); }
    CRefCntMem& operator=(const CRefCntMem& mem)
    {
        if (this != &mem) ShareFrom(mem);
        return *this;
    }
    virtual ~CRefCntMem() { Release(); }

    // Replaces the held block by a fresh one with iBytes of payload and one
    // share. A negative count leaves the object without a block; a failed
    // allocation throws the out-of-memory message as a std::string.
    void Allocate(int iBytes);

    bool HasBlock() const { return m_piBlock != nullptr; }
    bool SharesBlockWith(const CRefCntMem& mem) const { return m_piBlock != nullptr && m_piBlock == mem.m_piBlock; }
    int GetPayloadOffset() const { return m_iPayloadOffset; }
    // Number of owners of the held block, 0 without one.
    int GetShareCount() const { return m_piBlock ? *m_piBlock : 0; }
    // Start of the payload, or null without a block.
    void* GetPayload() const { return m_piBlock ? m_piBlock + m_iPayloadOffset : nullptr; }

protected:
    // Drops this object's share; frees the block with its last share.
    void Release();
    // Takes over mem's block with one more share, dropping the old one first.
    void ShareFrom(const CRefCntMem& mem);

private:
    int m_iPayloadOffset = 0;
    int* m_piBlock = nullptr;
};

#endif
