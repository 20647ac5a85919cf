// The flow computation of the module: grey frames straight from the arrays,
// and the Farneback run with the module's parameters.
#include "MotionField.h"

#include "GreyFrame.h"

sr::COpticalFlow_Farneback MakeModuleSolver()
{
    sr::COpticalFlow_Farneback solver;
    solver.dPyrScale = 0.5;
    solver.iLevels = 5;
    solver.iWinSize = 13;
    solver.iIterations = 10;
    solver.iPolyN = 5;
    solver.dPolySigma = 1.1;
    solver.bUseInitFlow = false;
    solver.bGaussian = false;
    return solver;
}

void MotionFieldFromArrays(const double* pPlanes1, const double* pPlanes2, int iHeight, int iWidth,
                           SFlowBuffers& buffers)
{
    ColourArrayToGrey(pPlanes1, iHeight, iWidth, buffers.matScratch, buffers.matGrey1);
    ColourArrayToGrey(pPlanes2, iHeight, iWidth, buffers.matScratch, buffers.matGrey2);
    // Without an initial flow the solver only writes the flow matrix.
    MakeModuleSolver().RunOnGrey(buffers.matGrey1, buffers.matGrey2, buffers.matFlow);
}

void MotionFieldFromArrays(const double* pPlanes1, const double* pPlanes2, int iHeight, int iWidth, cv::Mat& matFlow)
{
    SFlowBuffers buffers;
    MotionFieldFromArrays(pPlanes1, pPlanes2, iHeight, iWidth, buffers);
    matFlow = buffers.matFlow;
}
