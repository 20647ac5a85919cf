// Conversion of decoded frames to the host's plane layout; see FramesToStack.h.
#include "FramesToStack.h"

#include <cstddef>

namespace {

template <typename T>
void FrameToPlanes(const cv::Mat& matFrame, double dFullScale, double* pPlanes)
{
    const size_t nH = static_cast<size_t>(matFrame.rows), nW = static_cast<size_t>(matFrame.cols);
    const int iChannels = matFrame.channels();
    // Plane c (red, green, blue) reads channel aSource[c] of OpenCV's order;
    // dividing (not multiplying by the inverse) gives im2double's values.
    const int aSource[3] = {iChannels == 1 ? 0 : 2, iChannels == 1 ? 0 : 1, 0};
    for (size_t y = 0; y < nH; ++y) {
        const T* pRow = matFrame.ptr<T>(static_cast<int>(y));
        for (size_t x = 0; x < nW; ++x)
            for (size_t c = 0; c < 3; ++c)
                pPlanes[y + x * nH + c * nH * nW] = pRow[x * iChannels + aSource[c]] / dFullScale;
    }
}

}  // namespace

void FramesToStack(const std::vector<cv::Mat>& vFrames, double* pStack)
{
    for (const cv::Mat& matFrame : vFrames) {
        const size_t nPlaneSize = static_cast<size_t>(matFrame.rows) * static_cast<size_t>(matFrame.cols);
        if (matFrame.depth() == CV_16U)
            FrameToPlanes<unsigned short>(matFrame, 65535.0, pStack);
        else
            FrameToPlanes<unsigned char>(matFrame, 255.0, pStack);
        pStack += 3 * nPlaneSize;
    }
}
