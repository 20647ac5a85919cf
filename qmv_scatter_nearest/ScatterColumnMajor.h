// The scatter on column-major arrays, read and written in place.
#ifndef QMV_SCATTER_NEAREST_SCATTERCOLUMNMAJOR_H
#define QMV_SCATTER_NEAREST_SCATTERCOLUMNMAJOR_H

#include "ScatterNearest.h"

#include <vector>

// Adds every element of pSrc (iHeight x iWidth x iChannels, column-major)
// into pOut (the same shape) at the pixel that pMap (iHeight x iWidth x 2:
// 1-based target columns, then rows) names, with 1.0 subtracted first and
// the rounding and clamping of NMexGlue::NearestIndex after. Every element of pOut
// is written. Every sum is formed in the order in which ScatterNearest forms
// it on images, visiting sources row by row; non-finite vectors contribute
// nothing and are appended to vIllegal in that order.
void ScatterNearestColumnMajor(const double* pSrc, const double* pMap, double* pOut, qelMInt iWidth, qelMInt iHeight,
                               qelMInt iChannels, std::vector<CIllegalVector>& vIllegal);

#endif  // QMV_SCATTER_NEAREST_SCATTERCOLUMNMAJOR_H
