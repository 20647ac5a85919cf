// The arithmetic of the assembly imgAI = eta * R(x) + f * (r_0 + ... + r_(N-1)),
// f = dataTermScale / N: each element is scaled, then frame terms are added in
// frame order as acc = f * term + acc.
#ifndef QMV_SYSAPPLY_TERM_ASSEMBLY_H
#define QMV_SYSAPPLY_TERM_ASSEMBLY_H

#include <opencv2/core.hpp>

#include <cstddef>
#include <vector>

namespace NSysApply {

// The factor of the frame terms, computed once.
inline double FrameTermFactor(double dDataTermScale, int iFrames)
{
    return dDataTermScale / static_cast<double>(iFrames);
}

// pAcc[m] = dFactor * pValues[m] + pAcc[m] for m = 0..iCount-1.
inline void AddScaledValues(double* pAcc, const double* pValues, std::size_t iCount, double dFactor)
{
    for (std::size_t m = 0; m < iCount; ++m) pAcc[m] = dFactor * pValues[m] + pAcc[m];
}

// imgAcc = imgAcc * dEta, element by element.
void ScaleTerm(cv::Mat& imgAcc, double dEta);

// imgAcc = dFactor * imgFrame + imgAcc, element by element.
void AddFrameTerm(cv::Mat& imgAcc, double dFactor, const cv::Mat& imgFrame);

// imgAcc holds R(x) on entry: scales it by eta, then adds the frame results
// in frame order.
void CombineTerms(cv::Mat& imgAcc, double dEta, double dDataTermScale, const std::vector<cv::Mat>& vecFrameResults);

}  // namespace NSysApply

#endif
