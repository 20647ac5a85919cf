// Forward operators, straightforward form (the blur delegates to OpenCV).
#include "tests/reference/ReferenceForwardOperators.h"

#include "tests/reference/ReferenceMapStrips.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace NSysApply {

namespace {

template <class TMapReader>
void WarpNearestWith(cv::Mat& imgDst, const cv::Mat& imgSrc, const TMapReader& map)
{
    CV_Assert(imgSrc.depth() == CV_64F && imgSrc.dims == 2);
    CV_Assert(map.Rows() == imgSrc.rows && map.Cols() == imgSrc.cols && map.HasTwoPlanes());
    imgDst.create(imgSrc.rows, imgSrc.cols, imgSrc.type());
    CMapStrips<TMapReader> strips(map, static_cast<std::ptrdiff_t>(imgSrc.step1()), imgSrc.channels());
    for (int y = 0; y < imgSrc.rows; ++y) {
        GatherRowAnyPlanes(imgDst.ptr<double>(y), imgSrc.ptr<double>(0), strips.RowOffsets(y), imgSrc.cols,
                           imgSrc.channels());
    }
}

}  // namespace

void WarpNearest(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgMap)
{
    WarpNearestWith(imgDst, imgSrc, CMatMapReader(imgMap));
}

void WarpNearest(cv::Mat& imgDst, const cv::Mat& imgSrc, const CPlanarView& viewMap)
{
    WarpNearestWith(imgDst, imgSrc, CPlanarMapReader(viewMap));
}

void BlurDecimate(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgKernel, int iScale)
{
    // filter2D correlates; flipping the kernel makes it a convolution.
    cv::Mat imgFlipped;
    cv::flip(imgKernel, imgFlipped, -1);
    cv::Mat imgFiltered;
    cv::filter2D(imgSrc, imgFiltered, -1, imgFlipped, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
    Decimate(imgDst, imgFiltered, iScale);
}

void Decimate(cv::Mat& imgDst, const cv::Mat& imgSrc, int iScale)
{
    CV_Assert(iScale >= 1 && imgSrc.depth() == CV_64F && imgSrc.dims == 2 && !imgSrc.empty());
    const int iRows = std::max(imgSrc.rows / iScale, 1);
    const int iCols = std::max(imgSrc.cols / iScale, 1);
    imgDst.create(iRows, iCols, imgSrc.type());
    const int iPlanes = imgSrc.channels();
    for (int i = 0; i < iRows; ++i) {
        const double* pIn = imgSrc.ptr<double>(i * iScale);
        double* pOut = imgDst.ptr<double>(i);
        for (int j = 0; j < iCols; ++j) {
            const double* pPixel = pIn + static_cast<std::size_t>(j) * iScale * iPlanes;
            for (int c = 0; c < iPlanes; ++c) pOut[c] = pPixel[c];
            pOut += iPlanes;
        }
    }
}

}  // namespace NSysApply
