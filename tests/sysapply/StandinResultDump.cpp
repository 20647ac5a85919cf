// Computes qmv_system_apply through the stand-in host on an input given by
// closed formulas and writes the result (raw doubles, MATLAB order) to the
// file named on the command line. The Octave test builds the same input,
// calls the real MEX file and compares.
#include "mex_standin.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using namespace NMexStandIn;

const int H = 24, W = 30, P = 3, N = 4, S = 3;

// Fills an iRows x iCols x iPlanes array from fn(y, x, c), all 1-based.
template <class TFn>
CArrayPtr Formula(int iRows, int iCols, int iPlanes, const TFn& fn)
{
    std::vector<double> v(static_cast<size_t>(iRows) * iCols * iPlanes);
    for (int c = 1; c <= iPlanes; ++c)
        for (int x = 1; x <= iCols; ++x)
            for (int y = 1; y <= iRows; ++y) v[(y - 1) + (x - 1) * iRows + (c - 1) * iRows * iCols] = fn(y, x, c);
    return MakeDouble({static_cast<size_t>(iRows), static_cast<size_t>(iCols), static_cast<size_t>(iPlanes)}, v);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
        return 2;
    }
    CArrayPtr imgI = Formula(H, W, P, [](int y, int x, int c) { return std::sin(0.3 * y + 0.17 * x + c); });
    std::vector<CArrayPtr> kers, weights, maps;
    for (int k = 1; k <= N; ++k) {
        kers.push_back(Formula(5, 5, 1, [k](int i, int j, int) {
            return std::exp(-((i - 3) * (i - 3) + (j - 3) * (j - 3)) / (2.0 + k));
        }));
        weights.push_back(Formula(
            H / S, W / S, P, [k](int i, int j, int c) { return 0.5 + 0.25 * std::sin(0.4 * i + 0.3 * j + k + c); }));
        maps.push_back(Formula(H, W, 2, [k](int y, int x, int c) {
            if (k == 3 && y == 5 && x == 7 && c == 1) return std::nan("");
            return c == 1 ? x + 0.7 * std::sin(0.1 * k * y) : y + 0.6 * std::cos(0.13 * k * x);
        }));
    }
    std::vector<std::pair<std::string, CArrayPtr>> fields;
    fields.emplace_back("idx0", MakeScalar(2));
    fields.emplace_back("numFrames", MakeScalar(N));
    fields.emplace_back("scaleFactor", MakeScalar(S));
    fields.emplace_back("vecKers", MakeCellFrom(std::move(kers)));
    fields.emplace_back(
        "imgWs", Formula(H, W, P, [](int y, int x, int c) { return 1 + 0.5 * std::cos(0.2 * y - 0.1 * x + c); }));
    fields.emplace_back("vecImgW", MakeCellFrom(std::move(weights)));
    fields.emplace_back("vecMapB", MakeCellFrom(std::move(maps)));
    fields.emplace_back("dataTermScale", MakeScalar(1.3));
    fields.emplace_back("eta", MakeScalar(0.05));
    CArrayPtr param = MakeStructFrom(std::move(fields));

    const CCallResult result = CallMex(1, {imgI.get(), param.get()});
    if (!result.bOk) {
        std::fprintf(stderr, "stand-in call failed: %s%s\n", result.sError.c_str(), result.sEscaped.c_str());
        return 1;
    }
    const std::vector<double> values = Values(result.Output());
    std::FILE* pFile = std::fopen(argv[1], "wb");
    if (!pFile || std::fwrite(values.data(), sizeof(double), values.size(), pFile) != values.size()) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::fclose(pFile);
    return 0;
}
