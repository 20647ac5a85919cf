// The reference operator: every frame through the straightforward forward and
// transposed operators into its own buffer, then the terms combined in frame
// order (CombineTerms), independent of the thread count.
#include "tests/reference/ReferenceSystemOperator.h"

#include "blur/SampledBlurOperators.h"
#include "frameloop/FrameParallel.h"
#include "frameloop/TermAssembly.h"
#include "regulariser/WeightedDifferenceTerm.h"
#include "tests/reference/ReferenceForwardOperators.h"
#include "tests/reference/ReferenceFrameWeights.h"
#include "tests/reference/ReferenceTransposeOperators.h"

#include <vector>

namespace NSysApply {

namespace {

void CreateFrameBuffers(std::vector<cv::Mat>& vecBuffers, int iFrames, int iRows, int iCols, int iType)
{
    vecBuffers.resize(iFrames);
    for (cv::Mat& img : vecBuffers) img.create(iRows, iCols, iType);
}

void ReferenceFrameOperatorLoop(const COperatorArguments& args, const cv::Mat& imgX,
                                std::vector<cv::Mat>& vecFrameResults, std::vector<cv::Mat>& vecWarpBuffers,
                                std::vector<cv::Mat>& vecLowResBuffers, CFrameWarnings& warnings)
{
    const int iScale = args.iScale;
    warnings.assign(args.iFrames, CIllegalVectorList());
    RunFramesInParallel(args.iFrames, [&](int k, int) {
        cv::Mat& imgLowRes = vecLowResBuffers[k];
        const cv::Mat& imgKernel = args.vecKernels[k];
        if (k == args.iReferenceFrame) {
            BlurDecimate(imgLowRes, imgX, imgKernel, iScale);
            if (args.bWeighted) ApplyFrameWeights(imgLowRes, args.vecWeights[k]);
            UpsampleBlurTranspose(vecFrameResults[k], imgLowRes, imgKernel, iScale);
            return;
        }
        WarpNearest(vecWarpBuffers[k], imgX, args.vecMaps[k]);
        BlurDecimate(imgLowRes, vecWarpBuffers[k], imgKernel, iScale);
        if (args.bWeighted) ApplyFrameWeights(imgLowRes, args.vecWeights[k]);
        UpsampleBlurTranspose(vecWarpBuffers[k], imgLowRes, imgKernel, iScale);
        WarpNearestTranspose(vecFrameResults[k], vecWarpBuffers[k], args.vecMaps[k], warnings[k]);
    });
}

}  // namespace

void ApplySystemOperatorReference(const COperatorArguments& args, cv::Mat& imgResult, CFrameWarnings& warnings)
{
    const cv::Mat imgX = view2cv(args.viewX);
    std::vector<cv::Mat> vecFrameResults, vecWarpBuffers, vecLowResBuffers;
    CreateFrameBuffers(vecFrameResults, args.iFrames, imgX.rows, imgX.cols, imgX.type());
    CreateFrameBuffers(vecWarpBuffers, args.iFrames, imgX.rows, imgX.cols, imgX.type());
    CreateFrameBuffers(vecLowResBuffers, args.iFrames, imgX.rows / args.iScale, imgX.cols / args.iScale, imgX.type());
    ReferenceFrameOperatorLoop(args, imgX, vecFrameResults, vecWarpBuffers, vecLowResBuffers, warnings);
    // The first warp buffer is free after the loop and becomes the accumulator.
    WeightedDifferenceTerm(vecWarpBuffers[0], imgX, view2cv(args.viewW));
    CombineTerms(vecWarpBuffers[0], args.dEta, args.dDataTermScale, vecFrameResults);
    imgResult = vecWarpBuffers[0];
}

cv::Mat view2cv(const CPlanarView& viewSrc)
{
    cv::Mat imgDst(viewSrc.iRows, viewSrc.iCols, CV_64FC(viewSrc.iPlanes));
    for (int y = 0; y < viewSrc.iRows; ++y) {
        double* pRow = imgDst.ptr<double>(y);
        for (int x = 0; x < viewSrc.iCols; ++x) {
            for (int c = 0; c < viewSrc.iPlanes; ++c) pRow[x * viewSrc.iPlanes + c] = viewSrc.At(y, x, c);
        }
    }
    return imgDst;
}

void UpsampleBlurTransposeFromSamples(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgKernel, int iScale)
{
    CTransposedBlurFromSamples(imgSrc, imgKernel, iScale).Apply(imgDst, imgSrc);
}

}  // namespace NSysApply
