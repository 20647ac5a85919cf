// Abstract dense optical-flow solver: the interface that the motion-field
// module programs against, so that another method can stand in for Farneback.
#ifndef SR_OPTICALFLOW_H
#define SR_OPTICALFLOW_H

#include "QELLib/NColor.h"
#include "QELLib/NImage.h"
#include "QELLib/NSmallVector.h"

namespace sr {

class COpticalFlow {
public:
    virtual ~COpticalFlow() = 0;

    // Replaces flow by the displacement from img1 to img2: pixel (x, y) holds
    // (dx, dy) with img1(x, y) ~ img2(x + dx, y + dy).
    virtual void Run(const NImage::CCompositeImage<NColor::CColorRGBAub>& img1,
                     const NImage::CCompositeImage<NColor::CColorRGBAub>& img2,
                     NImage::CCompositeImage<NSmallVector::CVector2D<float>>& flow) = 0;
};

inline COpticalFlow::~COpticalFlow() {}

}  // namespace sr

#endif
