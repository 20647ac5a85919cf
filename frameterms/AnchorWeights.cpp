// Three passes around two global quantities: each frame's misfits first (in
// parallel), then the pooled deviation; each frame's weights and its repeats
// of reference samples (in parallel), then the count of repeats per
// reference sample, summed in frame order; last each frame's share. The
// arithmetic follows the M-code it replaced (its copy in the tests'
// reference folder), up to the order of the 13 x 13 box sums. Every buffer
// is allocated on the calling thread: a worker's first large block would
// grow a heap of its own that outlives the call.
#include "AnchorWeights.h"

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

constexpr int SCENE_BOX = 13;  // the window of the changed-scene test

struct CGeometry {
    int H, W, P, s, h, w;
    std::size_t Samples() const { return static_cast<std::size_t>(h) * static_cast<std::size_t>(w); }
};

// What one frame contributes, kept between the passes.
struct CFrameParts {
    std::vector<double> vecLocal;    // RMS of the 3 x 3 mean residual
    std::vector<double> vecScene;    // how surely the scene changed, 0..1
    std::vector<double> vecBase;     // the weight before the masks and the sharing
    std::vector<double> vecNear;     // the part of it that repeats a reference sample
    std::vector<std::size_t> vecAt;  // the reference sample it repeats

    explicit CFrameParts(std::size_t n) : vecLocal(n), vecScene(n), vecBase(n), vecNear(n), vecAt(n) {}
};

// One thread's working planes.
struct CScratch {
    std::vector<double> vecA, vecB, vecC, vecD, vecE;

    explicit CScratch(std::size_t n) : vecA(n), vecB(n), vecC(n), vecD(n), vecE(n) {}
};

double Positive(double d) { return d > 0 ? d : 0.0; }  // NaN gives 0, as max(0, .) does

// pOut = the 'same' box sum of SCENE_BOX x SCENE_BOX values of the h x w plane
// pIn (zero outside), along the columns first (into pCols).
void BoxSum(const double* pIn, int h, int w, double* pCols, double* pOut)
{
    constexpr int R = SCENE_BOX / 2;
    for (int j = 0; j < w; ++j) {
        const double* pColIn = pIn + static_cast<std::size_t>(j) * h;
        double* pColOut = pCols + static_cast<std::size_t>(j) * h;
        for (int i = 0; i < h; ++i) {
            double dSum = 0;
            for (int ii = std::max(i - R, 0); ii <= std::min(i + R, h - 1); ++ii) dSum += pColIn[ii];
            pColOut[i] = dSum;
        }
    }
    std::fill(pOut, pOut + static_cast<std::size_t>(h) * w, 0.0);
    for (int j = 0; j < w; ++j)
        for (int jj = std::max(j - R, 0); jj <= std::min(j + R, w - 1); ++jj) {
            const double* pColIn = pCols + static_cast<std::size_t>(jj) * h;
            double* pColOut = pOut + static_cast<std::size_t>(j) * h;
            for (int i = 0; i < h; ++i) pColOut[i] += pColIn[i];
        }
}

// Frame k's local misfits and changed-scene certainty from its residuals.
void Misfits(const CFrameStackView& stackRes, int k, CScratch& scratch, CFrameParts& parts)
{
    const int P = stackRes.iPlanes, h = stackRes.iRows, w = stackRes.iCols;
    const std::size_t n = stackRes.PlaneSize();
    double* pPixel = scratch.vecA.data();
    double* pMeans = scratch.vecB.data();
    double* pMean = scratch.vecC.data();
    std::fill(pPixel, pPixel + n, 0.0);
    std::fill(pMeans, pMeans + n, 0.0);
    for (int c = 0; c < P; ++c) {
        const double* pR = stackRes.Plane(k, c);
        BoxMean3(pR, h, w, pMean);
        for (std::size_t o = 0; o < n; ++o) {
            pPixel[o] += pR[o] * pR[o];
            pMeans[o] += pMean[o] * pMean[o];
        }
    }
    for (std::size_t o = 0; o < n; ++o) {
        pPixel[o] /= P;
        pMeans[o] /= P;
        parts.vecLocal[o] = std::sqrt(pMeans[o]);
    }
    // Noise is independent from pixel to pixel, so its 3 x 3 mean keeps a
    // ninth of its power (ratio 1); a changed scene is coherent and keeps
    // more: 0 at a ratio of 1, 1 from 1.4 on.
    double* pPixelSum = scratch.vecD.data();
    double* pLocalSum = scratch.vecE.data();
    BoxSum(pPixel, h, w, pMean, pPixelSum);
    BoxSum(pMeans, h, w, pMean, pLocalSum);
    for (std::size_t o = 0; o < n; ++o)
        parts.vecScene[o] = std::min(1.0, Positive((9 * pLocalSum[o] / std::max(pPixelSum[o], DBL_MIN) - 1) / 0.4));
}

// Frame k's weight before sharing, and which reference sample each of its
// samples repeats and by how much.
void Repeats(const COperatorArguments& args, const CGeometry& g, const std::vector<double>& vecDetail, bool bDeviation,
             double dSigma, double dRadius, int k, CScratch& scratch, CFrameParts& parts)
{
    const CPlanarView& map = args.vecMaps[k];
    const std::size_t n = g.Samples();
    double* pDetailMax = scratch.vecB.data();
    DetailNearSamples(args, vecDetail, k, g.h, g.w, scratch.vecA.data(), pDetailMax);
    for (int j = 0; j < g.w; ++j)
        for (int i = 0; i < g.h; ++i) {
            const std::size_t o = static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * g.h;
            const std::size_t iAt =
                static_cast<std::size_t>(i) * g.s + static_cast<std::size_t>(j) * g.s * static_cast<std::size_t>(g.H);
            const double dMx = map.Plane(0)[iAt], dMy = map.Plane(1)[iAt];
            const double dPx = (dMx - 1) / g.s, dPy = (dMy - 1) / g.s;  // in reference samples, 0-based
            const double dCol = std::round(dPx), dRow = std::round(dPy);
            const double dOff = g.s * std::sqrt((dPx - dCol) * (dPx - dCol) + (dPy - dRow) * (dPy - dRow));
            const bool bInside =
                std::isfinite(dCol) && std::isfinite(dRow) && dCol >= 0 && dCol < g.w && dRow >= 0 && dRow < g.h;
            parts.vecNear[o] = Positive(1 - dOff / dRadius) * (bInside ? 1.0 : 0.0) * parts.vecScene[o];
            parts.vecAt[o] = bInside ? static_cast<std::size_t>(dRow) + static_cast<std::size_t>(dCol) * g.h : 0;
        }
    for (std::size_t o = 0; o < n; ++o) {
        double dBase = 1.0;  // the masks alone when no deviation could be had
        if (bDeviation) {
            const double dRatio = parts.vecLocal[o] / (dSigma + MISREGISTRATION * pDetailMax[o]);
            const double dB = Positive(1 - dRatio * dRatio);
            dBase = dB * dB;
        }
        parts.vecBase[o] = dBase;
    }
}

// Frame k's weights: its base weight times each plane's mask, times the
// share of its repeats.
void Share(const COperatorArguments& args, const CGeometry& g, const CFrameParts& parts,
           const std::vector<double>& vecCount, int k, double* pOut)
{
    const std::size_t n = g.Samples();
    for (std::size_t o = 0; o < n; ++o) {
        const double dNear = parts.vecNear[o];
        const double dF = (1 - dNear) + dNear * (1 / std::max(1.0, vecCount[parts.vecAt[o]]));
        for (int c = 0; c < g.P; ++c) pOut[o + c * n] = parts.vecBase[o] * MaskAt(args, k, o, c) * dF;
    }
}

// The reference frame's kernel (the first frame's when there is none) as a
// column-major array, for BlurRadius.
double KernelRadius(const COperatorArguments& args)
{
    const cv::Mat& kernel = args.vecKernels[args.iReferenceFrame >= 0 ? args.iReferenceFrame : 0];
    std::vector<double> vecK(static_cast<std::size_t>(kernel.rows) * kernel.cols);
    for (int c = 0; c < kernel.cols; ++c)
        for (int r = 0; r < kernel.rows; ++r)
            vecK[static_cast<std::size_t>(r) + static_cast<std::size_t>(c) * kernel.rows] = kernel.at<double>(r, c);
    return BlurRadius(vecK.data(), kernel.rows, kernel.cols);
}

}  // namespace

void ComputeAnchorWeights(const COperatorArguments& args, const CFrameStackView& stackRes,
                          const std::vector<double*>& vecWeightsOut)
{
    const CGeometry g{args.viewX.iRows, args.viewX.iCols, args.viewX.iPlanes,
                      args.iScale,      stackRes.iRows,   stackRes.iCols};
    const int N = args.iFrames, ref = args.iReferenceFrame;
    std::vector<CFrameParts> vecParts;
    for (int k = 0; k < N; ++k) vecParts.emplace_back(k == ref ? 0 : g.Samples());
    std::vector<CScratch> vecScratch;
    for (int t = 0; t < std::min(omp_get_max_threads(), N); ++t) vecScratch.emplace_back(g.Samples());
    const int iScratch = static_cast<int>(vecScratch.size());
    CFrameFailures failures(N);
#pragma omp parallel for schedule(dynamic, 1) num_threads(iScratch)
    for (int k = 0; k < N; ++k)
        if (k != ref) failures.Run(k, [&] { Misfits(stackRes, k, vecScratch[omp_get_thread_num()], vecParts[k]); });
    failures.RethrowFirst();

    const double dMedian = MedianOfEach([&](const auto& fnVisit) {
        for (int k = 0; k < N; ++k) {
            if (k == ref) continue;
            for (std::size_t o = 0; o < g.Samples(); ++o)
                if (MaskAt(args, k, o, 0) > 0 && std::isfinite(vecParts[k].vecLocal[o]))
                    fnVisit(vecParts[k].vecLocal[o]);
        }
    });
    const bool bDeviation = !std::isnan(dMedian);  // the values counted are finite
    const double dSigma = bDeviation ? 1.4826 * dMedian + DBL_EPSILON : 0;
    const std::vector<double> vecDetail = Detail(args.viewX, g.s);
    const double dRadius = KernelRadius(args);
#pragma omp parallel for schedule(dynamic, 1) num_threads(iScratch)
    for (int k = 0; k < N; ++k)
        if (k != ref)
            failures.Run(k, [&] {
                Repeats(args, g, vecDetail, bDeviation, dSigma, dRadius, k, vecScratch[omp_get_thread_num()],
                        vecParts[k]);
            });
    failures.RethrowFirst();

    // Each frame's repeats summed per reference sample, then the frames in order.
    std::vector<double> vecCount(g.Samples(), 0.0), vecFrameCount(g.Samples());
    for (int k = 0; k < N; ++k) {
        if (k == ref) continue;
        const CFrameParts& parts = vecParts[k];
        std::fill(vecFrameCount.begin(), vecFrameCount.end(), 0.0);
        for (std::size_t o = 0; o < g.Samples(); ++o)
            vecFrameCount[parts.vecAt[o]] += parts.vecNear[o] * (parts.vecBase[o] * MaskAt(args, k, o, 0));
        for (std::size_t o = 0; o < g.Samples(); ++o) vecCount[o] += vecFrameCount[o];
    }

#pragma omp parallel for schedule(dynamic, 1) num_threads(iScratch)
    for (int k = 0; k < N; ++k)
        failures.Run(k, [&] {
            double* pOut = vecWeightsOut[static_cast<std::size_t>(k)];
            if (k == ref) return CopyMask(args, k, g.Samples(), g.P, pOut);
            Share(args, g, vecParts[k], vecCount, k, pOut);
        });
    failures.RethrowFirst();
}

double BlurRadius(const double* pKernel, int kh, int kw)
{
    double dTotal = 0;
    for (int i = 0; i < kh * kw; ++i) dTotal += pKernel[i];
    double dMc = 0, dMr = 0;
    for (int c = 0; c < kw; ++c)
        for (int r = 0; r < kh; ++r) {
            const double k = pKernel[r + c * kh] / dTotal;
            dMc += k * (c + 1);
            dMr += k * (r + 1);
        }
    double dSpread = 0;
    for (int c = 0; c < kw; ++c)
        for (int r = 0; r < kh; ++r) {
            const double k = pKernel[r + c * kh] / dTotal;
            dSpread += k * ((c + 1 - dMc) * (c + 1 - dMc) + (r + 1 - dMr) * (r + 1 - dMr));
        }
    return std::max(0.5, std::sqrt(dSpread));
}

}  // namespace NSysApply
