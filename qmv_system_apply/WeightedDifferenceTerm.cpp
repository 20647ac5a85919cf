// Periodic weighted first-difference regulariser. Every value is formed the
// same way whichever rows a thread handles, so the result does not depend on
// the thread count.
#include "WeightedDifferenceTerm.h"

namespace NSysApply {

namespace {

// t = w .* Dx x and dst = Dx^T t, one row at a time (the wrap stays in the row).
void HorizontalPart(cv::Mat& imgDst, const cv::Mat& imgX, const cv::Mat& imgW, cv::Mat& imgT, int y)
{
    const int iCols = imgX.cols;
    const int iPlanes = imgX.channels();
    const double* pX = imgX.ptr<double>(y);
    const double* pW = imgW.ptr<double>(y);
    double* pT = imgT.ptr<double>(y);
    double* pD = imgDst.ptr<double>(y);
    const std::size_t iLast = static_cast<std::size_t>(iCols - 1) * iPlanes;
    for (int c = 0; c < iPlanes; ++c) {
        for (std::size_t m = c; m < iLast; m += iPlanes) pT[m] = (pX[m + iPlanes] - pX[m]) * pW[m];
        pT[iLast + c] = (pX[c] - pX[iLast + c]) * pW[iLast + c];
        for (std::size_t m = c + iPlanes; m <= iLast + c; m += iPlanes) pD[m] = pT[m - iPlanes] - pT[m];
        pD[c] = pT[iLast + c] - pT[c];
    }
}

// t = w .* Dy x for row i, with the last row wrapping to the first.
void VerticalDifference(cv::Mat& imgT, const cv::Mat& imgX, const cv::Mat& imgW, int i)
{
    const int iNext = (i + 1 < imgX.rows) ? i + 1 : 0;
    const std::size_t iValues = static_cast<std::size_t>(imgX.cols) * imgX.channels();
    const double* pX = imgX.ptr<double>(i);
    const double* pXNext = imgX.ptr<double>(iNext);
    const double* pW = imgW.ptr<double>(i);
    double* pT = imgT.ptr<double>(i);
    for (std::size_t m = 0; m < iValues; ++m) pT[m] = (pXNext[m] - pX[m]) * pW[m];
}

// dst += Dy^T t for row i, with the first row taking the last as its upper neighbour.
void VerticalTranspose(cv::Mat& imgDst, const cv::Mat& imgT, int i)
{
    const int iPrev = (i > 0) ? i - 1 : imgT.rows - 1;
    const std::size_t iValues = static_cast<std::size_t>(imgT.cols) * imgT.channels();
    const double* pTPrev = imgT.ptr<double>(iPrev);
    const double* pT = imgT.ptr<double>(i);
    double* pD = imgDst.ptr<double>(i);
    for (std::size_t m = 0; m < iValues; ++m) pD[m] = (pTPrev[m] - pT[m]) + pD[m];
}

}  // namespace

void WeightedDifferenceTerm(cv::Mat& imgDst, const cv::Mat& imgX, const cv::Mat& imgW, cv::Mat& imgScratch)
{
    CV_Assert(imgX.depth() == CV_64F && imgX.dims == 2 && !imgX.empty());
    CV_Assert(imgW.size() == imgX.size() && imgW.type() == imgX.type());
    imgDst.create(imgX.rows, imgX.cols, imgX.type());
    imgScratch.create(imgX.rows, imgX.cols, imgX.type());
    const int iRows = imgX.rows;
    // Each loop only writes its own rows; the barriers between the loops
    // order the reads of neighbouring rows.
#pragma omp parallel if (iRows >= 64)
    {
#pragma omp for schedule(static)
        for (int y = 0; y < iRows; ++y) HorizontalPart(imgDst, imgX, imgW, imgScratch, y);
#pragma omp for schedule(static)
        for (int i = 0; i < iRows; ++i) VerticalDifference(imgScratch, imgX, imgW, i);
#pragma omp for schedule(static)
        for (int i = 0; i < iRows; ++i) VerticalTranspose(imgDst, imgScratch, i);
    }
}

void WeightedDifferenceTerm(cv::Mat& imgDst, const cv::Mat& imgX, const cv::Mat& imgW)
{
    cv::Mat imgScratch;
    WeightedDifferenceTerm(imgDst, imgX, imgW, imgScratch);
}

}  // namespace NSysApply

