// CImage2D<T>: a row-major image in a reference-counted block. Rows are padded
// so that every row starts on a 16-byte boundary; assigning an image shares its
// block instead of copying pixels.
#ifndef DPX_IMAGE2D_H
#define DPX_IMAGE2D_H

#include "RefCntMem.h"

#include <climits>
#include <cstdint>
#include <string>

template <class T>
class CImage2D : public CRefCntMem {
public:
    static constexpr int iMaxExtent = 32767;

    CImage2D() = default;
    CImage2D(const CImage2D& img) : CRefCntMem() { ShareAssign(img); }
    CImage2D& operator=(const CImage2D& img)
    {
        ShareAssign(img);
        return *this;
    }
    ~CImage2D() override
    {
        Release();
        ClearGeometry();
    }

    // Gives the image iWidth x iHeight fresh, uninitialised pixels; keeps block
    // and contents when the size is unchanged and storage is held. Throws the
    // bad-size message for extents outside 1..32767, and for images whose storage
    // would not fit the 32-bit byte count of a block.
    void Resize(int iWidth, int iHeight);

    int GetWidth() const { return m_iWidth; }
    int GetHeight() const { return m_iHeight; }
    int GetStride() const { return m_iStride; }
    T* GetPixels() const { return m_pPixels; }
    T* GetRow(int y) const { return m_pPixels + static_cast<std::ptrdiff_t>(y) * m_iStride; }
    T& At(int x, int y) const { return GetRow(y)[x]; }

    // Smallest stride >= iWidth whose rows are a multiple of 16 bytes.
    static int StrideFor(int iWidth)
    {
        int iStride = iWidth;
        while ((static_cast<long long>(iStride) * sizeof(T)) % 16 != 0) ++iStride;
        return iStride;
    }

private:
    void ShareAssign(const CImage2D& img);
    void ClearGeometry()
    {
        m_iWidth = m_iHeight = m_iStride = 0;
        m_pPixels = nullptr;
    }

    int m_iWidth = 0;
    int m_iHeight = 0;
    int m_iStride = 0;
    T* m_pPixels = nullptr;
};

template <class T>
void CImage2D<T>::Resize(int iWidth, int iHeight)
{
    if (iWidth == m_iWidth && iHeight == m_iHeight && GetPayloadOffset() == iPayloadOffset) return;
    Release();
    ClearGeometry();
    const std::string sBadSize = "Error: CImage2D::Resize() failed, bad size!";
    if (iWidth < 1 || iWidth > iMaxExtent || iHeight < 1 || iHeight > iMaxExtent) throw sBadSize;
    const int iStride = StrideFor(iWidth);
    // The block's byte count is a signed 32-bit value; a larger image is refused
    // rather than given a truncated block.
    const long long nBytes = static_cast<long long>(iHeight) * iStride * static_cast<long long>(sizeof(T));
    if (nBytes > INT_MAX) throw sBadSize;
    Allocate(static_cast<int>(nBytes));  // may throw; the image then stays empty
    m_iWidth = iWidth;
    m_iHeight = iHeight;
    m_iStride = iStride;
    m_pPixels = static_cast<T*>(GetPayload());
}

template <class T>
void CImage2D<T>::ShareAssign(const CImage2D& img)
{
    if (!SharesBlockWith(img)) ShareFrom(img);
    m_iWidth = img.m_iWidth;
    m_iHeight = img.m_iHeight;
    m_iStride = img.m_iStride;
    m_pPixels = img.m_pPixels;
}

#endif
