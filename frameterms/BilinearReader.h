// Bilinear reading of one image plane at 1-based positions, as the M-code
// reads (and as the frame terms' M-code reference does): the cell's top-left
// corner is at most W - 1, H - 1, so that a position on the last row or
// column reads it with weight 1.
#ifndef QMV_FRAMETERMS_BILINEAR_READER_H
#define QMV_FRAMETERMS_BILINEAR_READER_H

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace NSysApply {

struct CBilinearReader {
    int iH, iW;
    std::size_t iDx, iDy;  // offsets of the right and lower neighbours (0 on a 1-wide image)

    CBilinearReader(int iRows, int iCols)
        : iH(iRows), iW(iCols), iDx(iCols > 1 ? static_cast<std::size_t>(iRows) : 0), iDy(iRows > 1 ? 1 : 0)
    {}

    // Plane pImg (H x W, column-major) at (dX, dY), both already clamped to the image.
    double Read(const double* pImg, double dX, double dY) const
    {
        const double dX0 = std::min(std::floor(dX), static_cast<double>(std::max(iW - 1, 1)));
        const double dY0 = std::min(std::floor(dY), static_cast<double>(std::max(iH - 1, 1)));
        const double fx = dX - dX0, fy = dY - dY0;
        const std::size_t i =
            static_cast<std::size_t>(dY0 - 1) + static_cast<std::size_t>(dX0 - 1) * static_cast<std::size_t>(iH);
        return pImg[i] * ((1 - fx) * (1 - fy)) + pImg[i + iDx] * (fx * (1 - fy)) + pImg[i + iDy] * ((1 - fx) * fy) +
               pImg[i + iDx + iDy] * (fx * fy);
    }

    // Clamps a 1-based position to the image (a coordinate that is not
    // finite becomes 1, as the registration's M-code takes it), for Read.
    void Clamp(double& dX, double& dY) const
    {
        dX = std::isfinite(dX) ? std::min(std::max(dX, 1.0), static_cast<double>(iW)) : 1.0;
        dY = std::isfinite(dY) ? std::min(std::max(dY, 1.0), static_cast<double>(iH)) : 1.0;
    }
};

}  // namespace NSysApply

#endif
