// The call contract of imgAI = qmv_system_apply(imgI, func_param): argument
// counts, the nine fields of func_param, every check in its order with its
// message, and the reading of all inputs into the operator's argument set.
#ifndef QMV_SYSAPPLY_ARGUMENT_CONTRACT_H
#define QMV_SYSAPPLY_ARGUMENT_CONTRACT_H

#include "PlanarView.h"

#include "mex.h"

#include <opencv2/core.hpp>

#include <vector>

namespace NSysApply {

enum EInput { IN_IMG = 0, IN_PARAM = 1, IN_COUNT = 2 };
enum EOutput { OUT_IMG = 0, OUT_COUNT = 1 };

struct COperatorArguments {
    CPlanarView viewX;                     // imgI, H x W x P, read in place
    CPlanarView viewW;                     // imgWs, regulariser weights, H x W x P, read in place
    std::vector<cv::Mat> vecKernels;       // vecKers{k}, single channel
    std::vector<CPlanarView> vecWeights;   // vecImgW{k}, (H/s) x (W/s) x P, read in place
    std::vector<CPlanarView> vecMaps;      // vecMapB{k}, H x W x 2, read in place
    int iFrames = 0;                       // N
    int iScale = 1;                        // s
    int iReferenceFrame = -1;              // 0-based; -1 when idx0 names no frame
    double dDataTermScale = 0.0;
    double dEta = 0.0;
    bool bWeighted = false;                // vecImgW{1} is not empty

    void Release();
};

// Numeric, dense, real, non-empty, 1 x 1.
bool IsRealScalar(const mxArray* pmxA);
// IsRealScalar and a finite whole number.
bool IsRealInteger(const mxArray* pmxA);

// Checks the call and fills args, or ends the call through mexErrMsgTxt.
void ReadOperatorArguments(int nlhs, int nrhs, const mxArray* prhs[], COperatorArguments& args);

}  // namespace NSysApply

#endif
