// One frame per task; each writes only its own planes. The nearest pixel is
// the operator's own rule (mexglue/NearestPixel.h), so the correction is what
// the operator's rounding costs; the bilinear read takes positions clamped to
// [1, W] x [1, H] (1-based), from the cell whose top-left corner is at most
// W - 1, H - 1.
#include "RoundingCorrections.h"

#include "BilinearReader.h"
#include "mexglue/NearestPixel.h"

#include <omp.h>

#include <algorithm>
#include <cmath>

namespace NSysApply {

namespace {

void FrameCorrections(const COperatorArguments& args, int k, double* pOut)
{
    const CPlanarView& img = args.viewX;
    const int s = args.iScale, h = img.iRows / s, w = img.iCols / s, P = img.iPlanes;
    const std::size_t iLowPlane = static_cast<std::size_t>(h) * static_cast<std::size_t>(w);
    if (k == args.iReferenceFrame) {
        std::fill(pOut, pOut + iLowPlane * P, 0.0);
        return;
    }
    const CBilinearReader reader(img.iRows, img.iCols);
    const CPlanarView& map = args.vecMaps[k];
    for (int j = 0; j < w; ++j) {
        for (int i = 0; i < h; ++i) {
            const std::size_t o = static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * h;
            const double dMapX = map.At(i * s, j * s, 0), dMapY = map.At(i * s, j * s, 1);
            int iX = 0, iY = 0;
            if (!NMexGlue::MapToPixel(dMapX, dMapY, img.iCols, img.iRows, iX, iY)) {
                for (int c = 0; c < P; ++c) pOut[o + c * iLowPlane] = 0.0;
                continue;
            }
            double dX = dMapX, dY = dMapY;
            reader.Clamp(dX, dY);
            const std::size_t iNearest = static_cast<std::size_t>(iY) + static_cast<std::size_t>(iX) * img.iRows;
            for (int c = 0; c < P; ++c) {
                const double* pPlane = img.Plane(c);
                pOut[o + c * iLowPlane] = reader.Read(pPlane, dX, dY) - pPlane[iNearest];
            }
        }
    }
}

std::size_t FrameValues(const COperatorArguments& args)
{
    return args.viewX.PlaneSize() / (static_cast<std::size_t>(args.iScale) * args.iScale) *
           static_cast<std::size_t>(args.viewX.iPlanes);
}

}  // namespace

void ComputeRoundingCorrections(const COperatorArguments& args, double* pCorrections)
{
    const std::size_t iFrameValues = FrameValues(args);
    const int iFrames = args.iFrames;
#pragma omp parallel for schedule(dynamic, 1)
    for (int k = 0; k < iFrames; ++k) FrameCorrections(args, k, pCorrections + k * iFrameValues);
}

void ComputeCorrectedFrames(const COperatorArguments& args, const std::vector<const double*>& vecFrames,
                            double* pCorrected)
{
    const std::size_t iFrameValues = FrameValues(args);
    const int iFrames = args.iFrames;
#pragma omp parallel for schedule(dynamic, 1)
    for (int k = 0; k < iFrames; ++k) {
        double* pOut = pCorrected + k * iFrameValues;
        FrameCorrections(args, k, pOut);
        const double* pY = vecFrames[static_cast<std::size_t>(k)];
        for (std::size_t i = 0; i < iFrameValues; ++i) pOut[i] = pY[i] - pOut[i];
    }
}

}  // namespace NSysApply
