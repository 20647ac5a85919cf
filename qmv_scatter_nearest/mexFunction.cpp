// qmv_scatter_nearest: imgWarped = qmv_scatter_nearest(img, imgMap), the
// transpose of a nearest-neighbour remap. Holds the entry, which checks the
// arguments and scatters straight between the arrays, and the scatter on
// library images with its array copies, which the tests hold the entry's
// path against.
#include "mex.h"

#include "mexglue/ModuleUnload.h"

#include "MxImageCopy.h"
#include "ScatterArrays.h"
#include "ScatterNearest.h"

#include "QELLib/NException.h"
#include "QELLib/NImage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <string>
#include <vector>

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
    {
    }

    double* operator()(qelMInt x)
    {
        const double vx = m_pMap[x].x;
        const double vy = m_pMap[x].y;
        if (!std::isfinite(vx) || !std::isfinite(vy)) {
            m_vIllegal.push_back(CIllegalVector{x, m_y});
            return nullptr;
        }
        return m_imgWarped.Pixel(NearestClamped(vx, m_imgWarped.Width()),
                                 NearestClamped(vy, m_imgWarped.Height()));
    }

private:
    NImage::CImage<double>& m_imgWarped;
    const NSmallVector::CVector2D<double>* m_pMap;
    qelMInt m_y;
    std::vector<CIllegalVector>& m_vIllegal;
};

} // namespace

void ScatterNearest(NImage::CImage<double>& imgWarped, const NImage::CImage<double>& img,
                    const CMapImage& imgMap, std::vector<CIllegalVector>& vIllegal)
{
    const qelMInt width = img.Width();
    const qelMInt height = img.Height();
    const qelMInt channels = img.Channels();
    QELAssert(width==imgMap.Width() && height==imgMap.Height());
    QELAssert(width==imgWarped.Width() && height==imgWarped.Height() && channels==imgWarped.Channels());

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
    NMxImageCopy::CopyColumnMajorToImage(mxGetPr(pmxMap), imgMap,
                                         [](double v) { return v - 1.0; });
}

} // namespace

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

namespace {

enum { IN_IMG, IN_MAP, NUM_IN };
enum { OUT_WARPED, NUM_OUT };

bool FitsImageSize(mwSize n)
{
    const std::uint64_t iMax = static_cast<std::uint64_t>(std::numeric_limits<qelMInt>::max());
    return n > 0 && static_cast<std::uint64_t>(n) <= iMax;
}

// The first failed check in the documented order, or null. The refusals
// after the documented checks keep every value a caller can pass away from
// the library's fatal assertions and from reading beyond an array.
const char* CheckArguments(int nlhs, int nrhs, const mxArray* prhs[])
{
    if (nlhs != NUM_OUT || nrhs != NUM_IN) {
        return "Usage: imgWarped = qmv_scatter_nearest(img, imgMap)";
    }
    const mxArray* pmxImg = prhs[IN_IMG];
    const mxArray* pmxMap = prhs[IN_MAP];
    if (!mxIsDouble(pmxImg) || !mxIsDouble(pmxMap)) {
        return "Error: data format is not double!";
    }
    const mwSize iImgDims = mxGetNumberOfDimensions(pmxImg);
    if (iImgDims < 2 || iImgDims > 3) {
        return "Error: img must be an image!";
    }
    if (mxGetNumberOfDimensions(pmxMap) != 3) {
        return "Error: imgMap must be a vector field!";
    }
    const mwSize* pMapDims = mxGetDimensions(pmxMap);
    if (pMapDims[2] != 2) {
        return "Error: size(imgMap, 3) MUST == 2!";
    }
    if (mxIsSparse(pmxImg) || mxIsSparse(pmxMap)) {
        return "Error: sparse arrays are not supported!";
    }
    const mwSize* pImgDims = mxGetDimensions(pmxImg);
    if (mxGetNumberOfElements(pmxImg) == 0) {
        return "Error: img must not be empty!";
    }
    if (!FitsImageSize(pImgDims[0]) || !FitsImageSize(pImgDims[1]) ||
        (iImgDims == 3 && !FitsImageSize(pImgDims[2]))) {
        return "Error: img is too large!";
    }
    if (pMapDims[0] != pImgDims[0] || pMapDims[1] != pImgDims[1]) {
        return "Error: imgMap must have the same height and width as img!";
    }
    return nullptr;
}

} // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    NMexGlue::ReleaseAtUnload();
    const char* pCheckError = CheckArguments(nlhs, nrhs, prhs);
    if (pCheckError) {
        mexErrMsgTxt(pCheckError);
        return;
    }
    const mxArray* pmxImg = prhs[IN_IMG];
    // The scatter writes every element (0.0 where no source lands), so the
    // host need not clear the array first: with the memory cold after other
    // work, that pass costs as much as a third of the call.
    const mwSize iDims = mxGetNumberOfDimensions(pmxImg);
    mwSize aDims[3] = {};
    std::copy_n(mxGetDimensions(pmxImg), iDims, aDims);
    plhs[OUT_WARPED] = mxCreateUninitNumericArray(iDims, aDims, mxDOUBLE_CLASS, mxREAL);

    // Only the library's and the runtime's failures are caught here; the
    // computation makes no host call that could raise a host error.
    bool bFailed = false;
    std::string sError;
    std::vector<CIllegalVector> vIllegal;
    try {
        ScatterArraysInPlace(pmxImg, prhs[IN_MAP], plhs[OUT_WARPED], vIllegal);
    } catch (const std::exception& e) {
        bFailed = true;
        sError = e.what();
    } catch (...) {
        bFailed = true;
        sError = "Error: qmv_scatter_nearest failed!";
    }
    if (bFailed) {
        std::vector<CIllegalVector>().swap(vIllegal);
        mexErrMsgTxt(sError.c_str());
        return;
    }
    for (const CIllegalVector& v : vIllegal) {
        mexPrintf("__warning: illegal flow vector at (%d, %d)\n", static_cast<int>(v.x),
                  static_cast<int>(v.y));
        mexEvalString("drawnow;");
    }
}
