// The reference scatter on library images and its array copies.
#include "tests/reference/ReferenceScatterNearest.h"

#include "tests/reference/ReferenceMxImageCopy.h"

#include "mexglue/NearestPixel.h"

#include "QELLib/NException.h"

#include <cmath>

namespace {

// How many pixels ahead a target is found and prefetched: random targets
// miss the cache, and the map names them well before they are needed.
constexpr qelMInt kAhead = 16;

void PrefetchForWrite(const void* p)
{
#if defined(__GNUC__)
    __builtin_prefetch(p, 1);
#else
    static_cast<void>(p);
#endif
}

// Targets of one row, found in visiting order; null for an illegal vector.
class CRowTargets {
public:
    CRowTargets(NImage::CImage<double>& imgWarped, const CMapImage& imgMap, qelMInt y,
                std::vector<CIllegalVector>& vIllegal)
        : m_imgWarped(imgWarped), m_pMap(imgMap.PixelRow(y)), m_y(y), m_vIllegal(vIllegal)
    {}

    double* operator()(qelMInt x)
    {
        const double vx = m_pMap[x].x;
        const double vy = m_pMap[x].y;
        if (!std::isfinite(vx) || !std::isfinite(vy)) {
            m_vIllegal.push_back(CIllegalVector{x, m_y});
            return nullptr;
        }
        return m_imgWarped.Pixel(NMexGlue::NearestIndex(vx, m_imgWarped.Width()),
                                 NMexGlue::NearestIndex(vy, m_imgWarped.Height()));
    }

private:
    NImage::CImage<double>& m_imgWarped;
    const NSmallVector::CVector2D<double>* m_pMap;
    qelMInt m_y;
    std::vector<CIllegalVector>& m_vIllegal;
};

}  // namespace

void ScatterNearest(NImage::CImage<double>& imgWarped, const NImage::CImage<double>& img, const CMapImage& imgMap,
                    std::vector<CIllegalVector>& vIllegal)
{
    const qelMInt width = img.Width();
    const qelMInt height = img.Height();
    const qelMInt channels = img.Channels();
    QELAssert(width == imgMap.Width() && height == imgMap.Height());
    QELAssert(width == imgWarped.Width() && height == imgWarped.Height() && channels == imgWarped.Channels());

    imgWarped.Fill(0.0);
    // Ring of the targets of pixels x .. x + kAhead - 1: each target is found
    // and prefetched kAhead pixels before its addition.
    double* apTargets[kAhead];
    for (qelMInt y = 0; y < height; ++y) {
        CRowTargets target(imgWarped, imgMap, y, vIllegal);
        qelMInt xFound = 0;
        for (; xFound < width && xFound < kAhead; ++xFound) {
            apTargets[xFound] = target(xFound);
        }
        const double* pSrc = img.Row(y);
        for (qelMInt x = 0; x < width; ++x, pSrc += channels) {
            double* pDst = apTargets[x % kAhead];
            if (xFound < width) {
                apTargets[xFound % kAhead] = target(xFound);
                PrefetchForWrite(apTargets[xFound % kAhead]);
                ++xFound;
            }
            if (!pDst) {
                continue;
            }
            for (qelMInt k = 0; k < channels; ++k) {
                pDst[k] = pSrc[k] + pDst[k];
            }
        }
    }
}

namespace {

// Geometry of img, which the entry has checked to fit the library's images.
struct CGeometry {
    qelMInt iWidth;
    qelMInt iHeight;
    qelMInt iChannels;
};

CGeometry ImageGeometry(const mxArray* pmxImg)
{
    const mwSize* pDims = mxGetDimensions(pmxImg);
    CGeometry geo;
    geo.iHeight = static_cast<qelMInt>(pDims[0]);
    geo.iWidth = static_cast<qelMInt>(pDims[1]);
    geo.iChannels = mxGetNumberOfDimensions(pmxImg) == 3 ? static_cast<qelMInt>(pDims[2]) : 1;
    return geo;
}

// The map as 0-based target coordinates: plane 1 (columns) into x, plane 2
// (rows) into y, 1.0 subtracted in the same pass as the copy.
void FillMapImage(const mxArray* pmxMap, CMapImage& imgMap)
{
    NMxImageCopy::CopyColumnMajorToImage(mxGetPr(pmxMap), imgMap, [](double v) { return v - 1.0; });
}

}  // namespace

// Working images live only inside this function, so they are released
// before the caller reports anything through the host.
void ScatterArraysByImages(const mxArray* pmxImg, const mxArray* pmxMap, mxArray* pmxWarped,
                           std::vector<CIllegalVector>& vIllegal)
{
    const CGeometry geo = ImageGeometry(pmxImg);
    NImage::CImage<double> imgSrc;
    NImage::CImage<double> imgOut;
    CMapImage imgMap;
    imgSrc.Create(geo.iWidth, geo.iHeight, geo.iChannels, 16);
    imgOut.Create(geo.iWidth, geo.iHeight, geo.iChannels, 16);
    imgMap.Create(geo.iWidth, geo.iHeight, CMapImage::ChannelNum, 16);
    mx2img(pmxImg, imgSrc);
    FillMapImage(pmxMap, imgMap);
    ScatterNearest(imgOut, imgSrc, imgMap, vIllegal);
    img2mx(imgOut, pmxWarped);
}
