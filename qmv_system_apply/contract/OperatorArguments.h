// The operator's inputs as the computation reads them: views of the caller's
// arrays and the scalars of func_param, with no host type in sight, so that
// every module linking the operator library can fill and use it.
#ifndef QMV_SYSAPPLY_OPERATOR_ARGUMENTS_H
#define QMV_SYSAPPLY_OPERATOR_ARGUMENTS_H

#include "conversions/PlanarView.h"

#include <opencv2/core.hpp>

#include <vector>

namespace NSysApply {

struct COperatorArguments {
    CPlanarView viewX;                    // imgI, H x W x P, read in place
    CPlanarView viewW;                    // imgWs, regulariser weights, H x W x P, read in place
    std::vector<cv::Mat> vecKernels;      // vecKers{k}, single channel
    std::vector<CPlanarView> vecWeights;  // vecImgW{k}, (H/s) x (W/s) x P, read in place
    std::vector<CPlanarView> vecMaps;     // vecMapB{k}, H x W x 2, read in place
    int iFrames = 0;                      // N
    int iScale = 1;                       // s
    int iReferenceFrame = -1;             // 0-based; -1 when idx0 names no frame
    double dDataTermScale = 0.0;
    double dEta = 0.0;
    bool bWeighted = false;  // vecImgW{1} is not empty

    // Drops the views and kernels (before the host raises an error, which
    // unwinds past this object's owner).
    void Release()
    {
        viewX = CPlanarView{};
        viewW = CPlanarView{};
        vecKernels.clear();
        vecWeights.clear();
        vecMaps.clear();
    }
};

}  // namespace NSysApply

#endif
