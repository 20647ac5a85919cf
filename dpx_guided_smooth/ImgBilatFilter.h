// CImgBilatFilter<T, G>: the joint (guided) bilateral filter. Each output pixel
// is the weighted mean of the input pixels in a square window clipped to the
// image; a weight combines the pixel distance with the colour difference of
// the corresponding guide pixels (see BilatKernel.h for the formula). This
// module instantiates it for float images and a float RGB guide.
#ifndef DPX_IMGBILATFILTER_H
#define DPX_IMGBILATFILTER_H

#include "ColorRGB.h"
#include "ImgFilter.h"

#include <vector>

// Reports a distance form p other than 1 and 2 on std::cerr, as SetContext
// does; the entry calls it too for a p that truncates to 1 or 2.
void ReportIllegalDistanceForm();

template <class T, class G>
class CImgBilatFilter : public CImgFilter<T, G> {
public:
    // Which row kernel RunFilter uses. The scalar kernel is the reference; the
    // vector kernel with scalar exponentials is bit-identical to it and exists
    // to test the vector kernel's exponents.
    enum class EKernel { Fastest, Scalar, VectorScalarExp };

    CImgBilatFilter(int iRadius, float fSeps, float fReps, int iP);
    ~CImgBilatFilter() override;

    // Stores the parameters, then reports each illegal one on std::cerr; the
    // values stay in use whatever the checks say.
    void SetContext(int iRadius, float fSeps, float fReps, int iP);

    const char* GetName() const override { return "bilateral_filter"; }
    CImgFilter<T, G>* Clone() const override;
    int GetRadius() const override { return m_iRadius; }
    // Shares the caller's guide block: no pixel is copied, so later changes of
    // the caller's guide pixels are seen by the filter.
    void Precompute(const CImage2D<G>& imgGuide) override;
    // Filters imgSrc (of the guide's size) into imgDst, which is resized to it.
    // In-place calls (imgDst sharing imgSrc's block) go through a scratch image.
    // Failed preconditions are reported on std::cerr and leave imgDst alone; the
    // image layer's messages are thrown as std::string.
    void RunFilter(CImage2D<T>& imgDst, const CImage2D<T>& imgSrc) override;

    void SetKernel(EKernel eKernel) { m_eKernel = eKernel; }

private:
    struct SCopy {};
    CImgBilatFilter(SCopy, const CImgBilatFilter& filter);
    void FilterInto(CImage2D<T>& imgTarget, const CImage2D<T>& imgSrc);
    bool FilterVector(CImage2D<T>& imgTarget, const CImage2D<T>& imgSrc, bool bScalarExp);

    int m_iRadius;
    float m_fSeps;
    float m_fReps;
    int m_iP;
    CImage2D<G> m_imgGuide;
    CImage2D<T> m_imgScratch;
    // Working buffers of the vector kernel, kept between calls.
    EKernel m_eKernel = EKernel::Fastest;
    std::vector<float> m_vPlanes;
    std::vector<float> m_vSpatial;
};

#endif
