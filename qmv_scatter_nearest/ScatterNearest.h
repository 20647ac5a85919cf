// The transpose of a nearest-neighbour remap on library images: every source
// pixel is added into the output pixel that its map vector names.
#ifndef QMV_SCATTER_NEAREST_SCATTERNEAREST_H
#define QMV_SCATTER_NEAREST_SCATTERNEAREST_H

#include "QELLib/NImage.h"
#include "QELLib/NSmallVector.h"

#include <vector>

typedef NImage::CCompositeImage<NSmallVector::CVector2D<double>> CMapImage;

// A source pixel whose map vector is not finite (0-based column x, row y).
struct CIllegalVector {
    qelMInt x;
    qelMInt y;
};

// Overwrites imgWarped (already created with img's width, height and
// channels) with the scatter of img along imgMap, which holds 0-based target
// columns (x) and rows (y). Targets round half up and are clamped to the
// border; sources are visited row by row, so the sums into one target are
// formed in that order. Pixels with a non-finite vector contribute nothing
// and are appended to vIllegal in visiting order.
void ScatterNearest(NImage::CImage<double>& imgWarped, const NImage::CImage<double>& img,
                    const CMapImage& imgMap, std::vector<CIllegalVector>& vIllegal);

// Nearest pixel index of the 0-based coordinate v within [0, iSize - 1]:
// floor(v + 0.5), clamped in floating point so that no coordinate, however
// far, meets an out-of-range integer conversion. v must be finite.
inline qelMInt NearestClamped(double v, qelMInt iSize)
{
    // floor(d) < 0 exactly when d < 0, and floor(d) >= iSize exactly when
    // d >= iSize; in between, truncation is floor and needs no library call.
    const double d = v + 0.5;
    if (d < 0.0) {
        return 0;
    }
    if (d >= iSize) {
        return iSize - 1;
    }
    return static_cast<qelMInt>(d);
}

#endif // QMV_SCATTER_NEAREST_SCATTERNEAREST_H
