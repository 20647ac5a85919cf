// The transposed warp's inner loop: a row of a frame's term scattered,
// scaled, into the accumulator through the frame's resolved offsets.
#ifndef QMV_SYSAPPLY_SCATTER_ADD_SCALED_H
#define QMV_SYSAPPLY_SCATTER_ADD_SCALED_H

#include "cpu/WiderRegisters.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace NSysApply {

// pAcc[offset i] = dFactor * pTerm[i] + pAcc[offset i] for i = 0..iCount-1 in
// this order; illegal entries (offset -1) are skipped. iReadable >= iCount
// offsets may be read from pOffsets: the entries that follow (the next rows
// of a map) tell where to prefetch.
inline void ScatterAddScaled(double* pAcc, const double* pTerm, const std::int32_t* pOffsets, std::size_t iCount,
                             std::size_t iReadable, double dFactor)
{
    // The processor's own prefetching does not follow the offsets, so the
    // targets are asked for well ahead, once per group of entries: a motion
    // map names neighbouring pixels for neighbouring entries, and one request
    // then brings the targets of the whole group. (A request per entry costs
    // more than it saves.)
    constexpr std::size_t AHEAD = 1024, GROUP = 8;
    for (std::size_t i0 = 0; i0 < iCount; i0 += GROUP) {
        if (i0 + AHEAD < iReadable) {
            const std::int32_t iAhead = pOffsets[i0 + AHEAD];
            QMV_PREFETCH_FOR_WRITE(pAcc + (iAhead < 0 ? 0 : iAhead));
        }
        const std::size_t iEnd = std::min(iCount, i0 + GROUP);
        for (std::size_t i = i0; i < iEnd; ++i) {
            const std::int32_t iOffset = pOffsets[i];
            if (iOffset < 0) continue;
            pAcc[iOffset] = dFactor * pTerm[i] + pAcc[iOffset];
        }
    }
}

}  // namespace NSysApply

#endif
