// An illegal (non-finite) map entry met by the scatter transpose of the warp.
// Worker threads may not call the host, so each frame collects its entries and
// the calling thread prints them after the frame loop has joined.
#ifndef QMV_SYSAPPLY_ILLEGAL_VECTOR_H
#define QMV_SYSAPPLY_ILLEGAL_VECTOR_H

#include <vector>

namespace NSysApply {

struct CIllegalVector {
    int iX;  // column, 0-based
    int iY;  // row, 0-based
};

using CIllegalVectorList = std::vector<CIllegalVector>;
// Element k: the entries of frame k, in the order the scatter visited them.
using CFrameWarnings = std::vector<CIllegalVectorList>;

}  // namespace NSysApply

#endif
