// The frames' validity masks as the weight functions read them: func_param's
// vecImgW{k}, or all ones when the first frame's is empty.
#ifndef QMV_FRAMETERMS_FRAME_MASKS_H
#define QMV_FRAMETERMS_FRAME_MASKS_H

#include "contract/OperatorArguments.h"

#include <cstddef>

namespace NSysApply {

// Frame k's mask at pixel i of plane c.
inline double MaskAt(const COperatorArguments& args, int k, std::size_t i, int c)
{
    return args.bWeighted ? args.vecWeights[k].Plane(c)[i] : 1.0;
}

// pOut (n pixels x P planes) = frame k's mask.
inline void CopyMask(const COperatorArguments& args, int k, std::size_t n, int P, double* pOut)
{
    for (int c = 0; c < P; ++c)
        for (std::size_t o = 0; o < n; ++o) pOut[o + c * n] = MaskAt(args, k, o, c);
}

}  // namespace NSysApply

#endif
