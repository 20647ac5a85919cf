// The resolved map of one frame, kept for the frame's two passes.
#ifndef QMV_SYSAPPLY_FRAME_MAP_OFFSETS_H
#define QMV_SYSAPPLY_FRAME_MAP_OFFSETS_H

#include "conversions/PlanarView.h"
#include "frameloop/LargeBuffers.h"
#include "warp/IllegalVector.h"
#include "warp/MapOffsets.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace NSysApply {

// The offsets of every entry of a map, resolved once for the frame's two
// passes (the warp inside the forward blur and the scatter after the
// transposed blur). Offsets take 32 bits, which halves the memory traffic of
// both passes; an image whose offsets do not fit is refused (std::length_error).
// The buffer is kept for the next frame.
class CFrameMapOffsets {
public:
    using COffset = std::int32_t;

    // The map is read as the transposed image (row x holds column x of the
    // map, contiguous in the caller's array), and the offsets are X * H + Y,
    // into a plane held column by column (PlaneImages.h). RowOffsets(x) then
    // gives column x of the map.
    void ResolveColumnMajor(const CPlanarView& viewMap)
    {
        const int iRows = viewMap.iRows, iCols = viewMap.iCols;
        const std::size_t iEntries = viewMap.PlaneSize();
        CheckFits(static_cast<double>(iEntries));
        m_iCols = iRows;
        m_iRows = iCols;
        Reserve(iEntries);
        COffset* pOffsets = m_pOffsets.get();
        const double* pX = viewMap.Plane(0);
        const double* pY = viewMap.Plane(1);
        m_iIllegal = ResolveColumns(pOffsets, pX, pY, iEntries, iRows, iCols);
    }

    const COffset* RowOffsets(int y) const { return m_pOffsets.get() + static_cast<std::size_t>(y) * m_iCols; }

    // Rows and columns of the last map resolved (transposed after
    // ResolveColumnMajor).
    int Rows() const { return m_iRows; }
    int Cols() const { return m_iCols; }

    // After ResolveColumnMajor: lst = the map's illegal entries as (x, y), in
    // the order of a row-major visit.
    void IllegalEntriesColumnMajor(const CPlanarView& viewMap, CIllegalVectorList& lst) const
    {
        lst.clear();
        if (m_iIllegal == 0) return;
        const std::size_t iEntries = viewMap.PlaneSize();
        const COffset* pOffsets = m_pOffsets.get();
        for (std::size_t i = 0; i < iEntries; ++i) {
            if (pOffsets[i] < 0) {
                lst.push_back(CIllegalVector{static_cast<int>(i / viewMap.iRows), static_cast<int>(i % viewMap.iRows)});
            }
        }
        SortRowMajor(lst);
    }

    // Gives the buffer room for a map of iEntries entries ahead of time.
    void Reserve(std::size_t iEntries)
    {
        if (iEntries <= m_iCapacity) return;
        m_pOffsets.reset();
        m_pOffsets = std::unique_ptr<COffset, CFreeLarge>(
            static_cast<COffset*>(AllocateLarge(iEntries * sizeof(COffset))), CFreeLarge{iEntries * sizeof(COffset)});
        m_iCapacity = iEntries;
    }

private:
    static void CheckFits(double dValues)
    {
        if (dValues > static_cast<double>(INT32_MAX))
            throw std::length_error("the image is too large for 32-bit pixel offsets.");
    }

    int m_iRows = 0, m_iCols = 0;
    std::size_t m_iIllegal = 0;
    std::size_t m_iCapacity = 0;
    std::unique_ptr<COffset, CFreeLarge> m_pOffsets;
};

}  // namespace NSysApply

#endif
