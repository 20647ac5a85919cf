// The regulariser R(x) = Dx^T (w .* Dx x) + Dy^T (w .* Dy x) with periodic
// first differences: symmetric and positive semi-definite for w >= 0.
#ifndef QMV_SYSAPPLY_WEIGHTED_DIFFERENCE_TERM_H
#define QMV_SYSAPPLY_WEIGHTED_DIFFERENCE_TERM_H

#include "conversions/PlanarView.h"

#include <opencv2/core.hpp>

#include <cstddef>

namespace NSysApply {

// imgDst = R(imgX) with weights imgW of the size and type of imgX.
void WeightedDifferenceTerm(cv::Mat& imgDst, const cv::Mat& imgX, const cv::Mat& imgW);

// pDst = eta * R(x), formed as R followed by ScaleTerm (the same bits) in one
// pass, with x, w and pDst H x W x P arrays in the caller's column-major layout.
void ScaledWeightedDifferenceTerm(double* pDst, const CPlanarView& viewX, const CPlanarView& viewW, double dEta);

// R, row by row, of a stack of images of iPlaneRows rows each (one image: all
// rows), each element then multiplied by *pScale when pScale is given; the
// vertical differences wrap within each image. Any split of the rows into
// ranges gives the same bits, so ranges can go to any threads.
class CWeightedDifferenceRows {
public:
    // imgDst has the size and type of imgX; all three outlive the object.
    CWeightedDifferenceRows(cv::Mat& imgDst, const cv::Mat& imgX, const cv::Mat& imgW, int iPlaneRows,
                            const double* pScale);

    int Rows() const { return m_imgX.rows; }
    // Doubles of scratch a range needs.
    std::size_t ScratchSize() const;
    // Rows [iBegin, iEnd) of imgDst.
    void Compute(int iBegin, int iEnd, double* pScratch) const;

private:
    int Next(int i) const;
    int Previous(int i) const;

    cv::Mat& m_imgDst;
    const cv::Mat& m_imgX;
    const cv::Mat& m_imgW;
    const int m_iPlaneRows;
    const double* const m_pScale;
};

// eta * R of H x W x P arrays in the caller's layout as the rows of their
// transposed planes, stacked: R commutes with transposition and forms each
// element as the sum of the same two differences (in the other order, which
// gives the same bits), so these rows give eta * R of the image exactly.
class CStackedRegulariser {
public:
    CStackedRegulariser(double* pDst, const CPlanarView& viewX, const CPlanarView& viewW, double dEta);
    const CWeightedDifferenceRows& Rows() const { return m_rows; }

private:
    cv::Mat m_imgDst, m_imgX, m_imgW;
    const double m_dEta;
    const CWeightedDifferenceRows m_rows;
};

}  // namespace NSysApply

#endif
