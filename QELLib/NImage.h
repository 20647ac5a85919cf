// NImage::CImage<CT>: the library's row-major image with interleaved channels
// and byte-strided, aligned rows, and NImage::CCompositeImage<T>, an image
// whose channels form one pixel structure T (colour, vector).
//
// Pixels live in one NMemAlloc::CRefCntMem block, so assigning an image copies
// a counted reference, never pixels.
#ifndef QELLIB_NIMAGE_H
#define QELLIB_NIMAGE_H

#include "QELLib/NException.h"
#include "QELLib/NMemAlloc.h"

#include <algorithm>
#include <cstddef>
#include <iostream>

namespace NImage {

template <class CT>
class CImage {
public:
    typedef CT ElementType;

    CImage() noexcept { Clear(); }
    CImage(const CImage& rhs) : CImage() { CImage::operator=(rhs); }
    virtual ~CImage() { Release(); }

    virtual CImage& operator=(const CImage& rhs)
    {
        if (&rhs == this) {
            return *this;
        }
        m_mem = rhs.m_mem;
        m_iChannels = rhs.m_iChannels;
        m_iBufWidth = rhs.m_iBufWidth;
        m_iBufHeight = rhs.m_iBufHeight;
        m_iStride = rhs.m_iStride;
        m_pOrigin = rhs.m_pOrigin;
        m_iViewX = rhs.m_iViewX;
        m_iViewY = rhs.m_iViewY;
        m_iWidth = rhs.m_iWidth;
        m_iHeight = rhs.m_iHeight;
        m_pData = rhs.m_pData;
        return *this;
    }

    // Takes a counted share of mem's block; pData must lie inside it.
    virtual CImage& Share(const NMemAlloc::CRefCntMem& mem, CT* pData, qelMInt iWidth,
                          qelMInt iHeight, qelMInt iChannels, qelMInt iStride)
    {
        // mem may be this image's own holder: keep the block alive across Release().
        const NMemAlloc::CRefCntMem keep(mem);
        Release();
        QELAssert(iWidth>0 && iHeight>0 && iChannels>0);
        QELAssert(iStride >= iWidth*iChannels*static_cast<qelMInt>(sizeof(CT)));
        SetWholeView(pData, iWidth, iHeight, iChannels, iStride);
        m_mem = keep;
        return *this;
    }

    // Refers to caller memory, which the image never frees.
    virtual CImage& Attach(CT* pData, qelMInt iWidth, qelMInt iHeight, qelMInt iChannels,
                           qelMInt iStride)
    {
        if (pData == m_pData && iWidth == Width() && iHeight == Height() &&
            iChannels == Channels() && iStride == Stride()) {
            return *this;
        }
        Release();
        QELAssert(iWidth>0 && iHeight>0 && iChannels>0);
        QELAssert(iStride >= iWidth*iChannels*static_cast<qelMInt>(sizeof(CT)));
        SetWholeView(pData, iWidth, iHeight, iChannels, iStride);
        m_mem.Attach(pData);
        return *this;
    }

    // Own buffer with rows padded to iAlign bytes. An unchanged geometry keeps
    // the present buffer (shared or attached alike), whatever iAlign says.
    virtual CImage& Create(qelMInt iWidth, qelMInt iHeight, qelMInt iChannels, qelMInt iAlign = 16)
    {
        if (iWidth == Width() && iHeight == Height() && iChannels == Channels()) {
            return *this;
        }
        Release();
        QELAssert(iWidth>0 && iHeight>0 && iChannels>0 && iAlign>0);
        const qelMInt iAlign_1 = iAlign - 1;
        QELAssert(0 == (iAlign & iAlign_1));
        using NMemAlloc::MemSizeAdd;
        using NMemAlloc::MemSizeMul;
        const qelMInt iRowBytes = MemSizeMul(MemSizeMul(iWidth, iChannels), static_cast<qelMInt>(sizeof(CT)));
        const qelMInt iStride = MemSizeAdd(iRowBytes, iAlign_1) & ~iAlign_1;
        const size_t bytes = NMemAlloc::MemSizeCast(MemSizeMul(iStride, iHeight));
        m_mem.Allocate(bytes, static_cast<size_t>(iAlign));
        SetWholeView(static_cast<CT*>(m_mem.Data()), iWidth, iHeight, iChannels, iStride);
        return *this;
    }

    void Release() noexcept
    {
        m_mem.Release();
        Clear();
    }

    qelMInt Width() const noexcept { return m_iWidth; }
    qelMInt Height() const noexcept { return m_iHeight; }
    qelMInt Channels() const noexcept { return m_iChannels; }
    qelMInt Stride() const noexcept { return m_iStride; }
    bool IsEmpty() const noexcept { return m_pData == nullptr; }
    const NMemAlloc::CRefCntMem& Memory() const noexcept { return m_mem; }

    CT* Row(qelMInt r)
    {
        QELAssert(r>=0 && r<Height());
        return RowAddress(r);
    }

    const CT* Row(qelMInt r) const
    {
        QELAssert(r>=0 && r<Height());
        return RowAddress(r);
    }

    CT* Pixel(qelMInt x, qelMInt y)
    {
        QELAssert(x>=0 && x<Width() && y>=0 && y<Height());
        return Row(y) + static_cast<std::ptrdiff_t>(x) * Channels();
    }

    const CT* Pixel(qelMInt x, qelMInt y) const
    {
        QELAssert(x>=0 && x<Width() && y>=0 && y<Height());
        return Row(y) + static_cast<std::ptrdiff_t>(x) * Channels();
    }

    // Sets every element of the view; row padding stays untouched.
    CImage& Fill(const CT& value)
    {
        if (IsEmpty()) {
            std::cout << "Warning: in CImage::Fill(), image is empty!\n" << std::flush;
            return *this;
        }
        const std::ptrdiff_t iRowElems = static_cast<std::ptrdiff_t>(Width()) * Channels();
        for (qelMInt r = 0; r < Height(); ++r) {
            CT* pRow = Row(r);
            std::fill(pRow, pRow + iRowElems, value);
        }
        return *this;
    }

private:
    void Clear() noexcept
    {
        m_iChannels = 0;
        m_iBufWidth = 0;
        m_iBufHeight = 0;
        m_iStride = 0;
        m_pOrigin = nullptr;
        m_iViewX = 0;
        m_iViewY = 0;
        m_iWidth = 0;
        m_iHeight = 0;
        m_pData = nullptr;
    }

    void SetWholeView(CT* pData, qelMInt iWidth, qelMInt iHeight, qelMInt iChannels,
                      qelMInt iStride) noexcept
    {
        m_iChannels = iChannels;
        m_iBufWidth = m_iWidth = iWidth;
        m_iBufHeight = m_iHeight = iHeight;
        m_iStride = iStride;
        m_iViewX = m_iViewY = 0;
        m_pOrigin = m_pData = pData;
    }

    CT* RowAddress(qelMInt r) const noexcept
    {
        char* pBytes = reinterpret_cast<char*>(m_pData);
        return reinterpret_cast<CT*>(pBytes + static_cast<std::ptrdiff_t>(r) * m_iStride);
    }

    NMemAlloc::CRefCntMem m_mem;
    qelMInt m_iChannels;
    qelMInt m_iBufWidth;
    qelMInt m_iBufHeight;
    qelMInt m_iStride;   // bytes from one buffer row to the next
    CT* m_pOrigin;       // first element of the buffer
    qelMInt m_iViewX;    // view offset within the buffer, in pixels
    qelMInt m_iViewY;
    qelMInt m_iWidth;    // view size
    qelMInt m_iHeight;
    CT* m_pData;         // first element of the view; null exactly when empty
};

// An image of T's element type whose channel count is tied to T, so that a
// row is an array of T. Pixel types declare ElementType and ChannelNum.
template <class T>
class CCompositeImage : public CImage<typename T::ElementType> {
public:
    typedef typename T::ElementType E;
    typedef CImage<E> CBase;
    static constexpr qelMInt ChannelNum = T::ChannelNum;
    static_assert(sizeof(T) == sizeof(E) * ChannelNum, "pixel type must have no padding");

    CCompositeImage() noexcept = default;
    CCompositeImage(const CCompositeImage& rhs) : CBase(rhs) {}
    ~CCompositeImage() override = default;

    CCompositeImage& operator=(const CCompositeImage& rhs)
    {
        CCompositeImage::operator=(static_cast<const CBase&>(rhs));
        return *this;
    }

    // A plain image of the element type is accepted when its channels fit T.
    CBase& operator=(const CBase& rhs) override
    {
        QELAssert(rhs.IsEmpty() || rhs.Channels()==ChannelNum);
        return CBase::operator=(rhs);
    }

    CBase& Share(const NMemAlloc::CRefCntMem& mem, E* pData, qelMInt iWidth, qelMInt iHeight,
                 qelMInt iChannels, qelMInt iStride) override
    {
        QELAssert(iChannels == ChannelNum);
        return CBase::Share(mem, pData, iWidth, iHeight, iChannels, iStride);
    }

    CBase& Attach(E* pData, qelMInt iWidth, qelMInt iHeight, qelMInt iChannels,
                  qelMInt iStride) override
    {
        QELAssert(iChannels == ChannelNum);
        return CBase::Attach(pData, iWidth, iHeight, iChannels, iStride);
    }

    CBase& Create(qelMInt iWidth, qelMInt iHeight, qelMInt iChannels, qelMInt iAlign = 16) override
    {
        QELAssert(iChannels == ChannelNum);
        return CBase::Create(iWidth, iHeight, iChannels, iAlign);
    }

    // Row r as an array of Width() pixels of type T.
    T* PixelRow(qelMInt r) { return reinterpret_cast<T*>(CBase::Row(r)); }
    const T* PixelRow(qelMInt r) const { return reinterpret_cast<const T*>(CBase::Row(r)); }

    // Pixel-by-pixel conversion of src through the NColor::Convert overload
    // for (T, S); an unchanged geometry overwrites the present buffer in place.
    template <class S>
    void ConvertFrom(const CCompositeImage<S>& src)
    {
        if (src.IsEmpty()) {
            std::cout << "Warning: in CCompositeImage::ConvertFrom(), image is empty!\n" << std::flush;
            CBase::Release();
            return;
        }
        Create(src.Width(), src.Height(), ChannelNum);
        for (qelMInt r = 0; r < src.Height(); ++r) {
            Convert(PixelRow(r), src.PixelRow(r), src.Width());
        }
    }
};

} // namespace NImage

#endif // QELLIB_NIMAGE_H
