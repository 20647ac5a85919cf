// Adapters between the library's images and OpenCV matrices used by the flow
// solver: RGBA colour to grey bytes, a byte image into an existing matrix, and
// a float matrix back into a library image.
#ifndef IMAGE_IMG_CONVERT_H
#define IMAGE_IMG_CONVERT_H

#include <cstring>
#include <iostream>

#include <opencv2/core.hpp>

#include "QELLib/NColor.h"
#include "QELLib/NException.h"
#include "QELLib/NImage.h"

// Luminance of one RGB byte triple. Single precision, products summed left to
// right, truncated: the exact grey levels the solver has always been given
// (so (37, 37, 37) gives 36, not 37).
inline unsigned char GrayLevel(unsigned char R, unsigned char G, unsigned char B)
{
  float g = static_cast<float>(R) * 0.299f;
  g = g + static_cast<float>(G) * 0.587f;
  g = g + static_cast<float>(B) * 0.114f;
  if (g > 255.0f)
    g = 255.0f;
  return static_cast<unsigned char>(g);
}

// (Re)creates imgGray as the one-channel luminance of imgRGBA; alpha is ignored.
inline void RGBA2Gray(NImage::CImage<unsigned char>& imgGray,
                      const NImage::CCompositeImage<NColor::CColorRGBAub>& imgRGBA)
{
  QELAssert(! imgRGBA.IsEmpty());
  const qelMInt iWidth = imgRGBA.Width();
  const qelMInt iHeight = imgRGBA.Height();
  imgGray.Create(iWidth, iHeight, 1, 16);
  for (qelMInt y = 0; y < iHeight; ++y) {
    const unsigned char* pSrc = imgRGBA.Row(y);
    unsigned char* pDst = imgGray.Row(y);
    for (qelMInt x = 0; x < iWidth; ++x, pSrc += 4)
      pDst[x] = GrayLevel(pSrc[0], pSrc[1], pSrc[2]);
  }
}

// Copies a byte image into an existing 8-bit matrix of the same geometry. A
// matrix without pixels is left alone; a mismatch is reported and nothing is
// copied.
inline void Img2Cv(const NImage::CImage<unsigned char>& img, cv::Mat& mat)
{
  if (mat.data == nullptr)
    return;
  if (mat.dims != 2 || mat.depth() != CV_8U || img.Width() != mat.cols ||
      img.Height() != mat.rows || img.Channels() != mat.channels()) {
    std::cerr << "Img2Cv() error! Illegal size or number of channels!" << std::endl;
    return;
  }
  const size_t nRowBytes = static_cast<size_t>(img.Width()) * static_cast<size_t>(img.Channels());
  for (qelMInt y = 0; y < img.Height(); ++y)
    std::memcpy(mat.ptr(y), img.Row(y), nRowBytes);
}

// (Re)creates img from a 32-bit float matrix (width, height and channel count
// taken from the matrix). A matrix without pixels empties img; one of another
// element type is reported and empties img too.
inline void Cv2Img(const cv::Mat& mat, NImage::CImage<float>& img)
{
  if (mat.data == nullptr) {
    img.Release();
    return;
  }
  if (mat.dims != 2 || mat.depth() != CV_32F) {
    std::cerr << "Cv2Img() error! Illegal element type!" << std::endl;
    img.Release();
    return;
  }
  img.Create(mat.cols, mat.rows, mat.channels(), 16);
  const size_t nRowBytes = static_cast<size_t>(mat.cols) * static_cast<size_t>(mat.channels()) * sizeof(float);
  for (int y = 0; y < mat.rows; ++y)
    std::memcpy(img.Row(y), mat.ptr(y), nRowBytes);
}

#endif
