// Element-wise assembly. Rows are independent, so the row-parallel loops give
// the same bits whatever the thread count.
#include "frameloop/TermAssembly.h"

namespace NSysApply {

namespace {

std::size_t RowValues(const cv::Mat& img) { return static_cast<std::size_t>(img.cols) * img.channels(); }

}  // namespace

void ScaleTerm(cv::Mat& imgAcc, double dEta)
{
    const std::size_t iValues = RowValues(imgAcc);
    const int iRows = imgAcc.rows;
#pragma omp parallel for schedule(static) if (iRows >= 64)
    for (int y = 0; y < iRows; ++y) {
        double* pAcc = imgAcc.ptr<double>(y);
        for (std::size_t m = 0; m < iValues; ++m) pAcc[m] = pAcc[m] * dEta;
    }
}

void AddFrameTerm(cv::Mat& imgAcc, double dFactor, const cv::Mat& imgFrame)
{
    CV_Assert(imgFrame.size() == imgAcc.size() && imgFrame.type() == imgAcc.type());
    const std::size_t iValues = RowValues(imgAcc);
    for (int y = 0; y < imgAcc.rows; ++y)
        AddScaledValues(imgAcc.ptr<double>(y), imgFrame.ptr<double>(y), iValues, dFactor);
}

void CombineTerms(cv::Mat& imgAcc, double dEta, double dDataTermScale, const std::vector<cv::Mat>& vecFrameResults)
{
    ScaleTerm(imgAcc, dEta);
    const double dFactor = FrameTermFactor(dDataTermScale, static_cast<int>(vecFrameResults.size()));
    for (const cv::Mat& imgFrame : vecFrameResults) AddFrameTerm(imgAcc, dFactor, imgFrame);
}

}  // namespace NSysApply
