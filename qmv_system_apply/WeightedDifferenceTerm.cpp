// Periodic weighted first-difference regulariser, one row at a time: row i of
// R needs the horizontal differences of row i and the vertical differences of
// rows i - 1 and i, so three row buffers replace the whole-image temporary.
// Every value is formed by the same operations in the same order whichever
// thread computes its row, so the result does not depend on the thread count.
#include "WeightedDifferenceTerm.h"

#include "PlaneImages.h"

#include <omp.h>

#include <algorithm>
#include <vector>

namespace NSysApply {

namespace {

// pDst = Dx^T (w .* Dx x) for one row: t(j) = (x(j+1) - x(j)) w(j) with the last
// column wrapping to the first, then dst(j) = t(j-1) - t(j), dst(0) = t(W-1) - t(0).
void HorizontalRow(double* pDst, const double* pX, const double* pW, double* pT, int iCols, int iPlanes)
{
    const std::size_t iLast = static_cast<std::size_t>(iCols - 1) * iPlanes;
    for (std::size_t m = 0; m < iLast; ++m) pT[m] = (pX[m + iPlanes] - pX[m]) * pW[m];
    for (int c = 0; c < iPlanes; ++c) pT[iLast + c] = (pX[c] - pX[iLast + c]) * pW[iLast + c];
    for (int c = 0; c < iPlanes; ++c) pDst[c] = pT[iLast + c] - pT[c];
    for (std::size_t m = iPlanes; m <= iLast + iPlanes - 1; ++m) pDst[m] = pT[m - iPlanes] - pT[m];
}

// Rows of a stack of images of iPlaneRows rows each (one image: all rows);
// the vertical differences wrap within each image.
struct CStackRows {
    int iPlaneRows;
    int Next(int i) const { return (i + 1) % iPlaneRows == 0 ? i + 1 - iPlaneRows : i + 1; }
    int Previous(int i) const { return i % iPlaneRows == 0 ? i + iPlaneRows - 1 : i - 1; }
};

// pT = w .* Dy x for row i, the last row of an image taking its first as its
// lower neighbour.
void VerticalDifferenceRow(double* pT, const cv::Mat& imgX, const cv::Mat& imgW, const CStackRows& stack, int i)
{
    const std::size_t iValues = static_cast<std::size_t>(imgX.cols) * imgX.channels();
    const double* pX = imgX.ptr<double>(i);
    const double* pXNext = imgX.ptr<double>(stack.Next(i));
    const double* pW = imgW.ptr<double>(i);
    for (std::size_t m = 0; m < iValues; ++m) pT[m] = (pXNext[m] - pX[m]) * pW[m];
}

// imgDst = R(x) for each image of the stack, each element then multiplied by
// pScale[0] when pScale is given. The rows of all images are shared out among
// the threads in one parallel region.
void WeightedDifferenceRows(cv::Mat& imgDst, const cv::Mat& imgX, const cv::Mat& imgW, int iPlaneRows, const double* pScale)
{
    CV_Assert(imgX.depth() == CV_64F && imgX.dims == 2 && !imgX.empty() && imgX.rows % iPlaneRows == 0);
    CV_Assert(imgW.size() == imgX.size() && imgW.type() == imgX.type());
    imgDst.create(imgX.rows, imgX.cols, imgX.type());
    const int iRows = imgX.rows, iCols = imgX.cols, iPlanes = imgX.channels();
    const CStackRows stack{iPlaneRows};
    const std::size_t iValues = static_cast<std::size_t>(iCols) * iPlanes;
    // Per thread: horizontal differences, and the vertical differences of the
    // previous and the current row.
    const int iThreads = iRows >= 64 ? omp_get_max_threads() : 1;
    const std::size_t iPerThread = 3 * iValues;
    std::vector<double> vecBuffers(static_cast<std::size_t>(iThreads) * iPerThread);
#pragma omp parallel num_threads(iThreads)
    {
        const int iThread = omp_get_thread_num(), iTeam = omp_get_num_threads();
        const int i0 = static_cast<int>(static_cast<long long>(iRows) * iThread / iTeam);
        const int i1 = static_cast<int>(static_cast<long long>(iRows) * (iThread + 1) / iTeam);
        double* pHorizontal = vecBuffers.data() + static_cast<std::size_t>(iThread) * iPerThread;
        double* pPrevious = pHorizontal + iValues;
        double* pCurrent = pPrevious + iValues;
        for (int i = i0; i < i1; ++i) {
            if (i == i0 || i % iPlaneRows == 0) VerticalDifferenceRow(pPrevious, imgX, imgW, stack, stack.Previous(i));
            double* pDst = imgDst.ptr<double>(i);
            HorizontalRow(pDst, imgX.ptr<double>(i), imgW.ptr<double>(i), pHorizontal, iCols, iPlanes);
            VerticalDifferenceRow(pCurrent, imgX, imgW, stack, i);
            for (std::size_t m = 0; m < iValues; ++m) pDst[m] = (pPrevious[m] - pCurrent[m]) + pDst[m];
            if (pScale) {
                for (std::size_t m = 0; m < iValues; ++m) pDst[m] = pDst[m] * *pScale;
            }
            std::swap(pPrevious, pCurrent);
        }
    }
}

}  // namespace

void WeightedDifferenceTerm(cv::Mat& imgDst, const cv::Mat& imgX, const cv::Mat& imgW)
{
    WeightedDifferenceRows(imgDst, imgX, imgW, imgX.rows, nullptr);
}

void ScaledWeightedDifferenceTerm(double* pDst, const CPlanarView& viewX, const CPlanarView& viewW, double dEta)
{
    CV_Assert(viewW.iRows == viewX.iRows && viewW.iCols == viewX.iCols && viewW.iPlanes == viewX.iPlanes && !viewW.bComplex);
    // R commutes with transposition and forms each element as the sum of the
    // same two differences (in the other order, which gives the same bits), so
    // the transposed planes, stacked, give R of the image exactly.
    const int H = viewX.iRows, W = viewX.iCols, P = viewX.iPlanes;
    cv::Mat imgDst = StackedPlanes(pDst, H, W, P);
    const cv::Mat imgX = StackedPlanes(const_cast<double*>(viewX.pData), H, W, P);
    const cv::Mat imgW = StackedPlanes(const_cast<double*>(viewW.pData), H, W, P);
    WeightedDifferenceRows(imgDst, imgX, imgW, W, &dEta);
}

}  // namespace NSysApply
