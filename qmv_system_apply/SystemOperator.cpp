// Assembly of the operator from the frame loop and the regulariser. The frame
// results are summed after the join, in frame order, element by element, so
// the result is the same bit for bit whatever the thread count.
#include "SystemOperator.h"

#include "FrameOperatorLoop.h"
#include "WeightedDifferenceTerm.h"

namespace NSysApply {

namespace {

void CreateFrameBuffers(std::vector<cv::Mat>& vecBuffers, int iFrames, int iRows, int iCols, int iType)
{
    vecBuffers.resize(iFrames);
    for (cv::Mat& img : vecBuffers) img.create(iRows, iCols, iType);
}

}  // namespace

void CombineTerms(cv::Mat& imgAcc, double dEta, double dDataTermScale, const std::vector<cv::Mat>& vecFrameResults)
{
    const double dFactor = dDataTermScale / static_cast<double>(vecFrameResults.size());
    const std::size_t iValues = static_cast<std::size_t>(imgAcc.cols) * imgAcc.channels();
    const int iRows = imgAcc.rows;
    // Rows are independent; within a row every value sees the frames in order.
#pragma omp parallel for schedule(static) if (iRows >= 64)
    for (int y = 0; y < iRows; ++y) {
        double* pAcc = imgAcc.ptr<double>(y);
        for (std::size_t m = 0; m < iValues; ++m) pAcc[m] *= dEta;
        for (const cv::Mat& imgFrame : vecFrameResults) {
            const double* pFrame = imgFrame.ptr<double>(y);
            for (std::size_t m = 0; m < iValues; ++m) pAcc[m] = dFactor * pFrame[m] + pAcc[m];
        }
    }
}

void ApplySystemOperator(const COperatorArguments& args, cv::Mat& imgResult, CFrameWarnings& warnings)
{
    const cv::Mat& imgX = args.imgX;
    std::vector<cv::Mat> vecFrameResults;
    CreateFrameBuffers(vecFrameResults, args.iFrames, imgX.rows, imgX.cols, imgX.type());
    FrameOperatorLoop(args, vecFrameResults, warnings);
    {
        cv::Mat imgScratch;
        WeightedDifferenceTerm(imgResult, imgX, args.imgW, imgScratch);
    }
    CombineTerms(imgResult, args.dEta, args.dDataTermScale, vecFrameResults);
}

void ApplySystemOperatorReference(const COperatorArguments& args, cv::Mat& imgResult, CFrameWarnings& warnings)
{
    const cv::Mat& imgX = args.imgX;
    std::vector<cv::Mat> vecFrameResults, vecWarpBuffers, vecLowResBuffers;
    CreateFrameBuffers(vecFrameResults, args.iFrames, imgX.rows, imgX.cols, imgX.type());
    CreateFrameBuffers(vecWarpBuffers, args.iFrames, imgX.rows, imgX.cols, imgX.type());
    CreateFrameBuffers(vecLowResBuffers, args.iFrames, imgX.rows / args.iScale, imgX.cols / args.iScale, imgX.type());
    ReferenceFrameOperatorLoop(args, vecFrameResults, vecWarpBuffers, vecLowResBuffers, warnings);
    // The first warp buffer is free after the loop and becomes the accumulator.
    WeightedDifferenceTerm(vecWarpBuffers[0], imgX, args.imgW);
    CombineTerms(vecWarpBuffers[0], args.dEta, args.dDataTermScale, vecFrameResults);
    imgResult = vecWarpBuffers[0];
}

}  // namespace NSysApply
