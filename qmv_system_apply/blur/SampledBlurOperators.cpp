// Sampled forms of the blur/decimation pair. The replicate border is an index
// clamp: a tap that falls outside the image reads the border pixel, and in the
// zero-filled image that border pixel is a sample only where its clamped index
// is a multiple of s.
//
// Both directions are organised by phase (position modulo s) so that the inner
// loops run over contiguous values and vectorise:
//  - forward: each source row needed is split once into s phase rows (columns
//    t*s + phi, clamped); a kernel tap then adds one phase row, shifted, to the
//    decimated output row;
//  - transpose: interior output columns of one phase gather from consecutive
//    samples, so a tap adds a shifted low-resolution row into a per-phase
//    accumulator; the few border columns, where clamping repeats samples, take
//    explicit tap lists.
// A kernel that is a column times a row (KernelFactors.h) takes two 1-D passes
// in each direction: forward, each source row is filtered along the row at
// the output columns, then kh such rows are weighted and summed; transpose,
// the low-resolution rows that the kernel rows meet are weighted and summed
// into one row, and the kernel's columns then run along that row.
// The warped form applies the warp to the rows the forward pass reads as it
// reads them, so the warped image never exists as a whole.
#include "blur/SampledBlurOperators.h"

#include "blur/KernelFactors.h"
#include "blur/ScaledRowSums.h"
#include "cpu/WiderRegisters.h"
#include "warp/FrameMapOffsets.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace NSysApply {

namespace {

long long Clamp(long long iValue, long long iSize) { return std::min(std::max(iValue, 0LL), iSize - 1); }
int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int CeilDiv(int a, int b) { return -FloorDiv(-a, b); }
int Mod(int a, int b) { return a - b * FloorDiv(a, b); }

// Copies iPixels pixels of P values from pIn (pixel stride iInStride values)
// to pOut (stride iOutStride); PLANES > 0 fixes P at compile time.
template <int PLANES>
void CopyPixels(double* pOut, std::size_t iOutStride, const double* pIn, std::size_t iInStride, int iPixels,
                int iPlanes)
{
    const int P = PLANES > 0 ? PLANES : iPlanes;
    for (int i = 0; i < iPixels; ++i, pOut += iOutStride, pIn += iInStride)
        for (int c = 0; c < P; ++c) pOut[c] = pIn[c];
}

void CopyPixelsAnyPlanes(double* pOut, std::size_t iOutStride, const double* pIn, std::size_t iInStride, int iPixels,
                         int iPlanes)
{
    if (iPlanes == 1)
        CopyPixels<1>(pOut, iOutStride, pIn, iInStride, iPixels, 1);
    else if (iPlanes == 3)
        CopyPixels<3>(pOut, iOutStride, pIn, iInStride, iPixels, 3);
    else
        CopyPixels<0>(pOut, iOutStride, pIn, iInStride, iPixels, iPlanes);
}

// Kernel taps that meet a sample of the zero-filled image along one axis:
// for output position p, the pairs (tap index, sample index) in tap order.
struct CTapList {
    std::vector<std::size_t> vecStart;  // taps of position p: [vecStart[p], vecStart[p+1])
    std::vector<int> vecTap;            // kernel row or column
    std::vector<int> vecSample;         // low-resolution row or column
};

CTapList SampleTaps(int iLength, int iTaps, int iAnchor, int iScale)
{
    CTapList list;
    list.vecStart.reserve(static_cast<std::size_t>(iLength) + 1);
    for (int p = 0; p < iLength; ++p) {
        list.vecStart.push_back(list.vecTap.size());
        for (int t = 0; t < iTaps; ++t) {
            const long long iAt = Clamp(static_cast<long long>(p) + t - iAnchor, iLength);
            if (iAt % iScale != 0) continue;
            list.vecTap.push_back(t);
            list.vecSample.push_back(static_cast<int>(iAt / iScale));
        }
    }
    list.vecStart.push_back(list.vecTap.size());
    return list;
}

// Column taps of the forward pass: tap j reads phase phi at shift q, i.e.
// column (b + q) * s + phi for output column b.
struct CPhaseTap {
    int iPhase;
    int iShift;
};

// Transpose: kernel column j adds sample b = t + shift into output column t * s + psi.
struct CShiftTap {
    int iTap;
    int iShift;
};

// Copies pixels pColumns[0..iCount) of a row (P values each) to pOut, one
// after the other; PLANES > 0 fixes P at compile time.
template <int PLANES>
void SelectColumns(double* pOut, const double* pRow, const int* pColumns, int iCount, int iPlanes)
{
    const int P = PLANES > 0 ? PLANES : iPlanes;
    for (int i = 0; i < iCount; ++i, pOut += P) {
        const double* pIn = pRow + static_cast<std::size_t>(pColumns[i]) * P;
        for (int c = 0; c < P; ++c) pOut[c] = pIn[c];
    }
}

void SelectColumnsAnyPlanes(double* pOut, const double* pRow, const int* pColumns, int iCount, int iPlanes)
{
    if (iPlanes == 1)
        SelectColumns<1>(pOut, pRow, pColumns, iCount, 1);
    else if (iPlanes == 3)
        SelectColumns<3>(pOut, pRow, pColumns, iCount, 3);
    else
        SelectColumns<0>(pOut, pRow, pColumns, iCount, iPlanes);
}

// Rows of the image the forward pass reads: the image itself...
class CImageRows {
public:
    explicit CImageRows(const cv::Mat& imgSrc) : m_imgSrc(imgSrc) {}
    // Pixels pColumns[0..iCount) of row iRow, one after the other, to pOut.
    void Select(int iRow, const int* pColumns, int iCount, double* pOut)
    {
        SelectColumnsAnyPlanes(pOut, m_imgSrc.ptr<double>(iRow), pColumns, iCount, m_imgSrc.channels());
    }

private:
    const cv::Mat& m_imgSrc;
};

// pOut[i] = pSrc[pOffsets[pColumns[i]]], 0.0 where the offset is -1 (an
// illegal map entry). The pointers are distinct, so the compiler keeps them in
// registers, and the value is chosen by a mask rather than a branch.
void GatherThroughOffsets(double* __restrict pOut, const double* __restrict pSrc,
                          const std::int32_t* __restrict pOffsets, const int* __restrict pColumns, int iCount)
{
    for (int i = 0; i < iCount; ++i) {
        const std::int32_t iOffset = pOffsets[pColumns[i]];
        const std::int64_t iKeep = ~static_cast<std::int64_t>(iOffset >> 31);  // all ones when legal
        std::int64_t iBits;
        std::memcpy(&iBits, pSrc + (iOffset & iKeep), sizeof iBits);
        iBits &= iKeep;
        std::memcpy(pOut + i, &iBits, sizeof iBits);
    }
}

// ...or a single plane warped by a map: a warped pixel is gathered through
// the resolved map straight from the source pixel, into its place among the
// phase rows (the whole warped image is never formed).
class CWarpedRows {
public:
    CWarpedRows(const cv::Mat& imgSrc, const CFrameMapOffsets& offsets) : m_imgSrc(imgSrc), m_offsets(offsets)
    {
        CV_Assert(imgSrc.channels() == 1 && imgSrc.isContinuous());
    }
    // Warped pixels pColumns[0..iCount) of row iRow, one after the other, to pOut.
    void Select(int iRow, const int* pColumns, int iCount, double* pOut)
    {
        const double* pSrc = m_imgSrc.ptr<double>(0);
        PrefetchSources(pSrc, iRow + kRowsAhead);
        GatherThroughOffsets(pOut, pSrc, m_offsets.RowOffsets(iRow), pColumns, iCount);
    }

private:
    // Rows are asked for in increasing order; the sources of a row this far
    // ahead are requested before the current row is gathered.
    static constexpr int kRowsAhead = 3;

    // Asks for the sources of row iRow, one request per four entries: a motion
    // map names neighbouring pixels for neighbouring entries (a cache line
    // holds eight), but its sub-pixel jitter moves them between neighbouring
    // rows. The processor's own prefetching does not follow the offsets.
    void PrefetchSources(const double* pSrc, int iRow) const
    {
        if (iRow >= m_offsets.Rows()) return;
        const CFrameMapOffsets::COffset* pOffsets = m_offsets.RowOffsets(iRow);
        for (int x = 0; x < m_offsets.Cols(); x += 4) QMV_PREFETCH_FOR_READ(pSrc + (pOffsets[x] < 0 ? 0 : pOffsets[x]));
    }

    const cv::Mat& m_imgSrc;
    const CFrameMapOffsets& m_offsets;
};

// The phase rows of recently used source rows; each source row serves about
// kh / s output rows, so it is split once. Slots are indexed by row modulo
// their count, which never collides within the kh rows of one output row.
template <class TRows>
class CPhaseRowCache {
public:
    CPhaseRowCache(TRows& rows, int iCols, int iPlanes, int iScale, int iSlots, int iFirst, int iLast)
        : m_rows(rows), m_iScale(iScale), m_iLength(iLast - iFirst + 1), m_iPlanes(iPlanes), m_vecRowOf(iSlots, -1),
          m_vecData(static_cast<std::size_t>(iSlots) * iScale * m_iLength * m_iPlanes),
          m_vecColumns(static_cast<std::size_t>(iScale) * m_iLength)
    {
        // Phase phi, element t - iFirst: column clamp(t * s + phi); outside the
        // image the border pixel repeats.
        for (int phi = 0; phi < iScale; ++phi)
            for (int t = iFirst; t <= iLast; ++t)
                m_vecColumns[static_cast<std::size_t>(phi) * m_iLength + (t - iFirst)] =
                    static_cast<int>(Clamp(static_cast<long long>(t) * iScale + phi, iCols));
    }

    // Phase phi of row r.
    const double* Phase(int iRow, int iPhase)
    {
        const int iSlot = iRow % static_cast<int>(m_vecRowOf.size());
        double* pSlot = m_vecData.data() + static_cast<std::size_t>(iSlot) * m_iScale * PhaseSize();
        if (m_vecRowOf[iSlot] != iRow) {
            m_rows.Select(iRow, m_vecColumns.data(), static_cast<int>(m_vecColumns.size()), pSlot);
            m_vecRowOf[iSlot] = iRow;
        }
        return pSlot + static_cast<std::size_t>(iPhase) * PhaseSize();
    }

private:
    std::size_t PhaseSize() const { return static_cast<std::size_t>(m_iLength) * m_iPlanes; }

    TRows& m_rows;
    const int m_iScale, m_iLength, m_iPlanes;
    std::vector<int> m_vecRowOf;
    std::vector<double> m_vecData;
    std::vector<int> m_vecColumns;  // all phases, one after the other
};

void CheckOperands(const cv::Mat& imgSrc, const cv::Mat& imgKernel, int iScale)
{
    CV_Assert(iScale >= 1 && imgSrc.depth() == CV_64F && imgSrc.dims == 2 && !imgSrc.empty());
    CV_Assert(imgKernel.type() == CV_64FC1 && imgKernel.dims == 2 && !imgKernel.empty());
}

// Columns of one output phase whose taps all stay inside the image.
struct CInteriorPhase {
    int iBegin = 0, iEnd = 0;        // t range: output columns t * s + psi
    std::vector<CShiftTap> vecTaps;  // in kernel column order
};

}  // namespace

namespace {

// The kernel turned by 180 degrees: convolution = correlation with it.
std::vector<double> TurnedKernel(const cv::Mat& imgKernel)
{
    const int iKh = imgKernel.rows, iKw = imgKernel.cols;
    std::vector<double> vecTurned(static_cast<std::size_t>(iKh) * iKw);
    for (int i = 0; i < iKh; ++i)
        for (int j = 0; j < iKw; ++j)
            vecTurned[static_cast<std::size_t>(i) * iKw + j] = imgKernel.at<double>(iKh - 1 - i, iKw - 1 - j);
    return vecTurned;
}

// Output rows of D B from the rows of the turned kernel (2-D form: all kh * kw
// taps of an output row in one pass, row by row of the kernel and tap by tap
// within a row).
template <class TRows>
void BlurDecimateRows2D(cv::Mat& imgDst, CPhaseRowCache<TRows>& cache, int iRows, const std::vector<double>& vecTurned,
                        const std::vector<CPhaseTap>& vecTaps, int iKh, int iScale)
{
    const int iKw = static_cast<int>(vecTaps.size()), P = imgDst.channels(), iFirst = vecTaps.front().iShift;
    const std::size_t iValues = static_cast<std::size_t>(imgDst.cols) * P;
    std::vector<const double*> vecRows(static_cast<std::size_t>(iKh) * iKw);
    for (int a = 0; a < imgDst.rows; ++a) {
        for (int i = 0; i < iKh; ++i) {
            const int iRow = static_cast<int>(Clamp(static_cast<long long>(a) * iScale + i - iKh / 2, iRows));
            for (int j = 0; j < iKw; ++j) {
                const double* pPhase = cache.Phase(iRow, vecTaps[j].iPhase);
                vecRows[static_cast<std::size_t>(i) * iKw + j] =
                    pPhase + static_cast<std::size_t>(vecTaps[j].iShift - iFirst) * P;
            }
        }
        SumScaledRows(imgDst.ptr<double>(a), vecRows.data(), vecTurned.data(), iKh * iKw, iValues);
    }
}

// The factored form: each source row is reduced once to its horizontal pass
// at the output columns, kept for the kh output rows that read it, and an
// output row is the weighted sum of kh such rows. Slots are indexed by row
// modulo kh, which never collides within the rows of one output row.
template <class TRows>
void BlurDecimateRowsFactored(cv::Mat& imgDst, CPhaseRowCache<TRows>& cache, int iRows, const CKernelFactors& turned,
                              const std::vector<CPhaseTap>& vecTaps, int iScale)
{
    const int iKh = static_cast<int>(turned.vecRows.size()), iKw = static_cast<int>(vecTaps.size());
    const int P = imgDst.channels(), iFirst = vecTaps.front().iShift;
    const std::size_t iValues = static_cast<std::size_t>(imgDst.cols) * P;
    std::vector<double> vecPassed(static_cast<std::size_t>(iKh) * iValues);
    std::vector<int> vecPassedRow(iKh, -1);
    std::vector<const double*> vecPhaseRows(iKw), vecRows(iKh);
    for (int a = 0; a < imgDst.rows; ++a) {
        for (int i = 0; i < iKh; ++i) {
            const int iRow = static_cast<int>(Clamp(static_cast<long long>(a) * iScale + i - iKh / 2, iRows));
            double* pPassed = vecPassed.data() + static_cast<std::size_t>(iRow % iKh) * iValues;
            if (vecPassedRow[iRow % iKh] != iRow) {
                for (int j = 0; j < iKw; ++j)
                    vecPhaseRows[j] =
                        cache.Phase(iRow, vecTaps[j].iPhase) + static_cast<std::size_t>(vecTaps[j].iShift - iFirst) * P;
                SumScaledRows(pPassed, vecPhaseRows.data(), turned.vecCols.data(), iKw, iValues);
                vecPassedRow[iRow % iKh] = iRow;
            }
            vecRows[i] = pPassed;
        }
        SumScaledRows(imgDst.ptr<double>(a), vecRows.data(), turned.vecRows.data(), iKh, iValues);
    }
}

// D B applied to the rows that rows.Select() delivers (an iRows x iCols image):
// tap j of the turned kernel reads column b * s + j - kw / 2.
template <class TRows>
void BlurDecimateRows(cv::Mat& imgDst, TRows& rows, int iRows, int iCols, int iType, const cv::Mat& imgKernel,
                      int iScale)
{
    const int iKh = imgKernel.rows, iKw = imgKernel.cols, iPlanes = CV_MAT_CN(iType);
    imgDst.create(std::max(iRows / iScale, 1), std::max(iCols / iScale, 1), iType);
    std::vector<double> vecTurned = TurnedKernel(imgKernel);
    std::vector<CPhaseTap> vecTaps(iKw);
    for (int j = 0; j < iKw; ++j) vecTaps[j] = CPhaseTap{Mod(j - iKw / 2, iScale), FloorDiv(j - iKw / 2, iScale)};
    const int iFirst = vecTaps.front().iShift, iLast = imgDst.cols - 1 + vecTaps.back().iShift;
    CKernelFactors turned;
    if (SeparateKernel(cv::Mat(iKh, iKw, CV_64FC1, vecTurned.data()), turned)) {
        // A source row is split into phases once, for its horizontal pass.
        CPhaseRowCache<TRows> cache(rows, iCols, iPlanes, iScale, 1, iFirst, iLast);
        BlurDecimateRowsFactored(imgDst, cache, iRows, turned, vecTaps, iScale);
    } else {
        CPhaseRowCache<TRows> cache(rows, iCols, iPlanes, iScale, iKh, iFirst, iLast);
        BlurDecimateRows2D(imgDst, cache, iRows, vecTurned, vecTaps, iKh, iScale);
    }
}

}  // namespace

// Rows of B^T U l, one at a time, for low-resolution images l of one size and
// type; the tap lists are prepared once, the image is bound before use.
class CTransposedBlurRows {
public:
    CTransposedBlurRows(const cv::Mat& imgLow, const cv::Mat& imgKernel, int iScale)
        : m_pLow(&imgLow), m_imgKernel(imgKernel), m_iScale(iScale), m_iPlanes(imgLow.channels()),
          m_iRows(imgLow.rows * iScale), m_iCols(imgLow.cols * iScale),
          m_rows(SampleTaps(m_iRows, imgKernel.rows, imgKernel.rows / 2, iScale)),
          m_cols(SampleTaps(m_iCols, imgKernel.cols, imgKernel.cols / 2, iScale)),
          m_iPhaseSize(static_cast<std::size_t>(imgLow.cols + 1) * m_iPlanes),
          m_vecAcc(static_cast<std::size_t>(iScale) * m_iPhaseSize), m_vecRows(imgKernel.total()),
          m_vecTapValues(imgKernel.total())
    {
        // Interior columns x in [kw/2, W - kw + kw/2]: no tap is clamped, and
        // tap j meets a sample exactly when x + j - kw/2 is a multiple of s.
        const int iKw = imgKernel.cols, iAnchor = iKw / 2;
        const int iInteriorEnd = m_iCols - iKw + iAnchor + 1;  // one past the last interior column
        m_vecPhases.resize(iScale);
        for (int psi = 0; psi < iScale; ++psi) {
            CInteriorPhase& phase = m_vecPhases[psi];
            phase.iBegin = CeilDiv(iAnchor - psi, iScale);
            phase.iEnd = std::max(phase.iBegin, FloorDiv(iInteriorEnd - 1 - psi, iScale) + 1);
            for (int j = 0; j < iKw; ++j)
                if (Mod(psi + j - iAnchor, iScale) == 0)
                    phase.vecTaps.push_back(CShiftTap{j, (psi + j - iAnchor) / iScale});
        }
        for (int x = 0; x < m_iCols; ++x)
            if (x < iAnchor || x >= iInteriorEnd) m_vecBorder.push_back(x);
        m_bFactored = SeparateKernel(imgKernel, m_factors);
        if (m_bFactored) m_vecPassed.resize(static_cast<std::size_t>(imgLow.cols) * m_iPlanes);
    }

    int Rows() const { return m_iRows; }
    int Cols() const { return m_iCols; }

    // The image the rows are computed from: of the size and type the rows
    // were prepared for.
    void Bind(const cv::Mat& imgLow)
    {
        CV_Assert(imgLow.rows * m_iScale == m_iRows && imgLow.cols * m_iScale == m_iCols &&
                  imgLow.channels() == m_iPlanes && imgLow.depth() == CV_64F);
        m_pLow = &imgLow;
    }

    // pOut = row y (Cols() pixels).
    void ComputeRow(int y, double* pOut)
    {
        const int P = m_iPlanes;
        if (m_bFactored) PassRow(y);
        for (int x : m_vecBorder) {
            double* pPixel = pOut + static_cast<std::size_t>(x) * P;
            if (m_bFactored)
                FactoredBorderPixel(x, pPixel);
            else if (P == 1)
                *pPixel = BorderSum(y, x);
            else
                BorderPixel(y, x, pPixel);
        }
        for (int psi = 0; psi < m_iScale; ++psi) {
            const CInteriorPhase& phase = m_vecPhases[psi];
            if (phase.iEnd <= phase.iBegin) continue;
            double* pAcc = m_vecAcc.data() + psi * m_iPhaseSize + static_cast<std::size_t>(phase.iBegin) * P;
            if (m_bFactored)
                AddFactoredInteriorPhase(phase, pAcc);
            else
                AddInteriorPhase(y, phase, pAcc);
            CopyPixelsAnyPlanes(pOut + (static_cast<std::size_t>(phase.iBegin) * m_iScale + psi) * P,
                                static_cast<std::size_t>(m_iScale) * P, pAcc, P, phase.iEnd - phase.iBegin, P);
        }
    }

private:
    // A pixel of row y in a border column x, where taps are clamped: from
    // 0.0, the products of every kernel row that meets a sample and, within
    // it, of every column tap that meets one, added in that order. One plane,
    // summed in a register...
    double BorderSum(int y, int x) const
    {
        double dSum = 0.0;
        for (std::size_t r = m_rows.vecStart[y]; r < m_rows.vecStart[y + 1]; ++r) {
            const double* pLow = m_pLow->ptr<double>(m_rows.vecSample[r]);
            const double* pKernel = m_imgKernel.ptr<double>(m_rows.vecTap[r]);
            for (std::size_t t = m_cols.vecStart[x]; t < m_cols.vecStart[x + 1]; ++t)
                dSum += pKernel[m_cols.vecTap[t]] * pLow[m_cols.vecSample[t]];
        }
        return dSum;
    }

    // ...or the same for every plane, summed in place.
    void BorderPixel(int y, int x, double* pPixel) const
    {
        const int P = m_iPlanes;
        std::fill(pPixel, pPixel + P, 0.0);
        for (std::size_t r = m_rows.vecStart[y]; r < m_rows.vecStart[y + 1]; ++r) {
            const double* pLow = m_pLow->ptr<double>(m_rows.vecSample[r]);
            const double* pKernel = m_imgKernel.ptr<double>(m_rows.vecTap[r]);
            for (std::size_t t = m_cols.vecStart[x]; t < m_cols.vecStart[x + 1]; ++t) {
                const double dTap = pKernel[m_cols.vecTap[t]];
                const double* pIn = pLow + static_cast<std::size_t>(m_cols.vecSample[t]) * P;
                for (int c = 0; c < P; ++c) pPixel[c] += dTap * pIn[c];
            }
        }
    }

    // The interior columns of one phase of row y: every low-resolution row
    // that a kernel row meets, with the taps of that row that meet samples,
    // added in one pass (kernel row by kernel row, tap by tap).
    void AddInteriorPhase(int y, const CInteriorPhase& phase, double* pAcc)
    {
        const std::size_t iCount = static_cast<std::size_t>(phase.iEnd - phase.iBegin) * m_iPlanes;
        int iTaps = 0;
        for (std::size_t r = m_rows.vecStart[y]; r < m_rows.vecStart[y + 1]; ++r) {
            const double* pLow = m_pLow->ptr<double>(m_rows.vecSample[r]);
            const double* pKernel = m_imgKernel.ptr<double>(m_rows.vecTap[r]);
            for (const CShiftTap& tap : phase.vecTaps) {
                m_vecRows[iTaps] = pLow + static_cast<std::size_t>(phase.iBegin + tap.iShift) * m_iPlanes;
                m_vecTapValues[iTaps] = pKernel[tap.iTap];
                ++iTaps;
            }
        }
        SumScaledRows(pAcc, m_vecRows.data(), m_vecTapValues.data(), iTaps, iCount);
    }

    // Factored kernel: the vertical pass of row y, a low-resolution row of
    // sums over the kernel rows that meet a sample...
    void PassRow(int y)
    {
        int iTaps = 0;
        for (std::size_t r = m_rows.vecStart[y]; r < m_rows.vecStart[y + 1]; ++r, ++iTaps) {
            m_vecRows[iTaps] = m_pLow->ptr<double>(m_rows.vecSample[r]);
            m_vecTapValues[iTaps] = m_factors.vecRows[m_rows.vecTap[r]];
        }
        SumScaledRows(m_vecPassed.data(), m_vecRows.data(), m_vecTapValues.data(), iTaps, m_vecPassed.size());
    }

    // ...from which a border pixel sums its column taps that meet a sample...
    void FactoredBorderPixel(int x, double* pPixel) const
    {
        const int P = m_iPlanes;
        for (int c = 0; c < P; ++c) {
            double dSum = 0.0;
            for (std::size_t t = m_cols.vecStart[x]; t < m_cols.vecStart[x + 1]; ++t)
                dSum += m_factors.vecCols[m_cols.vecTap[t]] *
                        m_vecPassed[static_cast<std::size_t>(m_cols.vecSample[t]) * P + c];
            pPixel[c] = dSum;
        }
    }

    // ...and the interior columns of a phase add its taps in one pass.
    void AddFactoredInteriorPhase(const CInteriorPhase& phase, double* pAcc)
    {
        const std::size_t iCount = static_cast<std::size_t>(phase.iEnd - phase.iBegin) * m_iPlanes;
        int iTaps = 0;
        for (const CShiftTap& tap : phase.vecTaps) {
            m_vecRows[iTaps] = m_vecPassed.data() + static_cast<std::size_t>(phase.iBegin + tap.iShift) * m_iPlanes;
            m_vecTapValues[iTaps] = m_factors.vecCols[tap.iTap];
            ++iTaps;
        }
        SumScaledRows(pAcc, m_vecRows.data(), m_vecTapValues.data(), iTaps, iCount);
    }

    const cv::Mat* m_pLow;
    const cv::Mat& m_imgKernel;
    const int m_iScale, m_iPlanes, m_iRows, m_iCols;
    const CTapList m_rows, m_cols;
    const std::size_t m_iPhaseSize;
    std::vector<CInteriorPhase> m_vecPhases;
    std::vector<int> m_vecBorder;  // columns with clamped taps
    std::vector<double> m_vecAcc;  // per phase: the interior columns of the row
    std::vector<const double*> m_vecRows;
    std::vector<double> m_vecTapValues;
    CKernelFactors m_factors;
    bool m_bFactored = false;
    std::vector<double> m_vecPassed;  // factored kernel: the vertical pass of the row
};

void BlurDecimateAtSamples(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgKernel, int iScale)
{
    CheckOperands(imgSrc, imgKernel, iScale);
    CImageRows rows(imgSrc);
    BlurDecimateRows(imgDst, rows, imgSrc.rows, imgSrc.cols, imgSrc.type(), imgKernel, iScale);
}

void WarpBlurDecimateAtSamples(cv::Mat& imgDst, const cv::Mat& imgSrc, const CFrameMapOffsets& offsets,
                               const cv::Mat& imgKernel, int iScale)
{
    CheckOperands(imgSrc, imgKernel, iScale);
    CV_Assert(imgSrc.isContinuous());
    CWarpedRows rows(imgSrc, offsets);
    BlurDecimateRows(imgDst, rows, imgSrc.rows, imgSrc.cols, imgSrc.type(), imgKernel, iScale);
}

CTransposedBlurFromSamples::CTransposedBlurFromSamples(const cv::Mat& imgLowLike, const cv::Mat& imgKernel, int iScale)
{
    CheckOperands(imgLowLike, imgKernel, iScale);
    m_pRows = std::make_unique<CTransposedBlurRows>(imgLowLike, imgKernel, iScale);
}

CTransposedBlurFromSamples::~CTransposedBlurFromSamples() = default;

void CTransposedBlurFromSamples::Apply(cv::Mat& imgDst, const cv::Mat& imgLow)
{
    Bind(imgLow);
    imgDst.create(Rows(), Cols(), imgLow.type());
    for (int y = 0; y < Rows(); ++y) ComputeRow(y, imgDst.ptr<double>(y));
}

void CTransposedBlurFromSamples::Bind(const cv::Mat& imgLow) { m_pRows->Bind(imgLow); }
int CTransposedBlurFromSamples::Rows() const { return m_pRows->Rows(); }
int CTransposedBlurFromSamples::Cols() const { return m_pRows->Cols(); }

void CTransposedBlurFromSamples::ComputeRow(int y, double* pOut)
{
    CV_Assert(y >= 0 && y < Rows());
    m_pRows->ComputeRow(y, pOut);
}

}  // namespace NSysApply
