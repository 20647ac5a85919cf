// The smoothing of a whole stack, apart from the host: column-major double
// data in, column-major double data out, through the module's images.
#ifndef DPX_SMOOTHSTACK_H
#define DPX_SMOOTHSTACK_H

#include <cstddef>

struct SSmoothParams {
    int iRadius;
    float fSeps;
    float fReps;
    int iP;
    bool bPTruncated = false;  // p was not a whole number but truncates to 1 or 2
};

// Rounds a double to single precision.
float ToFloat(double d);
// Truncates toward zero; NaN and values outside the 32-bit range give INT_MIN.
int TruncToInt32(double d);

// Smooths the nSlices H x W slices of pStack (column-major, slice after slice)
// with the H x W x 3 colour guide pGuide into pOut. Converts the guide once and
// sizes the two slice images once. Throws the image layer's messages as
// std::string (bad size when H or W is outside 1..32767); all images are
// released before anything leaves.
void SmoothStack(const double* pStack, const double* pGuide, int iH, int iW, std::size_t nSlices,
                 const SSmoothParams& par, double* pOut);

#endif
