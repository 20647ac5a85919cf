// Host output of the collected warnings (never called from a worker thread).
#include "warp/IllegalVectorReport.h"

#include "mex.h"

namespace NSysApply {

void PrintIllegalVectors(const CFrameWarnings& warnings)
{
    for (const CIllegalVectorList& lstFrame : warnings) {
        for (const CIllegalVector& entry : lstFrame) {
            mexPrintf("__warning: illegal flow vector at (%d, %d)\n", entry.iX, entry.iY);
            mexEvalString("drawnow;");
        }
    }
}

}  // namespace NSysApply
