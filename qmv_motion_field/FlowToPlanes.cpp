// Interleaved row-major floats to column-major double planes. Rows are read
// eight at a time, so that each array column receives a whole cache line per
// plane; column ranges go to separate threads, each writing (and so first
// touching) its own contiguous part of the result.
#include "FlowToPlanes.h"

#include <algorithm>
#include <cstddef>

#include <opencv2/core/utility.hpp>

namespace {

constexpr int kRowTile = 8;

void CopyColumns(const cv::Mat& matFlow, double* pDst, int iFirstColumn, int iEndColumn)
{
  const int iHeight = matFlow.rows;
  const std::ptrdiff_t iPlane = static_cast<std::ptrdiff_t>(iHeight) * matFlow.cols;
  const float* apRows[kRowTile];
  for (int y0 = 0; y0 < iHeight; y0 += kRowTile) {
    const int iRows = std::min(kRowTile, iHeight - y0);
    for (int i = 0; i < iRows; ++i)
      apRows[i] = matFlow.ptr<float>(y0 + i);
    for (int x = iFirstColumn; x < iEndColumn; ++x) {
      double* pDx = pDst + static_cast<std::ptrdiff_t>(x) * iHeight + y0;
      double* pDy = pDx + iPlane;
      for (int i = 0; i < iRows; ++i) {
        pDx[i] = static_cast<double>(apRows[i][2 * x]);
        pDy[i] = static_cast<double>(apRows[i][2 * x + 1]);
      }
    }
  }
}

}  // namespace

void FlowToPlanes(const cv::Mat& matFlow, double* pDst)
{
  // Enough stripes to balance two threads when one of them is slowed down.
  const double dStripes = std::min(8, std::max(1, matFlow.cols / 64));
  cv::parallel_for_(
      cv::Range(0, matFlow.cols),
      [&](const cv::Range& range) { CopyColumns(matFlow, pDst, range.start, range.end); }, dStripes);
}
