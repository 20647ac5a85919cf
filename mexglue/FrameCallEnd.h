// The end of a call whose frames collected warnings in parallel: the calling
// thread prints them and then either raises the failure or hands the result
// over.
#ifndef QMV_MEXGLUE_FRAME_CALL_END_H
#define QMV_MEXGLUE_FRAME_CALL_END_H

#include "mexglue/IllegalVectors.h"

#include "mex.h"

#include <string>
#include <vector>

namespace NMexGlue {

// Prints each frame's illegal vectors in frame order and empties the lists;
// with a failure, destroys pmxResult and raises sFailure (does not return);
// otherwise returns pmxResult for the output slot.
mxArray* EndFrameCall(std::vector<CIllegalVectorList>& vecWarnings, const std::string& sFailure, mxArray* pmxResult);

}  // namespace NMexGlue

#endif
