// mx2cv / cv2mx / mx2view. Sizes beyond what a 32-bit int or an OpenCV channel
// count can hold are refused before any matrix is created, so no caller input
// reaches an OpenCV assertion or a wrapped index.
#include "conversions/MatConversion.h"

#include <algorithm>
#include <climits>
#include <new>

namespace NSysApply {

namespace {

const char* const MSG_NULL = "Error: in mx2cv, pmxSrc == 0!\n";
const char* const MSG_SPARSE = "Error: in mx2cv, sparse input is not supported!\n";
const char* const MSG_TYPE = "Error: in mx2cv, type mismatch!\n";
const char* const MSG_SIZE = "Error: in mx2cv, invalid size!\n";
const char* const MSG_ALLOC = "Error: in mx2cv, cannot allocate matrix!\n";
const char* const MSG_EMPTY = "Warning: in cv2mx, imgSrc is empty!\n";
const char* const MSG_DIMS = "Warning: in cv2mx, dimension mismatch!\n";
const char* const MSG_DEPTH = "Warning: in cv2mx, type mismatch!\n";

struct CGeometry {
    int iRows;
    int iCols;
    int iPlanes;
    bool bComplex;
};

bool FitsInt(mwSize iDim) { return static_cast<unsigned long long>(iDim) <= static_cast<unsigned long long>(INT_MAX); }

// Steps shared by mx2cv and mx2view: null, sparse, class, then the geometry.
// A page count of 0, more channels than OpenCV holds and non-singleton
// dimensions beyond the third (which would be silently dropped) are refused.
CGeometry CheckSource(const mxArray* pmxSrc, cv::Mat* pRelease)
{
    if (pmxSrc == nullptr) {
        if (pRelease) pRelease->release();
        mexErrMsgTxt(MSG_NULL);
    }
    if (mxIsSparse(pmxSrc)) {
        if (pRelease) pRelease->release();
        mexErrMsgTxt(MSG_SPARSE);
    }
    if (mxGetClassID(pmxSrc) != mxDOUBLE_CLASS) {
        if (pRelease) pRelease->release();
        mexErrMsgTxt(MSG_TYPE);
    }
    const mwSize iDims = mxGetNumberOfDimensions(pmxSrc);
    const mwSize* pDims = mxGetDimensions(pmxSrc);
    if (!FitsInt(pDims[0]) || !FitsInt(pDims[1])) mexErrMsgTxt(MSG_SIZE);
    CGeometry geo{static_cast<int>(pDims[0]), static_cast<int>(pDims[1]), 1, mxIsComplex(pmxSrc)};
    if (iDims > 2) {
        if (!FitsInt(pDims[2]) || pDims[2] == 0) mexErrMsgTxt(MSG_SIZE);
        geo.iPlanes = static_cast<int>(pDims[2]);
        for (mwSize d = 3; d < iDims; ++d) {
            if (pDims[d] != 1) mexErrMsgTxt(MSG_SIZE);
        }
    }
    const long long iChannels = geo.bComplex ? 2LL * geo.iPlanes : geo.iPlanes;
    if (iChannels > CV_CN_MAX) mexErrMsgTxt(MSG_SIZE);
    return geo;
}

// Creates the destination; a failed allocation becomes a host error raised
// outside the catch, so the host's own unwinding is never intercepted.
void CreateDestination(cv::Mat& imgDst, int iRows, int iCols, int iChannels)
{
    bool bFailed = false;
    try {
        imgDst.create(iRows, iCols, CV_64FC(iChannels));
    } catch (const cv::Exception&) {
        bFailed = true;
    } catch (const std::bad_alloc&) {
        bFailed = true;
    }
    if (bFailed) {
        imgDst.release();
        mexErrMsgTxt(MSG_ALLOC);
    }
}

// Both copies are split over rows (mx2cv) or columns (cv2mx) on the OpenMP
// team: each thread writes its own part, so the result is the same for any
// thread count, and the calling thread makes every host call before and after.
bool CopyInParallel(const CGeometry& geo)
{
    return static_cast<long long>(geo.iRows) * geo.iCols * geo.iPlanes >= (1 << 16);
}

// Rows are handled in blocks: a block reads short contiguous runs down each
// column of the array instead of one value per column and page.
constexpr int COPY_BLOCK_ROWS = 16;

void CopyPagesToChannels(const double* pSrc, cv::Mat& imgDst, const CGeometry& geo, int iFirstChannel, int iStride)
{
    const std::size_t iPlane = static_cast<std::size_t>(geo.iRows) * static_cast<std::size_t>(geo.iCols);
    const std::size_t iStep = static_cast<std::size_t>(imgDst.channels());
    const int iBlocks = (geo.iRows + COPY_BLOCK_ROWS - 1) / COPY_BLOCK_ROWS;
#pragma omp parallel for schedule(static) if (CopyInParallel(geo))
    for (int b = 0; b < iBlocks; ++b) {
        const int y0 = b * COPY_BLOCK_ROWS, y1 = std::min(y0 + COPY_BLOCK_ROWS, geo.iRows);
        for (int c = 0; c < geo.iPlanes; ++c) {
            const std::size_t iChannel =
                static_cast<std::size_t>(iFirstChannel) + static_cast<std::size_t>(c) * iStride;
            for (int x = 0; x < geo.iCols; ++x) {
                const double* pIn =
                    pSrc + static_cast<std::size_t>(c) * iPlane + static_cast<std::size_t>(x) * geo.iRows;
                const std::size_t iAt = static_cast<std::size_t>(x) * iStep + iChannel;
                for (int y = y0; y < y1; ++y) imgDst.ptr<double>(y)[iAt] = pIn[y];
            }
        }
    }
}

}  // namespace

void mx2cv(const mxArray* pmxSrc, cv::Mat& imgDst)
{
    const CGeometry geo = CheckSource(pmxSrc, &imgDst);
    CreateDestination(imgDst, geo.iRows, geo.iCols, geo.bComplex ? 2 * geo.iPlanes : geo.iPlanes);
    if (geo.iRows == 0 || geo.iCols == 0) return;
    const double* pReal = static_cast<const double*>(mxGetData(pmxSrc));
    if (!geo.bComplex) {
        CopyPagesToChannels(pReal, imgDst, geo, 0, 1);
        return;
    }
    const double* pImag = static_cast<const double*>(mxGetImagData(pmxSrc));
    CopyPagesToChannels(pReal, imgDst, geo, 0, 2);
    CopyPagesToChannels(pImag, imgDst, geo, 1, 2);
}

void mx2view(const mxArray* pmxSrc, CPlanarView& viewDst)
{
    viewDst = CPlanarView{};
    const CGeometry geo = CheckSource(pmxSrc, nullptr);
    viewDst.iRows = geo.iRows;
    viewDst.iCols = geo.iCols;
    viewDst.iPlanes = geo.iPlanes;
    viewDst.bComplex = geo.bComplex;
    viewDst.pData = static_cast<const double*>(mxGetData(pmxSrc));
}

mxArray* CreateResultArray(const CPlanarView& viewLike)
{
    // Every element is written by the operator, so the host need not clear
    // the array (a pass over it, with the memory cold after other work).
    mwSize pDims[3] = {static_cast<mwSize>(viewLike.iRows), static_cast<mwSize>(viewLike.iCols),
                       static_cast<mwSize>(viewLike.iPlanes)};
    mxArray* pmxDst = mxCreateUninitNumericArray(3, pDims, mxDOUBLE_CLASS, mxREAL);
    if (pmxDst == nullptr) mexErrMsgTxt(MSG_ALLOC);
    return pmxDst;
}

void cv2mx(const cv::Mat& imgSrc, mxArray*& pmxDst)
{
    if (imgSrc.data == nullptr || imgSrc.total() == 0) mexErrMsgTxt(MSG_EMPTY);
    if (imgSrc.dims != 2) mexErrMsgTxt(MSG_DIMS);
    if (imgSrc.depth() != CV_64F) mexErrMsgTxt(MSG_DEPTH);
    const int iPlanes = imgSrc.channels();
    const mwSize pDims[3] = {static_cast<mwSize>(imgSrc.rows), static_cast<mwSize>(imgSrc.cols),
                             static_cast<mwSize>(iPlanes)};
    pmxDst = mxCreateNumericArray(3, pDims, mxDOUBLE_CLASS, mxREAL);
    if (pmxDst == nullptr) mexErrMsgTxt(MSG_ALLOC);
    double* pOut = static_cast<double*>(mxGetData(pmxDst));
    const std::size_t iRows = static_cast<std::size_t>(imgSrc.rows);
    const std::size_t iPlane = iRows * static_cast<std::size_t>(imgSrc.cols);
    const CGeometry geo{imgSrc.rows, imgSrc.cols, iPlanes, false};
#pragma omp parallel for schedule(static) if (CopyInParallel(geo))
    for (int x = 0; x < imgSrc.cols; ++x) {
        for (int c = 0; c < iPlanes; ++c) {
            double* pColumn = pOut + static_cast<std::size_t>(c) * iPlane + static_cast<std::size_t>(x) * iRows;
            const std::size_t iAt = static_cast<std::size_t>(x) * iPlanes + c;
            for (int y = 0; y < imgSrc.rows; ++y) pColumn[y] = imgSrc.ptr<double>(y)[iAt];
        }
    }
}

}  // namespace NSysApply
