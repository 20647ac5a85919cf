// An illegal (non-finite) map entry met while a module follows a map. Worker
// threads may not call the host, so the computation collects the entries and
// the calling thread prints them after the join (IllegalVectorReport.h).
#ifndef QMV_MEXGLUE_ILLEGAL_VECTORS_H
#define QMV_MEXGLUE_ILLEGAL_VECTORS_H

#include <algorithm>
#include <vector>

namespace NMexGlue {

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

}  // namespace NMexGlue

#endif
