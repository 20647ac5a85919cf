// CImgFilter<T, G>: the interface of filters that smooth images of pixel type T
// with the help of a guide image of pixel type G.
#ifndef DPX_IMGFILTER_H
#define DPX_IMGFILTER_H

#include "Image2D.h"

template <class T, class G>
class CImgFilter {
public:
    CImgFilter() = default;
    CImgFilter(const CImgFilter&) = delete;
    CImgFilter& operator=(const CImgFilter&) = delete;
    virtual ~CImgFilter() {}

    virtual const char* GetName() const = 0;
    // A new filter with the same parameters but no guide; the caller owns it.
    virtual CImgFilter* Clone() const = 0;
    virtual int GetRadius() const = 0;
    // Hook for filters that must prepare before taking a guide; none here does.
    virtual void BeginPrecompute() {}
    // Takes the guide the following RunFilter calls use.
    virtual void Precompute(const CImage2D<G>& imgGuide) = 0;
    // Hook for filters that must finish after taking a guide; none here does.
    virtual void EndPrecompute() {}
    // Filters imgSrc into imgDst.
    virtual void RunFilter(CImage2D<T>& imgDst, const CImage2D<T>& imgSrc) = 0;
};

#endif
