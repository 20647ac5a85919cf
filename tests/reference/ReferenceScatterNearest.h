// The scatter on library images, the reference the module's column-major
// path is tested against: every source pixel is added into the output pixel
// that its map vector names.
#ifndef QMV_REFERENCE_SCATTER_NEAREST_H
#define QMV_REFERENCE_SCATTER_NEAREST_H

#include "mex.h"

#include "qmv_scatter_nearest/ScatterNearest.h"

#include "QELLib/NImage.h"
#include "QELLib/NSmallVector.h"

#include <vector>

typedef NImage::CCompositeImage<NSmallVector::CVector2D<double>> CMapImage;

// Overwrites imgWarped (already created with img's width, height and
// channels) with the scatter of img along imgMap, which holds 0-based target
// columns (x) and rows (y). Targets round half up and are clamped to the
// border (NMexGlue::NearestIndex); sources are visited row by row, so the
// sums into one target are formed in that order. Pixels with a non-finite
// vector contribute nothing and are appended to vIllegal in visiting order.
void ScatterNearest(NImage::CImage<double>& imgWarped, const NImage::CImage<double>& img, const CMapImage& imgMap,
                    std::vector<CIllegalVector>& vIllegal);

// Through library images: img and map copied into working images, scattered
// by ScatterNearest and copied out.
void ScatterArraysByImages(const mxArray* pmxImg, const mxArray* pmxMap, mxArray* pmxWarped,
                           std::vector<CIllegalVector>& vIllegal);

#endif
