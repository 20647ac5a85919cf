// An illegal (non-finite) map entry met by the scatter transpose of the warp.
// Worker threads may not call the host, so each frame collects its entries and
// the calling thread prints them after the frame loop has joined.
#ifndef QMV_SYSAPPLY_ILLEGAL_VECTOR_H
#define QMV_SYSAPPLY_ILLEGAL_VECTOR_H

#include <algorithm>
#include <utility>
#include <vector>

namespace NSysApply {

struct CIllegalVector {
    int iX;  // column, 0-based
    int iY;  // row, 0-based
};

using CIllegalVectorList = std::vector<CIllegalVector>;

// Entries recorded by a scatter over a transposed plane (iX the row, iY the
// column of the original image, in column-major order) turned into (x, y)
// in the row-major order of the original image, each entry being unique.
inline void ToRowMajorOrder(CIllegalVectorList& lst)
{
    for (CIllegalVector& entry : lst) std::swap(entry.iX, entry.iY);
    std::sort(lst.begin(), lst.end(), [](const CIllegalVector& a, const CIllegalVector& b) {
        return a.iY != b.iY ? a.iY < b.iY : a.iX < b.iX;
    });
}
// Element k: the entries of frame k, in the order the scatter visited them.
using CFrameWarnings = std::vector<CIllegalVectorList>;

}  // namespace NSysApply

#endif
