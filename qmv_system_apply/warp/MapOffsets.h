// The nearest-pixel rule (mexglue/NearestPixel.h) as pixel offsets: one map
// entry in branch-free form, and whole column-major maps at a time (plain
// x86-64 and AVX2 forms, chosen at run time, giving the same offsets).
#ifndef QMV_SYSAPPLY_MAP_OFFSETS_H
#define QMV_SYSAPPLY_MAP_OFFSETS_H

#include "cpu/WiderRegisters.h"

#include <cstddef>
#include <cstdint>

namespace NSysApply {

// The value offset Y * iRowStep + X * iPlanes of the pixel (X, Y) a map entry
// names, or -1 for an illegal entry, for images whose offsets fit 32 bits:
// without branches, so that a loop over a map can run unhindered: clamping in double, then truncating,
// is NearestIndex; a non-finite coordinate gives -1.
inline std::int32_t EntryOffset32(double dMapX, double dMapY, int iCols, int iRows, std::int32_t iRowStep, int iPlanes)
{
    const double dX = dMapX - 1.0, dY = dMapY - 1.0;
    const bool bLegal = dX - dX == 0.0 && dY - dY == 0.0;  // both finite
    double dRoundedX = dX + 0.5, dRoundedY = dY + 0.5;
    dRoundedX = dRoundedX < 0.0 ? 0.0 : dRoundedX;
    dRoundedY = dRoundedY < 0.0 ? 0.0 : dRoundedY;
    dRoundedX = dRoundedX >= iCols ? iCols - 1.0 : dRoundedX;
    dRoundedY = dRoundedY >= iRows ? iRows - 1.0 : dRoundedY;
    const std::int32_t iX = static_cast<std::int32_t>(bLegal ? dRoundedX : 0.0);
    const std::int32_t iY = static_cast<std::int32_t>(bLegal ? dRoundedY : 0.0);
    return bLegal ? iY * iRowStep + iX * iPlanes : -1;
}

// pOffsets[i] = the offset X * iRows + Y of the pixel that map entry i names
// (pX[i], pY[i]), -1 for an illegal entry, for a column-major iRows x iCols
// map; returns the number of illegal entries.
std::size_t ResolveColumns(std::int32_t* pOffsets, const double* pX, const double* pY, std::size_t iEntries, int iRows,
                           int iCols);
// Its plain x86-64 and (where built) AVX2 forms, which give the same offsets.
std::size_t ResolveColumnsPortable(std::int32_t* pOffsets, const double* pX, const double* pY, std::size_t iEntries,
                                   int iRows, int iCols);
#if QMV_HAVE_AVX2_CLONES
std::size_t ResolveColumnsAvx2(std::int32_t* pOffsets, const double* pX, const double* pY, std::size_t iEntries,
                               int iRows, int iCols);
#endif

}  // namespace NSysApply

#endif
