// The illegal (non-finite) map entries met by the scatter transpose of the
// warp, frame by frame: each frame collects its own, and the calling thread
// prints them in frame order after the frame loop has joined.
#ifndef QMV_SYSAPPLY_ILLEGAL_VECTOR_H
#define QMV_SYSAPPLY_ILLEGAL_VECTOR_H

#include "mexglue/IllegalVectors.h"

#include <vector>

namespace NSysApply {

using NMexGlue::CIllegalVector;
using NMexGlue::CIllegalVectorList;
using NMexGlue::SortRowMajor;

// Element k: the entries of frame k, in the order the scatter visited them.
using CFrameWarnings = std::vector<CIllegalVectorList>;

}  // namespace NSysApply

#endif
