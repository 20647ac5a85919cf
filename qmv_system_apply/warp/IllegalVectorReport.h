// Prints the illegal flow vectors collected by the frame loop, through the
// host, on the calling thread.
#ifndef QMV_SYSAPPLY_ILLEGAL_VECTOR_REPORT_H
#define QMV_SYSAPPLY_ILLEGAL_VECTOR_REPORT_H

#include "warp/IllegalVector.h"

namespace NSysApply {

// One line per entry, frames in order, each followed by a "drawnow;" request
// so that the line shows at once.
void PrintIllegalVectors(const CFrameWarnings& warnings);

}  // namespace NSysApply

#endif
