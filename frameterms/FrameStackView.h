// The observed frames as the per-frame functions read them: an h x w x P x N
// column-major double stack, frame k's plane c a transposed w x h plane as the
// operator's planes are (conversions/PlaneImages.h).
#ifndef QMV_FRAMETERMS_FRAME_STACK_VIEW_H
#define QMV_FRAMETERMS_FRAME_STACK_VIEW_H

#include <cstddef>

namespace NSysApply {

struct CFrameStackView {
    const double* pData = nullptr;
    int iRows = 0;    // h
    int iCols = 0;    // w
    int iPlanes = 0;  // P
    int iFrames = 0;  // N

    std::size_t PlaneSize() const { return static_cast<std::size_t>(iRows) * static_cast<std::size_t>(iCols); }
    const double* Plane(int k, int c) const
    {
        return pData + (static_cast<std::size_t>(k) * iPlanes + static_cast<std::size_t>(c)) * PlaneSize();
    }
};

}  // namespace NSysApply

#endif
