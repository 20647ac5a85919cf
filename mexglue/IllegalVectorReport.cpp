// Host output of the collected warnings.
#include "mexglue/IllegalVectorReport.h"

#include "mex.h"

namespace NMexGlue {

void PrintIllegalVectors(const CIllegalVectorList& lst)
{
    for (const CIllegalVector& entry : lst) {
        mexPrintf("__warning: illegal flow vector at (%d, %d)\n", entry.iX, entry.iY);
        mexEvalString("drawnow;");
    }
}

}  // namespace NMexGlue
