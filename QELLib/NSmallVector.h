// Small fixed-size vectors used as pixels of vector fields (x = column
// direction, y = row direction).
#ifndef QELLIB_NSMALLVECTOR_H
#define QELLIB_NSMALLVECTOR_H

#include "QELLib/NMemAlloc.h"

namespace NSmallVector {

template <class T>
struct CVector2D {
    typedef T ElementType;
    static constexpr qelMInt ChannelNum = 2;
    T x;
    T y;
};

static_assert(sizeof(CVector2D<float>) == 8, "CVector2D<float> must be packed");
static_assert(sizeof(CVector2D<double>) == 16, "CVector2D<double> must be packed");

} // namespace NSmallVector

#endif // QELLIB_NSMALLVECTOR_H
