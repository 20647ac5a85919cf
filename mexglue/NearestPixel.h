// The nearest-pixel rule of every coordinate map the modules read (the
// operator's warp and its transpose, the scatter): one rounding, clamping and
// validity test, so that a warp and its transpose always agree. The modules'
// branch-free and vector forms of the rule are tested against this one.
#ifndef QMV_MEXGLUE_NEAREST_PIXEL_H
#define QMV_MEXGLUE_NEAREST_PIXEL_H

#include <cmath>

namespace NMexGlue {

// Index of the nearest pixel to a finite 0-based coordinate, halves rounding
// upwards, clamped to 0..iSize-1. floor(v) < 0 exactly when v < 0 and
// floor(v) >= n exactly when v >= n, so the clamp is done in double first and
// the conversion (a truncation, equal to floor on [0, n)) never overflows.
inline int NearestIndex(double dCoordinate, int iSize)
{
    const double dRounded = dCoordinate + 0.5;
    if (dRounded < 0.0) return 0;
    if (dRounded >= static_cast<double>(iSize)) return iSize - 1;
    return static_cast<int>(dRounded);
}

// Turns a 1-based map entry into a 0-based pixel. Returns false for a
// non-finite coordinate (an illegal flow vector).
inline bool MapToPixel(double dMapX, double dMapY, int iCols, int iRows, int& iX, int& iY)
{
    const double dX = dMapX - 1.0;
    const double dY = dMapY - 1.0;
    if (!std::isfinite(dX) || !std::isfinite(dY)) return false;
    iX = NearestIndex(dX, iCols);
    iY = NearestIndex(dY, iRows);
    return true;
}

}  // namespace NMexGlue

#endif
