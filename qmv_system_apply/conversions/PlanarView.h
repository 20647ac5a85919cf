// Read-only view of a MATLAB double array in its own column-major layout:
// element (row y, column x, plane c) at y + x*H + c*H*W. The operator reads
// the per-frame maps and weights through such views instead of copying them,
// which keeps the memory of a call to the images it really needs.
#ifndef QMV_SYSAPPLY_PLANAR_VIEW_H
#define QMV_SYSAPPLY_PLANAR_VIEW_H

#include <cstddef>

namespace NSysApply {

struct CPlanarView {
    const double* pData = nullptr;  // real part; owned by the caller's array
    int iRows = 0;
    int iCols = 0;
    int iPlanes = 0;
    bool bComplex = false;  // the array also has an imaginary part (not viewed)

    bool Empty() const { return iRows == 0 || iCols == 0 || iPlanes == 0; }
    std::size_t PlaneSize() const { return static_cast<std::size_t>(iRows) * static_cast<std::size_t>(iCols); }
    const double* Plane(int iPlane) const { return pData + static_cast<std::size_t>(iPlane) * PlaneSize(); }
    double At(int iY, int iX, int iPlane) const
    {
        return Plane(
            iPlane)[static_cast<std::size_t>(iY) + static_cast<std::size_t>(iX) * static_cast<std::size_t>(iRows)];
    }
};

}  // namespace NSysApply

#endif
