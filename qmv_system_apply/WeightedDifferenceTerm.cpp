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

// Row i of the weights as interleaved values.
class CMatWeights {
public:
    explicit CMatWeights(const cv::Mat& imgW) : m_imgW(imgW) {}
    static constexpr int BLOCK_ROWS = 0;  // rows are read in place
    const double* Row(int i, double*, int*) const { return m_imgW.ptr<double>(i); }

private:
    const cv::Mat& m_imgW;
};

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

// pT = w .* Dy x for row i, the last row taking the first as its lower neighbour.
void VerticalDifferenceRow(double* pT, const cv::Mat& imgX, const double* pW, int i)
{
    const int iNext = (i + 1 < imgX.rows) ? i + 1 : 0;
    const std::size_t iValues = static_cast<std::size_t>(imgX.cols) * imgX.channels();
    const double* pX = imgX.ptr<double>(i);
    const double* pXNext = imgX.ptr<double>(iNext);
    for (std::size_t m = 0; m < iValues; ++m) pT[m] = (pXNext[m] - pX[m]) * pW[m];
}

// imgDst = R(x), each element then multiplied by pScale[0] when pScale is given.
template <class TWeights>
void WeightedDifferenceRows(cv::Mat& imgDst, const cv::Mat& imgX, const TWeights& weights, const double* pScale)
{
    CV_Assert(imgX.depth() == CV_64F && imgX.dims == 2 && !imgX.empty());
    imgDst.create(imgX.rows, imgX.cols, imgX.type());
    const int iRows = imgX.rows, iCols = imgX.cols, iPlanes = imgX.channels();
    const std::size_t iValues = static_cast<std::size_t>(iCols) * iPlanes;
    // Per thread: a block of weight rows, horizontal differences, and the
    // vertical differences of the previous and the current row.
    const int iThreads = iRows >= 64 ? omp_get_max_threads() : 1;
    const std::size_t iPerThread = static_cast<std::size_t>(TWeights::BLOCK_ROWS + 3) * iValues;
    std::vector<double> vecBuffers(static_cast<std::size_t>(iThreads) * iPerThread);
#pragma omp parallel num_threads(iThreads)
    {
        const int iThread = omp_get_thread_num(), iTeam = omp_get_num_threads();
        const int i0 = static_cast<int>(static_cast<long long>(iRows) * iThread / iTeam);
        const int i1 = static_cast<int>(static_cast<long long>(iRows) * (iThread + 1) / iTeam);
        double* pHorizontal = vecBuffers.data() + static_cast<std::size_t>(iThread) * iPerThread;
        double* pPrevious = pHorizontal + iValues;
        double* pCurrent = pPrevious + iValues;
        double* pWeights = pCurrent + iValues;
        int iWeightsFirst = -1;
        if (i0 < i1) {
            const int iBefore = i0 > 0 ? i0 - 1 : iRows - 1;
            VerticalDifferenceRow(pPrevious, imgX, weights.Row(iBefore, pWeights, &iWeightsFirst), iBefore);
        }
        for (int i = i0; i < i1; ++i) {
            const double* pW = weights.Row(i, pWeights, &iWeightsFirst);
            double* pDst = imgDst.ptr<double>(i);
            HorizontalRow(pDst, imgX.ptr<double>(i), pW, pHorizontal, iCols, iPlanes);
            VerticalDifferenceRow(pCurrent, imgX, pW, i);
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
    CV_Assert(imgW.size() == imgX.size() && imgW.type() == imgX.type());
    WeightedDifferenceRows(imgDst, imgX, CMatWeights(imgW), nullptr);
}

void ScaledWeightedDifferenceTerm(double* pDst, const CPlanarView& viewX, const CPlanarView& viewW, double dEta)
{
    CV_Assert(viewW.iRows == viewX.iRows && viewW.iCols == viewX.iCols && viewW.iPlanes == viewX.iPlanes && !viewW.bComplex);
    // R commutes with transposition and forms each element as the sum of the
    // same two differences (in the other order, which gives the same bits), so
    // the transposed planes give R of the image exactly.
    for (int c = 0; c < viewX.iPlanes; ++c) {
        cv::Mat imgDst = TransposedPlane(pDst, viewX.iRows, viewX.iCols, c);
        const cv::Mat imgW = TransposedPlane(viewW, c);
        WeightedDifferenceRows(imgDst, TransposedPlane(viewX, c), CMatWeights(imgW), &dEta);
    }
}

}  // namespace NSysApply
