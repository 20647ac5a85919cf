// Blur with decimation and its transpose, computed only where they matter:
// the forward convolution only at the kept sample positions, the transposed
// correlation only from the samples (never forming the zero-filled image).
// Borders replicate exactly as the full-resolution filter2D forms do, so the
// results agree with BlurDecimate / UpsampleBlurTranspose up to rounding.
#ifndef QMV_SYSAPPLY_SAMPLED_BLUR_OPERATORS_H
#define QMV_SYSAPPLY_SAMPLED_BLUR_OPERATORS_H

#include "conversions/PlanarView.h"
#include "warp/FrameMapOffsets.h"

#include <opencv2/core.hpp>

#include <memory>

namespace NSysApply {

// imgDst = D B imgSrc: max(H/s,1) x max(W/s,1), the convolution at (i*s, j*s).
void BlurDecimateAtSamples(cv::Mat& imgDst, const cv::Mat& imgSrc, const cv::Mat& imgKernel, int iScale);

class CTransposedBlurRows;

// imgDst = B^T U imgSrc, (s*h) x (s*w), for the planes of a frame: correlation
// of the zero-filled image with the kernel, summing only the taps that meet a
// sample. The kernel's tap lists are prepared once, for low-resolution images
// of the size and type of imgLowLike. The kernel must outlive the object.
class CTransposedBlurFromSamples {
public:
    CTransposedBlurFromSamples(const cv::Mat& imgLowLike, const cv::Mat& imgKernel, int iScale);
    ~CTransposedBlurFromSamples();
    CTransposedBlurFromSamples(const CTransposedBlurFromSamples&) = delete;
    CTransposedBlurFromSamples& operator=(const CTransposedBlurFromSamples&) = delete;

    // imgDst = B^T U imgLow.
    void Apply(cv::Mat& imgDst, const cv::Mat& imgLow);

    // The same one row at a time: after Bind(imgLow), ComputeRow(y, pOut)
    // writes row y of B^T U imgLow (Cols() pixels) for any y in 0..Rows()-1.
    // imgLow must stay in place while rows are computed.
    void Bind(const cv::Mat& imgLow);
    int Rows() const;
    int Cols() const;
    void ComputeRow(int y, double* pOut);

private:
    std::unique_ptr<CTransposedBlurRows> m_pRows;
};

// imgDst = D B M imgSrc for one plane imgSrc (a transposed plane of the
// caller's layout, PlaneImages.h) and its map resolved by ResolveColumnMajor:
// the rows the blur reads are warped as they are read. Equal to
// BlurDecimateAtSamples of the warped plane, bit for bit.
void WarpBlurDecimateAtSamples(cv::Mat& imgDst, const cv::Mat& imgSrc, const CFrameMapOffsets& offsets,
                               const cv::Mat& imgKernel, int iScale);

}  // namespace NSysApply

#endif
