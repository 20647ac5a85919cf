// The two ways of computing the module's result from its argument arrays,
// which must have passed the entry's checks: img (H x W or H x W x K) and
// imgMap (H x W x 2, 1-based target columns, then rows). pmxWarped must be a
// double array of img's size; both write every element of it. Both form the
// same sums in the same order, so their results agree bit for bit, and both
// append the non-finite map vectors to vIllegal in visiting order.
#ifndef QMV_SCATTER_NEAREST_SCATTERARRAYS_H
#define QMV_SCATTER_NEAREST_SCATTERARRAYS_H

#include "mex.h"

#include "ScatterNearest.h"

#include <vector>

// Through library images: img and map copied into working images, scattered
// by ScatterNearest and copied out. Kept as the reference for the tests.
void ScatterArraysByImages(const mxArray* pmxImg, const mxArray* pmxMap, mxArray* pmxWarped,
                           std::vector<CIllegalVector>& vIllegal);

// Straight from the arrays into pmxWarped, without working images: the
// path the entry takes.
void ScatterArraysInPlace(const mxArray* pmxImg, const mxArray* pmxMap, mxArray* pmxWarped,
                          std::vector<CIllegalVector>& vIllegal);

#endif // QMV_SCATTER_NEAREST_SCATTERARRAYS_H
