// The reference flow computation on library images.
#include "tests/reference/ReferenceMotionField.h"

void EstimateMotionField(const CColourFrame& imgFrame1, const CColourFrame& imgFrame2, CFlowField& imgFlow)
{
    NImage::CCompositeImage<NColor::CColorRGBAub> imgRGBA1, imgRGBA2;
    imgRGBA1.ConvertFrom(imgFrame1);
    imgRGBA2.ConvertFrom(imgFrame2);
    MakeModuleSolver().Run(imgRGBA1, imgRGBA2, imgFlow);
}
