// The whole operator: imgAI = eta * R(x) + (dataTermScale / N) * sum_k r_k,
// computed without any host call (the entry reports failures and warnings).
#ifndef QMV_SYSAPPLY_SYSTEM_OPERATOR_H
#define QMV_SYSAPPLY_SYSTEM_OPERATOR_H

#include "contract/OperatorArguments.h"
#include "warp/IllegalVector.h"

#include <opencv2/core.hpp>

#include <vector>

namespace NSysApply {

// The operator as the module computes it (sampled blur, per-thread scratch),
// written to pResult: H x W x P doubles in the caller's column-major layout
// (the output array itself; its contents on entry do not matter).
void ApplySystemOperator(const COperatorArguments& args, double* pResult, CFrameWarnings& warnings);

}  // namespace NSysApply

#endif
