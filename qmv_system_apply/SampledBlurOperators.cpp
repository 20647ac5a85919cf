// Sampled forms of the blur/decimation pair. The replicate border is an index
// clamp: a tap that falls outside the image reads the border pixel, and in the
// zero-filled image that border pixel is a sample only where its clamped index
// is a multiple of s. Tap lists are built once per call from that rule.
#include "SampledBlurOperators.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace NSysApply {

namespace {

long long Clamp(long long iValue, long long iSize) { return std::min(std::max(iValue, 0LL), iSize - 1); }

// Kernel taps that meet a sample of the zero-filled image along one axis:
// for output position p, the pairs (tap index, sample index) in tap order.
struct CTapList {
    std::vector<std::size_t> vecStart;  // taps of position p: [vecStart[p], vecStart[p+1])
    std::vector<int> vecTap;     // kernel row or column
    std::vector<int> vecSample;  // low-resolution row or column
};

CTapList SampleTaps(int iLength, int iTaps, int iAnchor, int iScale)
{
    CTapList list;
    list.vecStart.reserve(static_cast<std::size_t>(iLength) + 1);
    for (int p = 0; p < iLength; ++p) {
        list.vecStart.push_back(list.vecTap.size());
        for (int t = 0; t < iTaps; ++t) {
            const long long iAt = Clamp(static_cast<long long>(p) + t - iAnchor, iLength);
            if (iAt % iScale != 0) continue;
            list.vecTap.push_back(t);
            list.vecSample.push_back(static_cast<int>(iAt / iScale));
        }
    }
    list.vecStart.push_back(list.vecTap.size());
    return list;
}

// Forward convolution for one decimated row: the flipped kernel's row i
// against the clamped source row, at every kept column.
template <int PLANES>
void AccumulateForwardRow(double* pOut, const double* pSrcRow, const double* pKernelRow, const std::ptrdiff_t* pColumns,
                          int iOutCols, int iTaps, int iPlanes)
{
    const int P = PLANES > 0 ? PLANES : iPlanes;
    for (int b = 0; b < iOutCols; ++b, pOut += P) {
        const std::ptrdiff_t* pCol = pColumns + static_cast<std::size_t>(b) * iTaps;
        for (int c = 0; c < P; ++c) {
            double dSum = 0.0;
            for (int j = 0; j < iTaps; ++j) dSum += pKernelRow[j] * pSrcRow[pCol[j] + c];
            pOut[c] += dSum;
        }
    }
}

// Transposed correlation for one output row and one kernel row that meets a
// sample row: every output pixel gathers the taps of its column tap list.
template <int PLANES>
void AccumulateTransposeRow(double* pOut, const double* pLowRow, const double* pKernelRow, const CTapList& cols,
                            const std::vector<std::ptrdiff_t>& vecSampleOffsets, int iOutCols, int iPlanes)
{
    const int P = PLANES > 0 ? PLANES : iPlanes;
    for (int x = 0; x < iOutCols; ++x, pOut += P) {
        for (std::size_t t = cols.vecStart[x]; t < cols.vecStart[x + 1]; ++t) {
            const double dTap = pKernelRow[cols.vecTap[t]];
            const double* pIn = pLowRow + vecSampleOffsets[t];
            for (int c = 0; c < P; ++c) pOut[c] += dTap * pIn[c];
        }
    }
}

template <int PLANES>
void BlurDecimateRows(cv::Mat& imgDst, const cv::Mat& imgSrc, const std::vector<double>& vecFlipped, int iKh, int iKw,
                      const std::vector<std::ptrdiff_t>& vecColumns, int iScale)
{
    const int iPlanes = imgSrc.channels();
    const std::size_t iRowValues = static_cast<std::size_t>(imgDst.cols) * iPlanes;
    for (int a = 0; a < imgDst.rows; ++a) {
        double* pOut = imgDst.ptr<double>(a);
        std::fill(pOut, pOut + iRowValues, 0.0);
        for (int i = 0; i < iKh; ++i) {
            const long long iRow = Clamp(static_cast<long long>(a) * iScale + i - iKh / 2, imgSrc.rows);
            AccumulateForwardRow<PLANES>(pOut, imgSrc.ptr<double>(static_cast<int>(iRow)),
                                         vecFlipped.data() + static_cast<std::size_t>(i) * iKw, vecColumns.data(),
                                         imgDst.cols, iKw, iPlanes);
        }
    }
}

template <int PLANES>
void TransposeRows(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgKernel, const CTapList& rows,
                   const CTapList& cols, const std::vector<std::ptrdiff_t>& vecSampleOffsets)
{
    const int iPlanes = imgSrc.channels();
    const std::size_t iRowValues = static_cast<std::size_t>(imgDst.cols) * iPlanes;
    for (int y = 0; y < imgDst.rows; ++y) {
        double* pOut = imgDst.ptr<double>(y);
        std::fill(pOut, pOut + iRowValues, 0.0);
        for (std::size_t t = rows.vecStart[y]; t < rows.vecStart[y + 1]; ++t) {
            AccumulateTransposeRow<PLANES>(pOut, imgSrc.ptr<double>(rows.vecSample[t]), imgKernel.ptr<double>(rows.vecTap[t]),
                                           cols, vecSampleOffsets, imgDst.cols, iPlanes);
        }
    }
}

void CheckOperands(const cv::Mat& imgSrc, const cv::Mat& imgKernel, int iScale)
{
    CV_Assert(iScale >= 1 && imgSrc.depth() == CV_64F && imgSrc.dims == 2 && !imgSrc.empty());
    CV_Assert(imgKernel.type() == CV_64FC1 && imgKernel.dims == 2 && !imgKernel.empty());
}

}  // namespace

void BlurDecimateAtSamples(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgKernel, int iScale)
{
    CheckOperands(imgSrc, imgKernel, iScale);
    const int iKh = imgKernel.rows, iKw = imgKernel.cols, iPlanes = imgSrc.channels();
    imgDst.create(std::max(imgSrc.rows / iScale, 1), std::max(imgSrc.cols / iScale, 1), imgSrc.type());

    // Convolution = correlation with the kernel turned by 180 degrees.
    std::vector<double> vecFlipped(static_cast<std::size_t>(iKh) * iKw);
    for (int i = 0; i < iKh; ++i) {
        for (int j = 0; j < iKw; ++j) vecFlipped[static_cast<std::size_t>(i) * iKw + j] = imgKernel.at<double>(iKh - 1 - i, iKw - 1 - j);
    }
    // Value offset of the clamped source column of tap j for kept column b.
    std::vector<std::ptrdiff_t> vecColumns(static_cast<std::size_t>(imgDst.cols) * iKw);
    for (int b = 0; b < imgDst.cols; ++b) {
        for (int j = 0; j < iKw; ++j) {
            const long long iCol = Clamp(static_cast<long long>(b) * iScale + j - iKw / 2, imgSrc.cols);
            vecColumns[static_cast<std::size_t>(b) * iKw + j] = static_cast<std::ptrdiff_t>(iCol) * iPlanes;
        }
    }
    if (iPlanes == 1) BlurDecimateRows<1>(imgDst, imgSrc, vecFlipped, iKh, iKw, vecColumns, iScale);
    else if (iPlanes == 3) BlurDecimateRows<3>(imgDst, imgSrc, vecFlipped, iKh, iKw, vecColumns, iScale);
    else BlurDecimateRows<0>(imgDst, imgSrc, vecFlipped, iKh, iKw, vecColumns, iScale);
}

void UpsampleBlurTransposeFromSamples(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgKernel, int iScale)
{
    CheckOperands(imgSrc, imgKernel, iScale);
    const int iPlanes = imgSrc.channels();
    const int iRows = imgSrc.rows * iScale, iCols = imgSrc.cols * iScale;
    imgDst.create(iRows, iCols, imgSrc.type());
    const CTapList rows = SampleTaps(iRows, imgKernel.rows, imgKernel.rows / 2, iScale);
    const CTapList cols = SampleTaps(iCols, imgKernel.cols, imgKernel.cols / 2, iScale);
    std::vector<std::ptrdiff_t> vecSampleOffsets(cols.vecSample.size());
    for (std::size_t t = 0; t < vecSampleOffsets.size(); ++t) {
        vecSampleOffsets[t] = static_cast<std::ptrdiff_t>(cols.vecSample[t]) * iPlanes;
    }
    if (iPlanes == 1) TransposeRows<1>(imgDst, imgSrc, imgKernel, rows, cols, vecSampleOffsets);
    else if (iPlanes == 3) TransposeRows<3>(imgDst, imgSrc, imgKernel, rows, cols, vecSampleOffsets);
    else TransposeRows<0>(imgDst, imgSrc, imgKernel, rows, cols, vecSampleOffsets);
}

}  // namespace NSysApply
