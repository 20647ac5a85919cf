// Colour frames to RGBA bytes (clamped to 0..1, rounded half up) and the
// Farneback run with the module's parameters.
#include "MotionField.h"

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

void EstimateMotionField(const CColourFrame& imgFrame1, const CColourFrame& imgFrame2,
                         CFlowField& imgFlow)
{
  NImage::CCompositeImage<NColor::CColorRGBAub> imgRGBA1, imgRGBA2;
  imgRGBA1.ConvertFrom(imgFrame1);
  imgRGBA2.ConvertFrom(imgFrame2);
  sr::COpticalFlow_Farneback solver = MakeModuleSolver();
  solver.Run(imgRGBA1, imgRGBA2, imgFlow);
}
