// Frames in batches: each thread forms one frame's full term (zeroed, then
// the transposed blur of each weighted plane scattered through the map row by
// row); the batch's terms are then added into b in frame order, element
// ranges in parallel. Memory: one high-resolution term per thread.
#include "WeightedRhs.h"

#include "FrameFailures.h"
#include "blur/SampledBlurOperators.h"
#include "conversions/PlaneImages.h"
#include "frameloop/FrameParallel.h"
#include "warp/FrameMapOffsets.h"
#include "warp/ScatterAddScaled.h"

#include <omp.h>

#include <algorithm>
#include <cstring>

namespace NSysApply {

namespace {

struct CThreadTerm {
    std::vector<double> vecTerm;  // H x W x P
    std::vector<double> vecLow;   // one weighted low-resolution plane, w x h
    std::vector<double> vecRow;   // one row of a transposed blur, H values
    CFrameMapOffsets offsets;
};

// The weighted plane c of frame k, as a transposed w x h plane.
void WeightedPlane(const COperatorArguments& args, const CFrameStackView& stackY, int k, int c, double* pLow)
{
    const double* pY = stackY.Plane(k, c);
    const std::size_t iPlane = stackY.PlaneSize();
    if (!args.bWeighted) {
        std::memcpy(pLow, pY, iPlane * sizeof(double));
        return;
    }
    const double* pW = args.vecWeights[k].Plane(c);
    for (std::size_t i = 0; i < iPlane; ++i) pLow[i] = pW[i] * pY[i];
}

// Frame k's term M_k^T B_k^T U (W_k .* y_k) into scratch.vecTerm.
void FrameTerm(const COperatorArguments& args, const cv::Mat& imgKernelT, const CFrameStackView& stackY, int k,
               CThreadTerm& scratch, CIllegalVectorList& lstWarnings)
{
    const int iH = args.viewX.iRows, iW = args.viewX.iCols;
    const std::size_t iHrPlane = args.viewX.PlaneSize();
    std::fill(scratch.vecTerm.begin(), scratch.vecTerm.end(), 0.0);
    const bool bWarped = k != args.iReferenceFrame;
    if (bWarped) {
        scratch.offsets.ResolveColumnMajor(args.vecMaps[k]);
        scratch.offsets.IllegalEntriesColumnMajor(args.vecMaps[k], lstWarnings);
    }
    cv::Mat imgLow(stackY.iCols, stackY.iRows, CV_64FC1, scratch.vecLow.data());
    CTransposedBlurFromSamples blur(imgLow, imgKernelT, args.iScale);
    CV_Assert(blur.Rows() == iW && blur.Cols() == iH);
    for (int c = 0; c < stackY.iPlanes; ++c) {
        WeightedPlane(args, stackY, k, c, scratch.vecLow.data());
        blur.Bind(imgLow);
        double* pPlane = scratch.vecTerm.data() + static_cast<std::size_t>(c) * iHrPlane;
        for (int y = 0; y < iW; ++y) {
            double* pRow = scratch.vecRow.data();
            blur.ComputeRow(y, pRow);
            if (!bWarped) {
                std::memcpy(pPlane + static_cast<std::size_t>(y) * iH, pRow, iH * sizeof(double));
                continue;
            }
            const std::size_t iReadable = static_cast<std::size_t>(iW - y) * iH;
            ScatterAddScaled(pPlane, pRow, scratch.offsets.RowOffsets(y), iH, iReadable, 1.0);
        }
    }
}

// pRhs[i] += term_t[i] for the batch's terms t in frame order.
void AddTerms(double* pRhs, const std::vector<CThreadTerm>& vecScratch, int iTerms, std::size_t iValues)
{
    constexpr std::size_t CHUNK = 1 << 14;
    const long iChunks = static_cast<long>((iValues + CHUNK - 1) / CHUNK);
#pragma omp parallel for schedule(static)
    for (long n = 0; n < iChunks; ++n) {
        const std::size_t iBegin = static_cast<std::size_t>(n) * CHUNK;
        const std::size_t iEnd = std::min(iValues, iBegin + CHUNK);
        for (int t = 0; t < iTerms; ++t) {
            const double* pTerm = vecScratch[t].vecTerm.data();
            for (std::size_t i = iBegin; i < iEnd; ++i) pRhs[i] = pRhs[i] + pTerm[i];
        }
    }
}

void ScaleValues(double* pRhs, std::size_t iValues, double dFactor)
{
    const long iCount = static_cast<long>(iValues);
#pragma omp parallel for schedule(static)
    for (long i = 0; i < iCount; ++i) pRhs[i] = dFactor * pRhs[i];
}

}  // namespace

void ComputeWeightedRhs(const COperatorArguments& args, const CFrameStackView& stackY, double* pRhs,
                        CFrameWarnings& warnings)
{
    const int iFrames = args.iFrames;
    const std::size_t iValues = args.viewX.PlaneSize() * args.viewX.iPlanes;
    warnings.assign(iFrames, CIllegalVectorList());
    std::vector<cv::Mat> vecKernelsT(iFrames);
    for (int k = 0; k < iFrames; ++k) vecKernelsT[k] = args.vecKernels[k].t();
    const int iThreads = FrameThreadCount(iFrames);
    std::vector<CThreadTerm> vecScratch(iThreads);
    for (CThreadTerm& scratch : vecScratch) {
        scratch.vecTerm.resize(iValues);
        scratch.vecLow.resize(stackY.PlaneSize());
        scratch.vecRow.resize(args.viewX.iRows);
    }
    std::fill(pRhs, pRhs + iValues, 0.0);
    CFrameFailures failures(iFrames);
    for (int k0 = 0; k0 < iFrames; k0 += iThreads) {
        const int iBatch = std::min(iThreads, iFrames - k0);
#pragma omp parallel for num_threads(iBatch) schedule(static, 1)
        for (int t = 0; t < iBatch; ++t) {
            const int k = k0 + t;
            failures.Run(k, [&] { FrameTerm(args, vecKernelsT[k], stackY, k, vecScratch[t], warnings[k]); });
        }
        failures.RethrowFirst();
        AddTerms(pRhs, vecScratch, iBatch, iValues);
    }
    ScaleValues(pRhs, iValues, args.dDataTermScale / static_cast<double>(iFrames));
}

}  // namespace NSysApply
