// One frame per task; each writes only its own residual planes and warnings.
#include "FrameResiduals.h"

#include "FrameFailures.h"
#include "blur/SampledBlurOperators.h"
#include "conversions/PlaneImages.h"
#include "warp/FrameMapOffsets.h"

#include <omp.h>

namespace NSysApply {

namespace {

// Plane c of frame k: D B M x into the residual's place, then minus y.
void ResidualPlane(const COperatorArguments& args, const cv::Mat& imgKernelT, const CFrameMapOffsets* pOffsets,
                   const CFrameStackView& stackY, int k, int c, double* pResiduals)
{
    const std::size_t iPlane = stackY.PlaneSize();
    double* pOut = pResiduals + (static_cast<std::size_t>(k) * stackY.iPlanes + c) * iPlane;
    cv::Mat imgLow = TransposedPlane(pOut, stackY.iRows, stackY.iCols, 0);
    const cv::Mat imgX = TransposedPlane(args.viewX, c);
    if (pOffsets != nullptr)
        WarpBlurDecimateAtSamples(imgLow, imgX, *pOffsets, imgKernelT, args.iScale);
    else
        BlurDecimateAtSamples(imgLow, imgX, imgKernelT, args.iScale);
    CV_Assert(imgLow.data == reinterpret_cast<uchar*>(pOut));  // written in place
    const double* pY = stackY.Plane(k, c);
    for (std::size_t i = 0; i < iPlane; ++i) pOut[i] = pOut[i] - pY[i];
}

}  // namespace

void ComputeFrameResiduals(const COperatorArguments& args, const CFrameStackView& stackY, double* pResiduals,
                           CFrameWarnings& warnings)
{
    const int iFrames = args.iFrames;
    warnings.assign(iFrames, CIllegalVectorList());
    std::vector<cv::Mat> vecKernelsT(iFrames);
    for (int k = 0; k < iFrames; ++k) vecKernelsT[k] = args.vecKernels[k].t();
    CFrameFailures failures(iFrames);
#pragma omp parallel
    {
        CFrameMapOffsets offsets;  // kept for the thread's next frame
#pragma omp for schedule(dynamic, 1)
        for (int k = 0; k < iFrames; ++k) {
            failures.Run(k, [&] {
                const bool bWarped = k != args.iReferenceFrame;
                if (bWarped) {
                    offsets.ResolveColumnMajor(args.vecMaps[k]);
                    offsets.IllegalEntriesColumnMajor(args.vecMaps[k], warnings[k]);
                }
                for (int c = 0; c < stackY.iPlanes; ++c)
                    ResidualPlane(args, vecKernelsT[k], bWarped ? &offsets : nullptr, stackY, k, c, pResiduals);
            });
        }
    }
    failures.RethrowFirst();
}

}  // namespace NSysApply
