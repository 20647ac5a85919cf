// Exact copies between a MATLAB double array (column-major, H x W x K) and a
// library image of width W, height H and K interleaved channels.
//
// Element (row y, column x, plane c) at linear index y + x*H + c*H*W of the
// array is channel c of pixel (x, y). Only the real part of an array is read
// or written. The image must already have the array's geometry; a mismatch
// throws NException::LogicError instead of reading or writing out of bounds.
#ifndef QMV_REFERENCE_MX_IMAGE_COPY_H
#define QMV_REFERENCE_MX_IMAGE_COPY_H

#include "mex.h"

#include "QELLib/NException.h"
#include "QELLib/NImage.h"

#include <cstddef>

namespace NMxImageCopy {

// Rows handled together: reading this many consecutive doubles of one array
// column uses a whole cache line, and the rows written stay in cache.
constexpr qelMInt kRowTile = 8;

// True when pmx is a dense double array of H rows, W columns and K planes.
template <class CT>
bool HasImageGeometry(const mxArray* pmx, const NImage::CImage<CT>& img)
{
    if (!pmx || !mxIsDouble(pmx) || mxIsSparse(pmx) || img.IsEmpty()) {
        return false;
    }
    const mwSize* pDims = mxGetDimensions(pmx);
    const size_t iPlane = static_cast<size_t>(img.Width()) * static_cast<size_t>(img.Height());
    return static_cast<size_t>(pDims[0]) == static_cast<size_t>(img.Height()) &&
           static_cast<size_t>(pDims[1]) == static_cast<size_t>(img.Width()) &&
           mxGetNumberOfElements(pmx) == iPlane * static_cast<size_t>(img.Channels());
}

// Column-major data of the image's geometry into the image, each element
// passed through fnConvert (so a caller can shift values in the same pass).
template <class CT, class FConvert>
void CopyColumnMajorToImage(const double* pSrc, NImage::CImage<CT>& img, FConvert fnConvert)
{
    const qelMInt iW = img.Width(), iH = img.Height(), iK = img.Channels();
    const std::ptrdiff_t iPlane = static_cast<std::ptrdiff_t>(iW) * iH;
    CT* apRows[kRowTile];
    for (qelMInt y0 = 0; y0 < iH; y0 += kRowTile) {
        const qelMInt iRows = (iH - y0 < kRowTile) ? iH - y0 : kRowTile;
        for (qelMInt i = 0; i < iRows; ++i) {
            apRows[i] = img.Row(y0 + i);
        }
        for (qelMInt c = 0; c < iK; ++c) {
            const double* pPlane = pSrc + c * iPlane + y0;
            for (qelMInt x = 0; x < iW; ++x) {
                const double* pCol = pPlane + static_cast<std::ptrdiff_t>(x) * iH;
                const std::ptrdiff_t iElem = static_cast<std::ptrdiff_t>(x) * iK + c;
                for (qelMInt i = 0; i < iRows; ++i) {
                    apRows[i][iElem] = fnConvert(pCol[i]);
                }
            }
        }
    }
}

template <class CT>
void CopyColumnMajorToImage(const double* pSrc, NImage::CImage<CT>& img)
{
    CopyColumnMajorToImage(pSrc, img, [](double v) { return static_cast<CT>(v); });
}

// The exact inverse of CopyColumnMajorToImage.
template <class CT>
void CopyImageToColumnMajor(const NImage::CImage<CT>& img, double* pDst)
{
    const qelMInt iW = img.Width(), iH = img.Height(), iK = img.Channels();
    const std::ptrdiff_t iPlane = static_cast<std::ptrdiff_t>(iW) * iH;
    const CT* apRows[kRowTile];
    for (qelMInt y0 = 0; y0 < iH; y0 += kRowTile) {
        const qelMInt iRows = (iH - y0 < kRowTile) ? iH - y0 : kRowTile;
        for (qelMInt i = 0; i < iRows; ++i) {
            apRows[i] = img.Row(y0 + i);
        }
        for (qelMInt c = 0; c < iK; ++c) {
            double* pPlane = pDst + c * iPlane + y0;
            for (qelMInt x = 0; x < iW; ++x) {
                double* pCol = pPlane + static_cast<std::ptrdiff_t>(x) * iH;
                const std::ptrdiff_t iElem = static_cast<std::ptrdiff_t>(x) * iK + c;
                for (qelMInt i = 0; i < iRows; ++i) {
                    pCol[i] = static_cast<double>(apRows[i][iElem]);
                }
            }
        }
    }
}

}  // namespace NMxImageCopy

// Copies the real part of pmxSrc into img, which must already have been
// created with the array's width, height and channel count.
template <class CT>
void mx2img(const mxArray* pmxSrc, NImage::CImage<CT>& img)
{
    if (!NMxImageCopy::HasImageGeometry(pmxSrc, img)) {
        throw NException::LogicError("Error: mx2img() failed, array and image sizes differ!");
    }
    NMxImageCopy::CopyColumnMajorToImage(mxGetPr(pmxSrc), img);
}

// Writes every element of the existing real double array pmxDst from img.
template <class CT>
void img2mx(const NImage::CImage<CT>& img, mxArray* pmxDst)
{
    if (!NMxImageCopy::HasImageGeometry(pmxDst, img)) {
        throw NException::LogicError("Error: img2mx() failed, array and image sizes differ!");
    }
    NMxImageCopy::CopyImageToColumnMajor(img, mxGetPr(pmxDst));
}

#endif  // QMV_REFERENCE_MX_IMAGE_COPY_H
