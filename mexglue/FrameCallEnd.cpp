// The end of a call whose frames collected warnings.
#include "mexglue/FrameCallEnd.h"

#include "mexglue/IllegalVectorReport.h"

namespace NMexGlue {

mxArray* EndFrameCall(std::vector<CIllegalVectorList>& vecWarnings, const std::string& sFailure, mxArray* pmxResult)
{
    for (const CIllegalVectorList& lstFrame : vecWarnings) PrintIllegalVectors(lstFrame);
    vecWarnings.clear();
    if (!sFailure.empty()) {
        mxDestroyArray(pmxResult);
        mexErrMsgTxt(sFailure.c_str());
    }
    return pmxResult;
}

}  // namespace NMexGlue
