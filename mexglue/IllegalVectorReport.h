// Host output of collected illegal map entries, one warning line each (never
// called from a worker thread).
#ifndef QMV_MEXGLUE_ILLEGAL_VECTOR_REPORT_H
#define QMV_MEXGLUE_ILLEGAL_VECTOR_REPORT_H

#include "mexglue/IllegalVectors.h"

namespace NMexGlue {

// "__warning: illegal flow vector at (x, y)" per entry, in list order, each
// flushed to the console at once.
void PrintIllegalVectors(const CIllegalVectorList& lst);

}  // namespace NMexGlue

#endif
