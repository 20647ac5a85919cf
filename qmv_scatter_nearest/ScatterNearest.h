// What the scatter reports besides its result: the sources whose map vector
// is not finite, as the shared illegal-vector record.
#ifndef QMV_SCATTER_NEAREST_SCATTERNEAREST_H
#define QMV_SCATTER_NEAREST_SCATTERNEAREST_H

#include "mexglue/IllegalVectors.h"

#include "QELLib/NMemAlloc.h"  // qelMInt, the index type of the module

// A source pixel whose map vector is not finite (0-based column, row).
using NMexGlue::CIllegalVector;

#endif  // QMV_SCATTER_NEAREST_SCATTERNEAREST_H
