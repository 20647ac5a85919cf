// Interleaved row-major floats to column-major double planes. Rows are read
// eight at a time, so that each array column receives a whole cache line per
// plane while the eight rows stay in cache.
#include "FlowToPlanes.h"

#include <algorithm>
#include <cstddef>

namespace {
constexpr int kRowTile = 8;
}

void FlowToPlanes(const cv::Mat& matFlow, double* pDst)
{
    const int iHeight = matFlow.rows;
    const int iWidth = matFlow.cols;
    const std::ptrdiff_t iPlane = static_cast<std::ptrdiff_t>(iHeight) * iWidth;
    const float* apRows[kRowTile];
    for (int y0 = 0; y0 < iHeight; y0 += kRowTile) {
        const int iRows = std::min(kRowTile, iHeight - y0);
        for (int i = 0; i < iRows; ++i) apRows[i] = matFlow.ptr<float>(y0 + i);
        for (int x = 0; x < iWidth; ++x) {
            double* pDx = pDst + static_cast<std::ptrdiff_t>(x) * iHeight + y0;
            double* pDy = pDx + iPlane;
            for (int i = 0; i < iRows; ++i) {
                pDx[i] = static_cast<double>(apRows[i][2 * x]);
                pDy[i] = static_cast<double>(apRows[i][2 * x + 1]);
            }
        }
    }
}
