// Test images for the flow tests: the sample photographs as library RGBA
// images, sub-pixel translations of them, and grey frames by the module's rule.
#ifndef TESTS_FLOW_FLOWTESTIMAGES_H
#define TESTS_FLOW_FLOWTESTIMAGES_H

#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "Image/Img_Convert.h"
#include "QELLib/NColor.h"
#include "QELLib/NImage.h"

typedef NImage::CCompositeImage<NColor::CColorRGBAub> CRGBAImage;

// A sample photograph from data/, as 8-bit RGB (OpenCV reads BGR).
inline cv::Mat LoadSampleRGB(const std::string& sName)
{
    cv::Mat matBGR = cv::imread(std::string(QMV_SOURCE_DIR) + "/data/" + sName, cv::IMREAD_COLOR);
    cv::Mat matRGB;
    if (!matBGR.empty()) cv::cvtColor(matBGR, matRGB, cv::COLOR_BGR2RGB);
    return matRGB;
}

// img(x, y) of the result equals matRGB(x - dDx, y - dDy), bilinearly
// interpolated: content moves by (+dDx, +dDy).
inline cv::Mat ShiftedRGB(const cv::Mat& matRGB, double dDx, double dDy)
{
    const cv::Matx23d matMove(1, 0, dDx, 0, 1, dDy);
    cv::Mat matShifted;
    cv::warpAffine(matRGB, matShifted, matMove, matRGB.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT);
    return matShifted;
}

inline CRGBAImage ToRGBAImage(const cv::Mat& matRGB)
{
    CRGBAImage img;
    img.Create(matRGB.cols, matRGB.rows, 4, 16);
    for (int y = 0; y < matRGB.rows; ++y) {
        const cv::Vec3b* pSrc = matRGB.ptr<cv::Vec3b>(y);
        unsigned char* pDst = img.Row(y);
        for (int x = 0; x < matRGB.cols; ++x) {
            pDst[4 * x + 0] = pSrc[x][0];
            pDst[4 * x + 1] = pSrc[x][1];
            pDst[4 * x + 2] = pSrc[x][2];
            pDst[4 * x + 3] = 255;
        }
    }
    return img;
}

// The grey frame the solver must see, as an OpenCV matrix.
inline cv::Mat GrayFrame(const CRGBAImage& img)
{
    NImage::CImage<unsigned char> imgGray;
    RGBA2Gray(imgGray, img);
    cv::Mat matGray(img.Height(), img.Width(), CV_8UC1);
    Img2Cv(imgGray, matGray);
    return matGray;
}

#endif
