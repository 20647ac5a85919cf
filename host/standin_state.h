// Internals of the stand-in host shared by its API and its test control.
#ifndef QMV_HOST_STANDIN_STATE_H
#define QMV_HOST_STANDIN_STATE_H

#include "mex.h"

#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

struct mxArray_tag {
    mxClassID classId = mxUNKNOWN_CLASS;
    std::vector<mwSize> vDims;
    bool bComplex = false;
    bool bSparse = false;
    size_t iElemSize = 0;
    void* pReal = nullptr;  // null when there are no elements
    void* pImag = nullptr;
    mwIndex* pIr = nullptr;  // sparse row indices (nzmax)
    mwIndex* pJc = nullptr;  // sparse column starts (columns + 1)
    mwSize iNzmax = 0;
    std::vector<mxArray*> vCells;          // cell elements
    std::vector<std::string> vFieldNames;  // struct field names
    std::vector<mxArray*> vFieldValues;    // element-major: element * fields + field
    mxArray* pParent = nullptr;            // the cell or struct that owns it
};

namespace NMexStandIn {

struct SState {
    std::mutex mutex;
    std::unordered_set<mxArray*> live;
    bool bInCall = false;
    std::thread::id caller;
    std::vector<mxArray*> createdInCall;
    std::string printed;
    std::vector<std::string> evals;
    int offThread = 0;
    void (*fnAtExit)(void) = nullptr;  // registered with mexAtExit
};

SState& State();

}  // namespace NMexStandIn

#endif
