// The guided bilateral filter: parameter checks, guide sharing, and RunFilter,
// which splits the rows over OpenMP threads. Each row is computed by one thread
// from read-only inputs, so results do not depend on the thread count.
#include "ImgBilatFilter.h"

#include "BilatKernel.h"

#include <algorithm>
#include <iostream>
#include <new>

using NColor::CColorRGB;

namespace {

// With p = 2 both distances enter squared, and so do the scales.
NBilatKernel::SParams KernelParams(int iRadius, float fSeps, float fReps, int iP)
{
    const bool bSquared = iP == 2;
    return {iRadius, bSquared ? fSeps * fSeps : fSeps, bSquared ? fReps * fReps : fReps, iP};
}

}  // namespace

template <class T, class G>
CImgBilatFilter<T, G>::CImgBilatFilter(int iRadius, float fSeps, float fReps, int iP)
{
    SetContext(iRadius, fSeps, fReps, iP);
}

template <class T, class G>
CImgBilatFilter<T, G>::CImgBilatFilter(SCopy, const CImgBilatFilter& filter)
    : m_iRadius(filter.m_iRadius), m_fSeps(filter.m_fSeps), m_fReps(filter.m_fReps), m_iP(filter.m_iP),
      m_eKernel(filter.m_eKernel)
{}

// Members go in reverse order: the scratch share before the guide share.
template <class T, class G>
CImgBilatFilter<T, G>::~CImgBilatFilter() = default;

template <class T, class G>
void CImgBilatFilter<T, G>::SetContext(int iRadius, float fSeps, float fReps, int iP)
{
    m_iRadius = iRadius;
    m_fSeps = fSeps;
    m_fReps = fReps;
    m_iP = iP;
    if (iRadius < 0) std::cerr << "Error: CImgBilatFilter::SetContext() failed, illegal radius!" << std::endl;
    // A positive scale whose square underflows divides 0 by 0 at the window's
    // centre and makes every output NaN: as illegal as a scale of 0.
    const NBilatKernel::SParams par = KernelParams(iRadius, fSeps, fReps, iP);
    if (!(fSeps > 0.0f) || !(fReps > 0.0f) || !(par.fDivS > 0.0f) || !(par.fDivR > 0.0f))
        std::cerr << "Error: CImgBilatFilter::SetContext() failed, illegal seps/reps!" << std::endl;
    if (iP != 1 && iP != 2) ReportIllegalDistanceForm();
}

void ReportIllegalDistanceForm()
{
    std::cerr << "Error: CImgBilatFilter::SetContext() failed, p MUST BE 1 or 2!" << std::endl;
}

template <class T, class G>
CImgFilter<T, G>* CImgBilatFilter<T, G>::Clone() const
{
    return new CImgBilatFilter(SCopy(), *this);
}

template <class T, class G>
void CImgBilatFilter<T, G>::Precompute(const CImage2D<G>& imgGuide)
{
    m_imgGuide = imgGuide;
}

template <class T, class G>
void CImgBilatFilter<T, G>::RunFilter(CImage2D<T>& imgDst, const CImage2D<T>& imgSrc)
{
    if (m_imgGuide.GetPixels() == nullptr) {
        std::cerr << "Error: CImgBilatFilter::RunFilter() failed, not precomputed!" << std::endl;
        return;
    }
    const int iW = m_imgGuide.GetWidth();
    const int iH = m_imgGuide.GetHeight();
    if (imgSrc.GetWidth() != iW || imgSrc.GetHeight() != iH) {
        std::cerr << "Error: CImgBilatFilter::RunFilter() failed, illegal size of image!" << std::endl;
        return;
    }
    // The pass reads imgSrc while it writes: an in-place call writes the scratch
    // image and copies it over afterwards.
    const bool bInPlace = imgSrc.HasBlock() && imgDst.SharesBlockWith(imgSrc);
    CImage2D<T>& imgTarget = bInPlace ? m_imgScratch : imgDst;
    imgTarget.Resize(iW, iH);
    FilterInto(imgTarget, imgSrc);
    if (bInPlace) {
        for (int y = 0; y < iH; ++y) std::copy(m_imgScratch.GetRow(y), m_imgScratch.GetRow(y) + iW, imgDst.GetRow(y));
    }
}

template <class T, class G>
void CImgBilatFilter<T, G>::FilterInto(CImage2D<T>& imgTarget, const CImage2D<T>& imgSrc)
{
    const NBilatKernel::SParams par = KernelParams(m_iRadius, m_fSeps, m_fReps, m_iP);
    const bool bVector = m_iRadius >= 0 && m_eKernel != EKernel::Scalar && NBilatKernel::HasVectorPath();
    if (bVector && FilterVector(imgTarget, imgSrc, m_eKernel == EKernel::VectorScalarExp)) return;
    const int iH = m_imgGuide.GetHeight();
#pragma omp parallel for schedule(dynamic)
    for (int y = 0; y < iH; ++y) NBilatKernel::FilterRowScalar(par, m_imgGuide, imgSrc, y, imgTarget.GetRow(y));
}

// Returns false, having computed nothing, when its buffers cannot be had; the
// scalar kernel then does the work without extra memory.
template <class T, class G>
bool CImgBilatFilter<T, G>::FilterVector(CImage2D<T>& imgTarget, const CImage2D<T>& imgSrc, bool bScalarExp)
{
    const int iW = m_imgGuide.GetWidth();
    const int iH = m_imgGuide.GetHeight();
    const NBilatKernel::SParams par = KernelParams(m_iRadius, m_fSeps, m_fReps, m_iP);
    try {
        m_vPlanes.resize(4 * static_cast<std::size_t>(NBilatKernel::PlaneSize(iW, iH)));
        m_vSpatial.resize(NBilatKernel::SpatialTableSize(m_iRadius, iW, iH));
    } catch (const std::bad_alloc&) {
        std::vector<float>().swap(m_vPlanes);
        std::vector<float>().swap(m_vSpatial);
        return false;
    }
    NBilatKernel::FillSpatialTable(par, iW, iH, m_vSpatial.data());
    const NBilatKernel::SPlanes planes = NBilatKernel::PlanesAt(m_vPlanes.data(), iW, iH);
#pragma omp parallel
    {
#pragma omp for schedule(static)
        for (int y = 0; y < iH; ++y) NBilatKernel::FillPlaneRow(m_vPlanes.data(), m_imgGuide, imgSrc, y);
#pragma omp for schedule(dynamic)
        for (int y = 0; y < iH; ++y)
            NBilatKernel::FilterRowVector(par, planes, m_vSpatial.data(), y, imgTarget.GetRow(y), bScalarExp);
    }
    return true;
}

template class CImgBilatFilter<float, CColorRGB<float>>;
