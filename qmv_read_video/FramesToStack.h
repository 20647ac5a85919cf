// Decoded video frames into the column-major planes of an H x W x 3 x N array.
#ifndef QMV_READ_VIDEO_FRAMESTOSTACK_H
#define QMV_READ_VIDEO_FRAMESTOSTACK_H

#include <vector>

#include <opencv2/core.hpp>

// Writes frame k (OpenCV's BGR, BGRA or grey order, 8 or 16 bits, all of one
// size H x W) as planes red, green, blue on a 0..1 scale into pStack at
// k * H * W * 3, column-major like MATLAB arrays. Grey frames fill all three
// planes; an alpha channel is dropped.
void FramesToStack(const std::vector<cv::Mat>& vFrames, double* pStack);

#endif
