// The call contract of imgAI = qmv_system_apply(imgI, func_param): argument
// counts, the nine fields of func_param, every check in its order with its
// message, and the reading of all inputs into the operator's argument set.
#ifndef QMV_SYSAPPLY_ARGUMENT_CONTRACT_H
#define QMV_SYSAPPLY_ARGUMENT_CONTRACT_H

#include "contract/OperatorArguments.h"

#include "mex.h"

namespace NSysApply {

enum EInput { IN_IMG = 0, IN_PARAM = 1, IN_COUNT = 2 };
enum EOutput { OUT_IMG = 0, OUT_COUNT = 1 };

// Numeric, dense, real, non-empty, 1 x 1.
bool IsRealScalar(const mxArray* pmxA);
// IsRealScalar and a finite whole number.
bool IsRealInteger(const mxArray* pmxA);

// Checks the call and fills args, or ends the call through mexErrMsgTxt.
void ReadOperatorArguments(int nlhs, int nrhs, const mxArray* prhs[], COperatorArguments& args);

}  // namespace NSysApply

#endif
