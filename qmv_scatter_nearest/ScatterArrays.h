// The module's result from its argument arrays, which must have passed the
// entry's checks: img (H x W or H x W x K) and
// imgMap (H x W x 2, 1-based target columns, then rows). pmxWarped must be a
// double array of img's size; every element of it is written, and the
// non-finite map vectors are appended to vIllegal in visiting order (the
// reference through library images, tests/reference, agrees bit for bit).
#ifndef QMV_SCATTER_NEAREST_SCATTERARRAYS_H
#define QMV_SCATTER_NEAREST_SCATTERARRAYS_H

#include "mex.h"

#include "ScatterNearest.h"

#include <vector>

// Straight from the arrays into pmxWarped, without working images: the
// path the entry takes.
void ScatterArraysInPlace(const mxArray* pmxImg, const mxArray* pmxMap, mxArray* pmxWarped,
                          std::vector<CIllegalVector>& vIllegal);

#endif  // QMV_SCATTER_NEAREST_SCATTERARRAYS_H
