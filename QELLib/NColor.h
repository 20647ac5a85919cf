// Colour pixel types and the conversion from real RGB to byte RGBA.
//
// Pixel types are plain structures of equal elements without padding, so an
// array of them is also an array of elements; ElementType and ChannelNum tie
// them to NImage::CCompositeImage.
#ifndef QELLIB_NCOLOR_H
#define QELLIB_NCOLOR_H

#include "QELLib/NException.h"
#include "QELLib/NMemAlloc.h"

#include <cmath>

namespace NColor {

// RGB colour with intensities 0 to 1.
template <class T>
struct CColorRGBr {
    typedef T ElementType;
    static constexpr qelMInt ChannelNum = 3;
    T r;
    T g;
    T b;
};

// RGBA colour of bytes 0 to 255.
struct CColorRGBAub {
    typedef unsigned char ElementType;
    static constexpr qelMInt ChannelNum = 4;
    unsigned char r;
    unsigned char g;
    unsigned char b;
    unsigned char a;
};

static_assert(sizeof(CColorRGBr<double>) == 24, "CColorRGBr<double> must be packed");
static_assert(sizeof(CColorRGBAub) == 4, "CColorRGBAub must be packed");

// Saturates to [0, 1] and rounds half up to a byte. A NaN passes the
// saturation unchanged and becomes 0 (converting it directly would be undefined).
inline unsigned char RealToByte(double v)
{
    if (v < 0) {
        v = 0;
    } else if (v > 1) {
        v = 1;
    }
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<unsigned char>(static_cast<int>(std::floor(v * 255 + 0.5)));
}

inline void Convert(CColorRGBAub* pRGBAub, const CColorRGBr<double>* pRGBr, qelMInt len)
{
    QELAssert(0!=pRGBAub && 0!=pRGBr && len>0);
    for (qelMInt i = 0; i < len; ++i) {
        pRGBAub[i].r = RealToByte(pRGBr[i].r);
        pRGBAub[i].g = RealToByte(pRGBr[i].g);
        pRGBAub[i].b = RealToByte(pRGBr[i].b);
        pRGBAub[i].a = 255;
    }
}

} // namespace NColor

#endif // QELLIB_NCOLOR_H
