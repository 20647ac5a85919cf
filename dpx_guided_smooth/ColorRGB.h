// NColor::CColorRGB<T>: a colour pixel of three components, red, green, blue,
// stored contiguously in that order (12 bytes for float).
#ifndef DPX_COLORRGB_H
#define DPX_COLORRGB_H

namespace NColor {

template <class T>
struct CColorRGB {
    T r;
    T g;
    T b;
};

static_assert(sizeof(CColorRGB<float>) == 3 * sizeof(float), "colour pixels must be packed");

}  // namespace NColor

#endif
