// Shared helpers of the operator tests: random images and maps, MATLAB-layout
// copies with views onto them, inner products and comparisons.
#ifndef QMV_TESTS_SYSAPPLY_TEST_UTIL_H
#define QMV_TESTS_SYSAPPLY_TEST_UTIL_H

#include "qmv_system_apply/SystemOperator.h"
#include "qmv_system_apply/contract/ArgumentContract.h"
#include "qmv_system_apply/conversions/MatConversion.h"
#include "tests/reference/ReferenceSystemOperator.h"

#include <opencv2/core.hpp>

#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <vector>

namespace NSysApplyTest {

using NSysApply::COperatorArguments;
using NSysApply::CPlanarView;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

inline cv::Mat RandomMat(int iRows, int iCols, int iPlanes, cv::RNG& rng, double dLow = -1.0, double dHigh = 1.0)
{
    cv::Mat img(iRows, iCols, CV_64FC(iPlanes));
    rng.fill(img, cv::RNG::UNIFORM, dLow, dHigh);
    return img;
}

// 1-based identity grid plus a random displacement of up to dShift pixels;
// a fraction dNaN of the entries is made illegal.
inline cv::Mat RandomMap(int iRows, int iCols, cv::RNG& rng, double dShift, double dNaN = 0.0)
{
    cv::Mat img(iRows, iCols, CV_64FC2);
    for (int y = 0; y < iRows; ++y) {
        for (int x = 0; x < iCols; ++x) {
            cv::Vec2d& v = img.at<cv::Vec2d>(y, x);
            v[0] = x + 1 + rng.uniform(-dShift, dShift);
            v[1] = y + 1 + rng.uniform(-dShift, dShift);
            if (rng.uniform(0.0, 1.0) < dNaN) v[rng.uniform(0, 2)] = kNaN;
        }
    }
    return img;
}

// Column-major copy (MATLAB layout) of an H x W x P matrix.
inline std::vector<double> ToPlanar(const cv::Mat& img)
{
    const int iPlanes = img.channels();
    std::vector<double> v(img.total() * iPlanes);
    for (int c = 0; c < iPlanes; ++c)
        for (int x = 0; x < img.cols; ++x)
            for (int y = 0; y < img.rows; ++y)
                v[y + static_cast<size_t>(x) * img.rows + static_cast<size_t>(c) * img.total()] =
                    img.ptr<double>(y)[static_cast<size_t>(x) * iPlanes + c];
    return v;
}

// Keeps MATLAB-layout copies alive for the views handed to the operators.
struct CPlanarStore {
    std::deque<std::vector<double>> lstData;
    CPlanarView View(const cv::Mat& img)
    {
        lstData.push_back(ToPlanar(img));
        return CPlanarView{lstData.back().data(), img.rows, img.cols, img.channels(), false};
    }
};

// A complete argument set of N frames with random content.
struct CProblem {
    CPlanarStore store;
    std::vector<cv::Mat> vecMaps, vecWeights;
    cv::Mat imgX;  // the image args.viewX shows
    cv::Mat imgW;  // the regulariser weights args.viewW shows
    COperatorArguments args;
};

inline void MakeProblem(CProblem& pr, int iRows, int iCols, int iPlanes, int iFrames, int iScale, int iKernel,
                        int iReference, cv::RNG& rng, double dNaN = 0.0)
{
    COperatorArguments& a = pr.args;
    pr.imgX = RandomMat(iRows, iCols, iPlanes, rng);
    a.viewX = pr.store.View(pr.imgX);
    pr.imgW = RandomMat(iRows, iCols, iPlanes, rng, 0.0, 2.0);
    a.viewW = pr.store.View(pr.imgW);
    a.iFrames = iFrames;
    a.iScale = iScale;
    a.iReferenceFrame = iReference;
    a.dDataTermScale = 1.7;
    a.dEta = 0.3;
    a.bWeighted = true;
    for (int k = 0; k < iFrames; ++k) {
        a.vecKernels.push_back(RandomMat(iKernel, iKernel, 1, rng, 0.0, 1.0));
        pr.vecWeights.push_back(RandomMat(iRows / iScale, iCols / iScale, iPlanes, rng, 0.0, 1.0));
        pr.vecMaps.push_back(RandomMap(iRows, iCols, rng, 4.0, dNaN));
        a.vecWeights.push_back(pr.store.View(pr.vecWeights.back()));
        a.vecMaps.push_back(pr.store.View(pr.vecMaps.back()));
    }
}

// The module's operator (written in the caller's layout) as an interleaved
// matrix, for comparisons with the straightforward form.
inline cv::Mat ApplyFast(const COperatorArguments& args, NSysApply::CFrameWarnings& warnings)
{
    const CPlanarView& viewX = args.viewX;
    std::vector<double> vecResult(viewX.PlaneSize() * viewX.iPlanes, kNaN);
    NSysApply::ApplySystemOperator(args, vecResult.data(), warnings);
    return NSysApply::view2cv(CPlanarView{vecResult.data(), viewX.iRows, viewX.iCols, viewX.iPlanes, false});
}

inline double Dot(const cv::Mat& a, const cv::Mat& b) { return a.reshape(1).dot(b.reshape(1)); }

inline double MaxAbs(const cv::Mat& a)
{
    double dMax = 0.0;
    cv::minMaxLoc(cv::abs(a.reshape(1)), nullptr, &dMax);
    return dMax;
}

inline double RelativeDifference(const cv::Mat& a, const cv::Mat& b)
{
    return MaxAbs(cv::Mat(a - b)) / std::max(MaxAbs(b), 1e-300);
}

inline bool BitIdentical(const cv::Mat& a, const cv::Mat& b)
{
    if (a.size() != b.size() || a.type() != b.type()) return false;
    for (int y = 0; y < a.rows; ++y)
        if (std::memcmp(a.ptr(y), b.ptr(y), a.cols * a.elemSize()) != 0) return false;
    return true;
}

}  // namespace NSysApplyTest

#endif
