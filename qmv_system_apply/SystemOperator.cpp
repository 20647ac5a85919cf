// Assembly of the operator from the frame loop and the regulariser. Each
// element is formed as eta * R, then the frames' contributions are added in
// frame order: on the straightforward path f * r_k for k = 0..N-1; on the
// module's path f times each value the transposed warp of frame k brings to
// it, in the warp's visiting order (the same sum, rounded at other places).
// Either way the result does not depend on the thread count.
#include "SystemOperator.h"

#include "FrameOperatorLoop.h"
#include "MatConversion.h"
#include "PlaneImages.h"
#include "TermAssembly.h"
#include "WeightedDifferenceTerm.h"

namespace NSysApply {

namespace {

void CreateFrameBuffers(std::vector<cv::Mat>& vecBuffers, int iFrames, int iRows, int iCols, int iType)
{
    vecBuffers.resize(iFrames);
    for (cv::Mat& img : vecBuffers) img.create(iRows, iCols, iType);
}

}  // namespace

void ApplySystemOperator(const COperatorArguments& args, double* pResult, CFrameWarnings& warnings)
{
    const CPlanarView& viewX = args.viewX;
    const CStackedRegulariser regulariser(pResult, viewX, args.viewW, args.dEta);
    cv::Mat imgAcc = StackedPlanes(pResult, viewX.iRows, viewX.iCols, viewX.iPlanes);
    FrameOperatorLoop(args, regulariser.Rows(), imgAcc, warnings);
}

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

}  // namespace NSysApply
