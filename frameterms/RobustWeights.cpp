// Two parallel passes over the frames around the pooled medians: each frame's
// residual sizes first (its own buffers), then its weights. The arithmetic
// follows the M-code it replaced (its copy in the tests' reference folder).
#include "RobustWeights.h"

#include "FrameFailures.h"
#include "FrameMasks.h"
#include "LocalDetail.h"
#include "LocalStatistics.h"

#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace NSysApply {

namespace {

// The residual sizes of one frame: of each pixel (RMS over the planes) and of
// its 3 x 3 mean (the mean taken plane by plane, zero outside the frame).
struct CResidualSizes {
    std::vector<double> vecPixel, vecLocal;
};

// Frame k's sizes into sizes (allocated, zero), with vecMean as scratch.
void SizesOf(const CFrameStackView& stack, int k, std::vector<double>& vecMean, CResidualSizes& sizes)
{
    const int P = stack.iPlanes;
    const std::size_t n = stack.PlaneSize();
    for (int c = 0; c < P; ++c) {
        const double* pR = stack.Plane(k, c);
        BoxMean3(pR, stack.iRows, stack.iCols, vecMean.data());
        for (std::size_t o = 0; o < n; ++o) {
            sizes.vecPixel[o] += pR[o] * pR[o];
            sizes.vecLocal[o] += vecMean[o] * vecMean[o];
        }
    }
    for (std::size_t o = 0; o < n; ++o) {
        sizes.vecPixel[o] = std::sqrt(sizes.vecPixel[o] / P);
        sizes.vecLocal[o] = std::sqrt(sizes.vecLocal[o] / P);
    }
}

bool Counts(const COperatorArguments& args, const CResidualSizes& sizes, int k, std::size_t o)
{
    return MaskAt(args, k, o, 0) > 0 && std::isfinite(sizes.vecPixel[o]) && std::isfinite(sizes.vecLocal[o]);
}

}  // namespace

void ComputeRobustWeights(const COperatorArguments& args, const CFrameStackView& stackRes,
                          const std::vector<double*>& vecWeightsOut)
{
    const int iFrames = args.iFrames, P = stackRes.iPlanes;
    const std::size_t n = stackRes.PlaneSize();
    // Every buffer comes from the calling thread: a worker's first large
    // block would grow a heap of its own that outlives the call.
    std::vector<CResidualSizes> vecSizes;
    for (int k = 0; k < iFrames; ++k) {
        const std::size_t m = k == args.iReferenceFrame ? 0 : n;
        vecSizes.push_back(CResidualSizes{std::vector<double>(m, 0.0), std::vector<double>(m, 0.0)});
    }
    const int iThreads = std::max(1, std::min(omp_get_max_threads(), iFrames));
    std::vector<std::vector<double>> vecScratch(static_cast<std::size_t>(iThreads), std::vector<double>(n));
    std::vector<std::vector<double>> vecTolerance(static_cast<std::size_t>(iThreads), std::vector<double>(n));
    CFrameFailures failures(iFrames);
#pragma omp parallel for schedule(dynamic, 1) num_threads(iThreads)
    for (int k = 0; k < iFrames; ++k)
        if (k != args.iReferenceFrame)
            failures.Run(k, [&] { SizesOf(stackRes, k, vecScratch[omp_get_thread_num()], vecSizes[k]); });
    failures.RethrowFirst();

    // The deviations: medians over the pixels that count, of all frames.
    const auto fnEachCounted = [&](bool bLocal, const auto& fnVisit) {
        for (int k = 0; k < iFrames; ++k) {
            if (k == args.iReferenceFrame) continue;
            const std::vector<double>& vecSize = bLocal ? vecSizes[k].vecLocal : vecSizes[k].vecPixel;
            for (std::size_t o = 0; o < n; ++o)
                if (Counts(args, vecSizes[k], k, o)) fnVisit(vecSize[o]);
        }
    };
    const double dMedian = MedianOfEach([&](const auto& fnVisit) { fnEachCounted(false, fnVisit); });
    const double dMedianLocal = MedianOfEach([&](const auto& fnVisit) { fnEachCounted(true, fnVisit); });
    const bool bAny = !std::isnan(dMedian);  // the values counted are finite
    const double dDelta = 3 * 1.4826 * dMedian + DBL_EPSILON, dCut = 3 * 1.4826 * dMedianLocal + DBL_EPSILON;

    const std::vector<double> vecDetail = bAny ? Detail(args.viewX, args.iScale) : std::vector<double>();
#pragma omp parallel for schedule(dynamic, 1) num_threads(iThreads)
    for (int k = 0; k < iFrames; ++k) {
        failures.Run(k, [&] {
            double* pOut = vecWeightsOut[static_cast<std::size_t>(k)];
            if (k == args.iReferenceFrame || !bAny) return CopyMask(args, k, n, P, pOut);
            const CResidualSizes& sizes = vecSizes[k];
            double* pTolerance = vecTolerance[omp_get_thread_num()].data();
            DetailNearSamples(args, vecDetail, k, stackRes.iRows, stackRes.iCols,
                              vecScratch[omp_get_thread_num()].data(), pTolerance);
            for (std::size_t o = 0; o < n; ++o) {
                double dW = 0;
                if (std::isfinite(sizes.vecPixel[o]) && std::isfinite(sizes.vecLocal[o])) {
                    // Noise and misregistration are independent: their sizes add in quadrature.
                    const double dT = MISREGISTRATION * pTolerance[o];
                    const double dN = sizes.vecPixel[o] / std::sqrt(dDelta * dDelta + dT * dT);
                    const double dL = sizes.vecLocal[o] / std::sqrt(dCut * dCut + dT * dT);
                    const double dB = std::max(0.0, 1 - dL * dL);
                    dW = std::exp(-0.5 * (dN * dN)) * (dB * dB);
                    if (std::isnan(dW)) dW = 0;  // detail that is not finite: nothing to tolerate by
                }
                for (int c = 0; c < P; ++c) pOut[o + c * n] = dW * MaskAt(args, k, o, c);
            }
        });
    }
    failures.RethrowFirst();
}

}  // namespace NSysApply
