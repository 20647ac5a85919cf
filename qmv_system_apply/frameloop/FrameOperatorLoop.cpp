// The frame loop. Iteration k writes only frame k's warnings and the scratch of
// the thread running it; each frame's term is computed by a fixed sequence of
// operations and reaches the result in frame order, plane by plane, through
// CFrameTermSum (the only shared state), whatever the thread count. It works
// on transposed planes (PlaneImages.h). The protocol between the threads is
// written down in frameloop/README.md.
#include "frameloop/FrameOperatorLoop.h"

#include "blur/SampledBlurOperators.h"
#include "conversions/PlaneImages.h"
#include "frameloop/FrameParallel.h"
#include "frameloop/FramePlanes.h"
#include "frameloop/FrameTermSum.h"
#include "frameloop/TermAssembly.h"
#include "warp/FrameMapOffsets.h"

#include <algorithm>
#include <memory>

namespace NSysApply {

namespace {

// The kernels turned for the transposed planes, made once before the loop.
std::vector<cv::Mat> TransposedKernels(const std::vector<cv::Mat>& vecKernels)
{
    std::vector<cv::Mat> vecTransposed(vecKernels.size());
    for (std::size_t k = 0; k < vecKernels.size(); ++k) vecTransposed[k] = vecKernels[k].t();
    return vecTransposed;
}

// Low-resolution plane times the weights of the same plane; both are laid out
// alike (the weights' column-major plane is the transposed low-resolution plane).
void ApplyPlaneWeights(cv::Mat& imgLowRes, const CPlanarView& viewWeights, int iPlane)
{
    CV_Assert(imgLowRes.isContinuous() && imgLowRes.total() == viewWeights.PlaneSize());
    double* pValue = imgLowRes.ptr<double>(0);
    const double* pWeight = viewWeights.Plane(iPlane);
    const std::size_t iCount = viewWeights.PlaneSize();
    for (std::size_t i = 0; i < iCount; ++i) pValue[i] = pWeight[i] * pValue[i];
}

// Per-thread scratch, allocated before the region so that workers only reuse it.
struct CThreadScratch {
    std::vector<double> vecRegulariser;  // the rows of a band of the regulariser
    std::vector<double> vecRow;          // a row of a term's plane, on its way into the result
    // The transposed blur of the frame whose planes the thread last added.
    std::unique_ptr<CTransposedBlurFromSamples> pTransposedBlur;
    int iTransposedBlurFrame = -1;
};

constexpr int REGULARISER_BAND_ROWS = 32;

// Terms alive at once: one per thread is the usual need; a thread may run
// ahead of the frame due by about one more frame per thread before it waits.
CTermBudget FrameTermBudget(int iThreads) { return CTermBudget{iThreads, 2 * iThreads}; }

// A term holds the frame's weighted low-resolution planes (transposed, as the
// planes of x are), stacked.
CTermShape FrameTermShape(const COperatorArguments& args)
{
    const CPlanarView& viewX = args.viewX;
    return CTermShape{viewX.iPlanes * std::max(viewX.iCols / args.iScale, 1), std::max(viewX.iRows / args.iScale, 1),
                      viewX.PlaneSize()};
}

cv::Mat LowResPlane(const CFrameTerm& term, int iPlanes, int c)
{
    const int iRows = term.imgPlanes.rows / iPlanes;
    return term.imgPlanes.rowRange(c * iRows, (c + 1) * iRows);
}

// Frame k's setup: unless it is the reference frame, its map resolved and the
// map's illegal entries listed.
void SetUpFrame(const COperatorArguments& args, int k, CFrameTerm& term, CIllegalVectorList& lstWarnings)
{
    term.bWarped = k != args.iReferenceFrame;
    if (!term.bWarped) return;
    term.offsets.ResolveColumnMajor(args.vecMaps[k]);
    term.offsets.IllegalEntriesColumnMajor(args.vecMaps[k], lstWarnings);
}

// Plane c of frame k's term: blur with decimation of the (warped) plane, then
// the weights, into the term's low-resolution plane c.
void ComputeFramePlane(const COperatorArguments& args, const cv::Mat& imgKernel, int k, int c, CFrameTerm& term)
{
    const cv::Mat imgX = TransposedPlane(args.viewX, c);
    cv::Mat imgLowRes = LowResPlane(term, args.viewX.iPlanes, c);
    const uchar* pPlane = imgLowRes.data;
    if (term.bWarped)
        WarpBlurDecimateAtSamples(imgLowRes, imgX, term.offsets, imgKernel, args.iScale);
    else
        BlurDecimateAtSamples(imgLowRes, imgX, imgKernel, args.iScale);
    CV_Assert(imgLowRes.data == pPlane);  // written in place, not reallocated
    if (args.bWeighted) ApplyPlaneWeights(imgLowRes, args.vecWeights[k], c);
}

// The rows of plane c of frame k's term as it is added: the transposed blur
// of its low-resolution plane, one row at a time, each handed on at once.
void FramePlaneRows(const COperatorArguments& args, const cv::Mat& imgKernel, const CFrameTerm& term, int k, int c,
                    CThreadScratch& scratch, const CRowSink& sink)
{
    const cv::Mat imgLowRes = LowResPlane(term, args.viewX.iPlanes, c);
    if (scratch.iTransposedBlurFrame != k) {
        scratch.pTransposedBlur.reset();
        scratch.pTransposedBlur = std::make_unique<CTransposedBlurFromSamples>(imgLowRes, imgKernel, args.iScale);
        scratch.iTransposedBlurFrame = k;
    }
    CTransposedBlurFromSamples& blur = *scratch.pTransposedBlur;
    CV_Assert(static_cast<std::size_t>(blur.Cols()) == scratch.vecRow.size());
    blur.Bind(imgLowRes);
    for (int y = 0; y < blur.Rows(); ++y) {
        blur.ComputeRow(y, scratch.vecRow.data());
        sink(y, scratch.vecRow.data());
    }
}

}  // namespace

void FrameOperatorLoop(const COperatorArguments& args, const CWeightedDifferenceRows& regulariser, cv::Mat& imgAcc,
                       CFrameWarnings& warnings)
{
    const CPlanarView& viewX = args.viewX;
    const int iPlanes = viewX.iPlanes;
    CV_Assert(imgAcc.rows == iPlanes * viewX.iCols && imgAcc.cols == viewX.iRows && imgAcc.type() == CV_64FC1);
    warnings.assign(args.iFrames, CIllegalVectorList());
    const std::vector<cv::Mat> vecKernels = TransposedKernels(args.vecKernels);
    const int iThreads = FrameThreadCount(args.iFrames);
    std::vector<CThreadScratch> vecScratch(iThreads);
    for (CThreadScratch& scratch : vecScratch) {
        scratch.vecRegulariser.resize(regulariser.ScratchSize());
        scratch.vecRow.resize(viewX.iRows);
    }
    // The regulariser's rows come first, in bands handed out like frames, so
    // that a thread held up elsewhere delays no one; the frame terms are added
    // once all bands are in.
    const int iBands = (regulariser.Rows() + REGULARISER_BAND_ROWS - 1) / REGULARISER_BAND_ROWS;
    const CPlaneRows fnRows = [&](const CFrameTerm& term, int k, int c, int iThread, const CRowSink& sink) {
        FramePlaneRows(args, vecKernels[k], term, k, c, vecScratch[iThread], sink);
    };
    CFrameTermSum sum(imgAcc, iPlanes, FrameTermFactor(args.dDataTermScale, args.iFrames), args.iFrames,
                      FrameTermBudget(iThreads), FrameTermShape(args), fnRows, iBands);
    // A frame runs on the thread that takes it, plane by plane, except that a
    // thread that has run out of tasks takes planes of the frames still under
    // way (CFramePlanes), then helps adding them. A failure stops the adding
    // and the opening of frames, so then no thread may wait for a term, for a
    // plane to add or for a frame to open.
    CFramePlanes planes(args.iFrames, iPlanes);
    const auto fnAbandon = [&] {
        sum.Abandon();
        planes.Abandon();
    };
    const auto fnPlane = [&](int k, CFrameTerm& term, int c) { ComputeFramePlane(args, vecKernels[k], k, c, term); };
    const auto fnPlaneReadyOn = [&](int iThread) {
        return [&sum, iThread](int k, int c) { sum.PlaneReady(k, c, iThread); };
    };
    const auto fnTask = [&](int iTask, int iThread) {
        try {
            if (iTask < iBands) {
                const int iBegin = iTask * REGULARISER_BAND_ROWS;
                regulariser.Compute(iBegin, std::min(iBegin + REGULARISER_BAND_ROWS, regulariser.Rows()),
                                    vecScratch[iThread].vecRegulariser.data());
                sum.PrerequisiteDone(iThread);
                return;
            }
            const int k = iTask - iBands;
            CFrameTerm term = sum.TakeTerm(k);
            SetUpFrame(args, k, term, warnings[k]);
            planes.Open(k, sum.Start(k, std::move(term)));
            planes.Work(k, fnPlane, fnPlaneReadyOn(iThread));
        } catch (...) {
            fnAbandon();
            throw;
        }
    };
    const auto fnIdle = [&](int iThread) {
        try {
            planes.Help(fnPlane, fnPlaneReadyOn(iThread));
            sum.HelpAdding(iThread);
        } catch (...) {
            fnAbandon();
            throw;
        }
    };
    RunTasksInParallel(iBands + args.iFrames, iThreads, fnTask, fnIdle);
    CV_Assert(sum.FramesAdded() == args.iFrames);
}

}  // namespace NSysApply
