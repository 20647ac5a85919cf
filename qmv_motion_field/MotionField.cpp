// The flow computation of the module: grey frames straight from the arrays,
// and the Farneback run with the module's parameters.
#include "MotionField.h"

#include <opencv2/core/utility.hpp>

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
                           cv::Mat& matFlow)
{
  // The solver itself runs on one core; the two frames are independent, so
  // their conversions use a second core where there is one. Every buffer is
  // allocated here first, so nothing inside the parallel part can throw.
  const double* apPlanes[2] = {pPlanes1, pPlanes2};
  cv::Mat amatGrey[2], amatScratch[2];
  for (int i = 0; i < 2; ++i) {
    amatScratch[i].create(iWidth, iHeight, CV_8UC1);
    amatGrey[i].create(iHeight, iWidth, CV_8UC1);
  }
  cv::parallel_for_(cv::Range(0, 2), [&](const cv::Range& range) {
    for (int i = range.start; i < range.end; ++i)
      ColourArrayToGrey(apPlanes[i], iHeight, iWidth, amatScratch[i], amatGrey[i]);
  });
  MakeModuleSolver().RunOnGrey(amatGrey[0], amatGrey[1], matFlow);
}

void EstimateMotionField(const CColourFrame& imgFrame1, const CColourFrame& imgFrame2,
                         CFlowField& imgFlow)
{
  NImage::CCompositeImage<NColor::CColorRGBAub> imgRGBA1, imgRGBA2;
  imgRGBA1.ConvertFrom(imgFrame1);
  imgRGBA2.ConvertFrom(imgFrame2);
  MakeModuleSolver().Run(imgRGBA1, imgRGBA2, imgFlow);
}
