// Periodic weighted first-difference regulariser, one row at a time: row i of
// R needs the horizontal differences of row i and the vertical differences of
// rows i - 1 and i, so three row buffers replace the whole-image temporary.
// Every value is formed by the same operations in the same order whichever
// thread computes its row, so the result does not depend on the thread count.
#include "regulariser/WeightedDifferenceTerm.h"

#include "conversions/PlaneImages.h"

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

// pT = w .* Dy x for row i, the last row of an image taking its first as its
// lower neighbour.
void VerticalDifferenceRow(double* pT, const cv::Mat& imgX, const cv::Mat& imgW, int iNext, int i)
{
    const std::size_t iValues = static_cast<std::size_t>(imgX.cols) * imgX.channels();
    const double* pX = imgX.ptr<double>(i);
    const double* pXNext = imgX.ptr<double>(iNext);
    const double* pW = imgW.ptr<double>(i);
    for (std::size_t m = 0; m < iValues; ++m) pT[m] = (pXNext[m] - pX[m]) * pW[m];
}

// Rows shared out among the threads in one parallel region, a share each.
void ComputeInParallel(const CWeightedDifferenceRows& rows)
{
    const int iRows = rows.Rows();
    const int iThreads = iRows >= 64 ? omp_get_max_threads() : 1;
    std::vector<double> vecScratch(static_cast<std::size_t>(iThreads) * rows.ScratchSize());
#pragma omp parallel num_threads(iThreads)
    {
        const int iThread = omp_get_thread_num(), iTeam = omp_get_num_threads();
        const int i0 = static_cast<int>(static_cast<long long>(iRows) * iThread / iTeam);
        const int i1 = static_cast<int>(static_cast<long long>(iRows) * (iThread + 1) / iTeam);
        rows.Compute(i0, i1, vecScratch.data() + static_cast<std::size_t>(iThread) * rows.ScratchSize());
    }
}

}  // namespace

CWeightedDifferenceRows::CWeightedDifferenceRows(cv::Mat& imgDst, const cv::Mat& imgX, const cv::Mat& imgW,
                                                 int iPlaneRows, const double* pScale)
    : m_imgDst(imgDst), m_imgX(imgX), m_imgW(imgW), m_iPlaneRows(iPlaneRows), m_pScale(pScale)
{
    CV_Assert(imgX.depth() == CV_64F && imgX.dims == 2 && !imgX.empty() && iPlaneRows > 0 &&
              imgX.rows % iPlaneRows == 0);
    CV_Assert(imgW.size() == imgX.size() && imgW.type() == imgX.type());
    CV_Assert(imgDst.size() == imgX.size() && imgDst.type() == imgX.type());
}

std::size_t CWeightedDifferenceRows::ScratchSize() const
{
    return 3 * static_cast<std::size_t>(m_imgX.cols) * m_imgX.channels();
}

int CWeightedDifferenceRows::Next(int i) const { return (i + 1) % m_iPlaneRows == 0 ? i + 1 - m_iPlaneRows : i + 1; }
int CWeightedDifferenceRows::Previous(int i) const { return i % m_iPlaneRows == 0 ? i + m_iPlaneRows - 1 : i - 1; }

void CWeightedDifferenceRows::Compute(int iBegin, int iEnd, double* pScratch) const
{
    const int iCols = m_imgX.cols, iPlanes = m_imgX.channels();
    const std::size_t iValues = static_cast<std::size_t>(iCols) * iPlanes;
    // Horizontal differences, and the vertical differences of the previous
    // and the current row.
    double* pHorizontal = pScratch;
    double* pPrevious = pHorizontal + iValues;
    double* pCurrent = pPrevious + iValues;
    for (int i = iBegin; i < iEnd; ++i) {
        if (i == iBegin || i % m_iPlaneRows == 0) {
            const int iBefore = Previous(i);
            VerticalDifferenceRow(pPrevious, m_imgX, m_imgW, Next(iBefore), iBefore);
        }
        double* pDst = m_imgDst.ptr<double>(i);
        HorizontalRow(pDst, m_imgX.ptr<double>(i), m_imgW.ptr<double>(i), pHorizontal, iCols, iPlanes);
        VerticalDifferenceRow(pCurrent, m_imgX, m_imgW, Next(i), i);
        for (std::size_t m = 0; m < iValues; ++m) pDst[m] = (pPrevious[m] - pCurrent[m]) + pDst[m];
        if (m_pScale) {
            for (std::size_t m = 0; m < iValues; ++m) pDst[m] = pDst[m] * *m_pScale;
        }
        std::swap(pPrevious, pCurrent);
    }
}

void WeightedDifferenceTerm(cv::Mat& imgDst, const cv::Mat& imgX, const cv::Mat& imgW)
{
    imgDst.create(imgX.rows, imgX.cols, imgX.type());
    ComputeInParallel(CWeightedDifferenceRows(imgDst, imgX, imgW, imgX.rows, nullptr));
}

CStackedRegulariser::CStackedRegulariser(double* pDst, const CPlanarView& viewX, const CPlanarView& viewW, double dEta)
    : m_imgDst(StackedPlanes(pDst, viewX.iRows, viewX.iCols, viewX.iPlanes)),
      m_imgX(StackedPlanes(const_cast<double*>(viewX.pData), viewX.iRows, viewX.iCols, viewX.iPlanes)),
      m_imgW(StackedPlanes(const_cast<double*>(viewW.pData), viewX.iRows, viewX.iCols, viewX.iPlanes)), m_dEta(dEta),
      m_rows(m_imgDst, m_imgX, m_imgW, viewX.iCols, &m_dEta)
{
    CV_Assert(viewW.iRows == viewX.iRows && viewW.iCols == viewX.iCols && viewW.iPlanes == viewX.iPlanes &&
              !viewW.bComplex);
}

void ScaledWeightedDifferenceTerm(double* pDst, const CPlanarView& viewX, const CPlanarView& viewW, double dEta)
{
    const CStackedRegulariser regulariser(pDst, viewX, viewW, dEta);
    ComputeInParallel(regulariser.Rows());
}

}  // namespace NSysApply
