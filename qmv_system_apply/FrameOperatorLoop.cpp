// Frame loops. Iteration k writes only frame k's result and warnings (and the
// scratch of the thread running it), so no locks are needed and each r_k is
// computed in a fixed order whatever the thread count.
#include "FrameOperatorLoop.h"

#include "ForwardOperators.h"
#include "FrameParallel.h"
#include "FrameWeights.h"
#include "SampledBlurOperators.h"
#include "TransposeOperators.h"

namespace NSysApply {

void FrameOperatorLoop(const COperatorArguments& args, std::vector<cv::Mat>& vecFrameResults, CFrameWarnings& warnings)
{
    const cv::Mat& imgX = args.imgX;
    const int iScale = args.iScale;
    warnings.assign(args.iFrames, CIllegalVectorList());
    // Scratch is sized before the region so that workers only reuse it.
    const int iThreads = FrameThreadCount(args.iFrames);
    std::vector<cv::Mat> vecWarp(iThreads), vecLowRes(iThreads);
    for (int t = 0; t < iThreads; ++t) {
        vecWarp[t].create(imgX.rows, imgX.cols, imgX.type());
        vecLowRes[t].create(imgX.rows / iScale, imgX.cols / iScale, imgX.type());
    }
    RunFramesInParallel(args.iFrames, [&](int k, int iThread) {
        cv::Mat& imgWarp = vecWarp[iThread];
        cv::Mat& imgLowRes = vecLowRes[iThread];
        const cv::Mat& imgKernel = args.vecKernels[k];
        if (k == args.iReferenceFrame) {
            BlurDecimateAtSamples(imgLowRes, imgX, imgKernel, iScale);
            if (args.bWeighted) ApplyFrameWeights(imgLowRes, args.vecWeights[k]);
            UpsampleBlurTransposeFromSamples(vecFrameResults[k], imgLowRes, imgKernel, iScale);
            return;
        }
        WarpNearest(imgWarp, imgX, args.vecMaps[k]);
        BlurDecimateAtSamples(imgLowRes, imgWarp, imgKernel, iScale);
        if (args.bWeighted) ApplyFrameWeights(imgLowRes, args.vecWeights[k]);
        UpsampleBlurTransposeFromSamples(imgWarp, imgLowRes, imgKernel, iScale);
        WarpNearestTranspose(vecFrameResults[k], imgWarp, args.vecMaps[k], warnings[k]);
    });
}

void ReferenceFrameOperatorLoop(const COperatorArguments& args, std::vector<cv::Mat>& vecFrameResults,
                                std::vector<cv::Mat>& vecWarpBuffers, std::vector<cv::Mat>& vecLowResBuffers,
                                CFrameWarnings& warnings)
{
    const cv::Mat& imgX = args.imgX;
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

}  // namespace NSysApply
