// An illegal (non-finite) map entry met by the scatter transpose of the warp.
// Worker threads may not call the host, so each frame collects its entries and
// the calling thread prints them after the frame loop has joined.
#ifndef QMV_SYSAPPLY_ILLEGAL_VECTOR_H
#define QMV_SYSAPPLY_ILLEGAL_VECTOR_H

#include <algorithm>
#include <vector>

namespace NSysApply {

struct CIllegalVector {
    int iX;  // column, 0-based
    int iY;  // row, 0-based
};

using CIllegalVectorList = std::vector<CIllegalVector>;

// Puts entries into the order a row-major visit meets them (rows in order,
// each from left to right).
inline void SortRowMajor(CIllegalVectorList& lst)
{
    std::sort(lst.begin(), lst.end(), [](const CIllegalVector& a, const CIllegalVector& b) {
        return a.iY != b.iY ? a.iY < b.iY : a.iX < b.iX;
    });
}

// Element k: the entries of frame k, in the order the scatter visited them.
using CFrameWarnings = std::vector<CIllegalVectorList>;

}  // namespace NSysApply

#endif
