// Transposed operators, straightforward form (the correlation delegates to OpenCV).
#include "tests/reference/ReferenceTransposeOperators.h"

#include "tests/reference/ReferenceMapStrips.h"

#include <opencv2/imgproc.hpp>

namespace NSysApply {

namespace {

template <class TMapReader>
void WarpNearestTransposeWith(cv::Mat& imgDst, const cv::Mat& imgSrc, const TMapReader& map,
                              CIllegalVectorList& lstIllegal)
{
    CV_Assert(imgSrc.depth() == CV_64F && imgSrc.dims == 2);
    CV_Assert(map.Rows() == imgSrc.rows && map.Cols() == imgSrc.cols && map.HasTwoPlanes());
    imgDst.create(imgSrc.rows, imgSrc.cols, imgSrc.type());
    imgDst.reshape(1).setTo(0.0);  // one channel view: setTo takes at most 4 channels
    CMapStrips<TMapReader> strips(map, static_cast<std::ptrdiff_t>(imgDst.step1()), imgSrc.channels());
    // Source pixels are added row by row, each row from left to right.
    for (int y = 0; y < imgSrc.rows; ++y) {
        ScatterRowAnyPlanes(imgDst.ptr<double>(0), imgSrc.ptr<double>(y), strips.RowOffsets(y), imgSrc.cols,
                            imgSrc.channels(), y, lstIllegal);
    }
}

}  // namespace

void UpsampleZeroFill(cv::Mat& imgDst, const cv::Mat& imgSrc, int iScale)
{
    CV_Assert(iScale >= 1 && imgSrc.depth() == CV_64F && imgSrc.dims == 2);
    imgDst.create(imgSrc.rows * iScale, imgSrc.cols * iScale, imgSrc.type());
    imgDst.reshape(1).setTo(0.0);  // one channel view: setTo takes at most 4 channels
    const int iPlanes = imgSrc.channels();
    for (int i = 0; i < imgSrc.rows; ++i) {
        const double* pIn = imgSrc.ptr<double>(i);
        double* pOut = imgDst.ptr<double>(i * iScale);
        for (int j = 0; j < imgSrc.cols; ++j) {
            double* pPixel = pOut + static_cast<std::size_t>(j) * iScale * iPlanes;
            for (int c = 0; c < iPlanes; ++c) pPixel[c] = pIn[c];
            pIn += iPlanes;
        }
    }
}

void UpsampleBlurTranspose(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgKernel, int iScale)
{
    cv::Mat imgFilled;
    UpsampleZeroFill(imgFilled, imgSrc, iScale);
    cv::filter2D(imgFilled, imgDst, -1, imgKernel, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
}

void WarpNearestTranspose(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgMap, CIllegalVectorList& lstIllegal)
{
    WarpNearestTransposeWith(imgDst, imgSrc, CMatMapReader(imgMap), lstIllegal);
}

void WarpNearestTranspose(cv::Mat& imgDst, const cv::Mat& imgSrc, const CPlanarView& viewMap,
                          CIllegalVectorList& lstIllegal)
{
    WarpNearestTransposeWith(imgDst, imgSrc, CPlanarMapReader(viewMap), lstIllegal);
}

}  // namespace NSysApply
