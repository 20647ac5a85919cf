// Frame loops. Iteration k writes only frame k's warnings and the scratch of
// the thread running it (the straightforward loop: frame k's buffers), so no
// locks are needed; each r_k is computed by a fixed sequence of operations and
// the terms are added in frame order, whatever the thread count.
#include "FrameOperatorLoop.h"

#include "ForwardOperators.h"
#include "FrameParallel.h"
#include "FrameTermSum.h"
#include "FrameWeights.h"
#include "SampledBlurOperators.h"
#include "TermAssembly.h"
#include "TransposeOperators.h"

namespace NSysApply {

void FrameOperatorLoop(const COperatorArguments& args, cv::Mat& imgAcc, CFrameWarnings& warnings)
{
    const cv::Mat& imgX = args.imgX;
    const int iScale = args.iScale;
    warnings.assign(args.iFrames, CIllegalVectorList());
    // Per-thread scratch (a low-resolution frame, a resolved map, a frame
    // result) is allocated before the region, so that workers only reuse it.
    const int iThreads = FrameThreadCount(args.iFrames);
    std::vector<cv::Mat> vecLowRes(iThreads);
    for (cv::Mat& img : vecLowRes) img.create(imgX.rows / iScale, imgX.cols / iScale, imgX.type());
    std::vector<CFrameMapOffsets> vecOffsets(iThreads);
    for (CFrameMapOffsets& offsets : vecOffsets) offsets.Reserve(imgX.total());
    CV_Assert(imgX.isContinuous());
    CFrameTermSum sum(imgAcc, FrameTermFactor(args.dDataTermScale, args.iFrames), args.iFrames, iThreads);
    RunFramesInParallel(args.iFrames, [&](int k, int iThread) {
        cv::Mat& imgLowRes = vecLowRes[iThread];
        const cv::Mat& imgKernel = args.vecKernels[k];
        const bool bReference = k == args.iReferenceFrame;
        CFrameMapOffsets& offsets = vecOffsets[iThread];
        if (bReference) {
            BlurDecimateAtSamples(imgLowRes, imgX, imgKernel, iScale);
        } else {
            offsets.Resolve(args.vecMaps[k], static_cast<std::ptrdiff_t>(imgX.step1()), imgX.channels());
            WarpBlurDecimateAtSamples(imgLowRes, imgX, offsets, imgKernel, iScale);
        }
        if (args.bWeighted) ApplyFrameWeights(imgLowRes, args.vecWeights[k]);
        cv::Mat imgFrame = sum.TakeBuffer();
        if (bReference) UpsampleBlurTransposeFromSamples(imgFrame, imgLowRes, imgKernel, iScale);
        else UpsampleBlurTransposeScatter(imgFrame, imgLowRes, imgKernel, iScale, offsets, warnings[k]);
        sum.Deliver(k, imgFrame);
    });
    CV_Assert(sum.FramesAdded() == args.iFrames);
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
