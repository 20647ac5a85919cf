// One frame per task. The steps and their arithmetic follow the M-code they
// replace (its copy in the tests' reference folder): the robust affine fit to
// the flow, Gauss-Newton registration against the blurred estimate, the local
// misfits of both motions, and the map built from the affine motion with the
// flow kept where it explains the frame clearly better.
#include "RigidMotion.h"

#include "BilinearReader.h"
#include "FrameFailures.h"
#include "LocalStatistics.h"

#include <omp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace NSysApply {

namespace {

// flow = [col row 1] * A: column 0 moves columns, column 1 moves rows.
using CAffine = std::array<std::array<double, 2>, 3>;

struct CFrameGeometry {
    int H, W, P, s, h, w;
};

// Solves the n x n system M x = b (row-major M) by elimination with partial
// pivoting. A zero pivot gives non-finite results.
template <int N>
std::array<double, N> Solve(std::array<std::array<double, N>, N> M, std::array<double, N> b)
{
    for (int c = 0; c < N; ++c) {
        int iPivot = c;
        for (int r = c + 1; r < N; ++r)
            if (std::fabs(M[r][c]) > std::fabs(M[iPivot][c])) iPivot = r;
        std::swap(M[c], M[iPivot]);
        std::swap(b[c], b[iPivot]);
        for (int r = c + 1; r < N; ++r) {
            const double f = M[r][c] / M[c][c];
            for (int j = c; j < N; ++j) M[r][j] -= f * M[c][j];
            b[r] -= f * b[c];
        }
    }
    std::array<double, N> x{};
    for (int r = N - 1; r >= 0; --r) {
        double d = b[r];
        for (int j = r + 1; j < N; ++j) d -= M[r][j] * x[j];
        x[r] = d / M[r][r];
    }
    return x;
}

double MotionX(const CAffine& A, double dCol, double dRow) { return A[0][0] * dCol + A[1][0] * dRow + A[2][0]; }
double MotionY(const CAffine& A, double dCol, double dRow) { return A[0][1] * dCol + A[1][1] * dRow + A[2][1]; }

bool IsFinite(const CAffine& A)
{
    for (const auto& row : A)
        if (!std::isfinite(row[0]) || !std::isfinite(row[1])) return false;
    return true;
}

// Iteratively reweighted least squares (Cauchy weights, scale from the median
// deviation) of the flow at the samples, on a grid of about 5000 of them.
CAffine FitAffine(const CPlanarView& map, const CFrameGeometry& g)
{
    const int iStep = std::max(1, static_cast<int>(std::lround(std::sqrt(double(g.h) * g.w / 5000))));
    std::vector<double> vecC, vecR, vecU, vecV;
    for (int j = 0; j < g.w; j += iStep)
        for (int i = 0; i < g.h; i += iStep) {
            const double dC = 1.0 + j * g.s, dR = 1.0 + i * g.s;
            vecC.push_back(dC);
            vecR.push_back(dR);
            vecU.push_back(map.At(i * g.s, j * g.s, 0) - dC);
            vecV.push_back(map.At(i * g.s, j * g.s, 1) - dR);
        }
    const std::size_t n = vecC.size();
    std::vector<double> vecW(n, 1.0), vecRes(n);
    CAffine A{};
    for (int it = 0; it < 6; ++it) {
        std::array<std::array<double, 3>, 3> M{};
        std::array<double, 3> bU{}, bV{};
        for (std::size_t q = 0; q < n; ++q) {
            const double x[3] = {vecC[q], vecR[q], 1.0};
            for (int a = 0; a < 3; ++a) {
                const double dWx = x[a] * vecW[q];
                for (int b = 0; b < 3; ++b) M[a][b] += dWx * x[b];
                bU[a] += dWx * vecU[q];
                bV[a] += dWx * vecV[q];
            }
        }
        for (int a = 0; a < 3; ++a) M[a][a] += 1e-9;
        const std::array<double, 3> aU = Solve<3>(M, bU), aV = Solve<3>(M, bV);
        for (int a = 0; a < 3; ++a) A[a] = {aU[a], aV[a]};
        for (std::size_t q = 0; q < n; ++q) {
            const double dx = MotionX(A, vecC[q], vecR[q]) - vecU[q], dy = MotionY(A, vecC[q], vecR[q]) - vecV[q];
            vecRes[q] = std::sqrt(dx * dx + dy * dy);
        }
        std::vector<double> vecSorted = vecRes;  // the median reorders
        const double dSigma = std::max(1.4826 * Median(vecSorted), 0.05);
        for (std::size_t q = 0; q < n; ++q) {
            const double d = vecRes[q] / (2 * dSigma);
            vecW[q] = 1 / (1 + d * d);
        }
    }
    return A;
}

// Share of all samples whose flow lies within 1 pixel of the affine motion.
double ShareNear(const CPlanarView& map, const CFrameGeometry& g, const CAffine& A)
{
    std::size_t iNear = 0;
    for (int j = 0; j < g.w; ++j)
        for (int i = 0; i < g.h; ++i) {
            const double dC = 1.0 + j * g.s, dR = 1.0 + i * g.s;
            const double dx = map.At(i * g.s, j * g.s, 0) - dC - MotionX(A, dC, dR);
            const double dy = map.At(i * g.s, j * g.s, 1) - dR - MotionY(A, dC, dR);
            if (std::sqrt(dx * dx + dy * dy) < 1) ++iNear;
        }
    return double(iNear) / (double(g.h) * g.w);
}

// Bilinear reads of every plane at one point and the central differences
// there, with one set of corner weights; the point is clamped to
// [2, W - 1] x [2, H - 1] so that every read stays inside the image.
struct CReadWithGradients {
    const CPlanarView& img;

    void Read(double dX, double dY, double* pV, double* pGx, double* pGy) const
    {
        const int H = img.iRows, W = img.iCols;
        dX = std::min(std::max(dX, 2.0), double(W - 1));
        dY = std::min(std::max(dY, 2.0), double(H - 1));
        const double dX0 = std::min(std::floor(dX), double(W - 2)), dY0 = std::min(std::floor(dY), double(H - 2));
        const double fx = dX - dX0, fy = dY - dY0;
        const double w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy), w01 = (1 - fx) * fy, w11 = fx * fy;
        const std::size_t i = static_cast<std::size_t>(dY0 - 1) + static_cast<std::size_t>(dX0 - 1) * H;
        const std::size_t iH = static_cast<std::size_t>(H);
        for (int c = 0; c < img.iPlanes; ++c) {
            const double* p = img.Plane(c);
            auto at = [&](std::size_t k) {
                return p[k] * w00 + p[k + iH] * w10 + p[k + 1] * w01 + p[k + iH + 1] * w11;
            };
            pV[c] = at(i);
            pGx[c] = (at(i + iH) - at(i - iH)) / 2;
            pGy[c] = (at(i + 1) - at(i - 1)) / 2;
        }
    }
};

// Gauss-Newton on A that makes the blurred estimate, read at the moved sample
// positions, match the frame; Cauchy weights leave out what moves on its own.
// About 4000 evenly spread samples; stops when the shift changes by less than
// 1/500 pixel or too few samples stay inside the image.
CAffine RegisterAffine(CAffine A, const CPlanarView& imgB, const CFrameStackView& stackY, int k,
                       const CFrameGeometry& g)
{
    const int iStep = std::max(1, static_cast<int>(std::lround(std::sqrt(double(g.h) * g.w / 4000))));
    struct CSample {
        double dC, dR;
        bool bInner;
        std::size_t iLow;  // index of the sample in a frame plane
    };
    std::vector<CSample> vecS;
    for (int j = 0; j < g.w; j += iStep)
        for (int i = 0; i < g.h; i += iStep) {
            const double dC = 1.0 + j * g.s, dR = 1.0 + i * g.s;
            vecS.push_back({dC, dR, dC > 3 && dC < g.W - 2 && dR > 3 && dR < g.H - 2,
                            static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * g.h});
        }
    const std::size_t n = vecS.size();
    const int P = g.P;
    std::vector<double> vecV(n * P), vecGx(n * P), vecGy(n * P), vecR(n), vecX(n), vecY(n), vecOk;
    std::vector<char> vecInside(n);
    const CReadWithGradients reader{imgB};
    for (int it = 0; it < 8; ++it) {
        std::size_t iOk = 0;
        for (std::size_t q = 0; q < n; ++q) {
            vecX[q] = vecS[q].dC + MotionX(A, vecS[q].dC, vecS[q].dR);
            vecY[q] = vecS[q].dR + MotionY(A, vecS[q].dC, vecS[q].dR);
            vecInside[q] = vecS[q].bInner && vecX[q] >= 2 && vecX[q] <= g.W - 1 && vecY[q] >= 2 && vecY[q] <= g.H - 1;
            iOk += vecInside[q] ? 1 : 0;
        }
        if (iOk < 12) break;  // (12 inner samples also mean an image of at least 7 x 7)
        for (std::size_t q = 0; q < n; ++q) reader.Read(vecX[q], vecY[q], &vecV[q * P], &vecGx[q * P], &vecGy[q * P]);
        vecOk.clear();
        for (std::size_t q = 0; q < n; ++q) {
            double dSum = 0;
            for (int c = 0; c < P; ++c) {
                const double e = vecV[q * P + c] - stackY.Plane(k, c)[vecS[q].iLow];
                vecV[q * P + c] = e;  // the residual from here on
                dSum += e * e;
            }
            vecR[q] = std::sqrt(dSum / P);
            if (vecInside[q]) vecOk.push_back(vecR[q]);
        }
        const double dSigma = std::max(1.4826 * Median(vecOk), 1e-3);
        std::array<std::array<double, 6>, 6> M{};
        std::array<double, 6> b{};
        for (std::size_t q = 0; q < n; ++q) {
            const double d = vecR[q] / (2 * dSigma);
            const double dW = (vecInside[q] ? 1.0 : 0.0) / (1 + d * d);
            const double x[3] = {vecS[q].dC, vecS[q].dR, 1.0};
            for (int c = 0; c < P; ++c) {
                double J[6];
                for (int a = 0; a < 3; ++a) {
                    J[a] = x[a] * vecGx[q * P + c];
                    J[a + 3] = x[a] * vecGy[q * P + c];
                }
                for (int a = 0; a < 6; ++a) {
                    const double dWJ = J[a] * dW;
                    for (int bb = 0; bb < 6; ++bb) M[a][bb] += dWJ * J[bb];
                    b[a] += dWJ * vecV[q * P + c];
                }
            }
        }
        for (int a = 0; a < 6; ++a) M[a][a] += 1e-6;
        const std::array<double, 6> step = Solve<6>(M, b);
        for (int a = 0; a < 3; ++a) {
            A[a][0] -= step[a];
            A[a][1] -= step[a + 3];
        }
        if (std::max(std::fabs(step[2]), std::fabs(step[5])) < 2e-3) break;
    }
    return A;
}

// Mean squared colour difference between the frame and the blurred estimate
// read at the given position of each sample, averaged over 3 x 3 samples
// (zero outside the frame, as a 'same' convolution).
template <class FN>
std::vector<double> LocalMisfit(const CPlanarView& imgB, const CFrameStackView& stackY, int k, const CFrameGeometry& g,
                                FN&& fnPosition)
{
    const CBilinearReader reader(g.H, g.W);
    std::vector<double> vecE(static_cast<std::size_t>(g.h) * g.w);
    for (int j = 0; j < g.w; ++j)
        for (int i = 0; i < g.h; ++i) {
            double dX = 0, dY = 0;
            fnPosition(i, j, dX, dY);
            reader.Clamp(dX, dY);
            const std::size_t o = static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * g.h;
            double dSum = 0;
            for (int c = 0; c < g.P; ++c) {
                const double d = reader.Read(imgB.Plane(c), dX, dY) - stackY.Plane(k, c)[o];
                dSum += d * d;
            }
            vecE[o] = dSum / g.P;
        }
    std::vector<double> vecMean(vecE.size());
    BoxMean3(vecE.data(), g.h, g.w, vecMean.data());
    return vecMean;
}

// Samples where the flow explains the frame clearly better than the affine
// motion (and the affine motion clearly fails), grown by one sample.
std::vector<char> FlowKept(const std::vector<double>& vecRigid, const std::vector<double>& vecFlow,
                           const CFrameGeometry& g)
{
    std::vector<double> vecRoot(vecRigid.size());
    for (std::size_t q = 0; q < vecRigid.size(); ++q) vecRoot[q] = std::sqrt(vecRigid[q]);
    const double dRoot = 2 * 1.4826 * Median(vecRoot);
    const double dTau = dRoot * dRoot;
    std::vector<char> vecUse(vecRigid.size()), vecGrown(vecRigid.size(), 0);
    for (std::size_t q = 0; q < vecRigid.size(); ++q) vecUse[q] = vecRigid[q] > dTau && vecFlow[q] < 0.5 * vecRigid[q];
    for (int j = 0; j < g.w; ++j)
        for (int i = 0; i < g.h; ++i) {
            if (!vecUse[static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * g.h]) continue;
            for (int jj = std::max(j - 1, 0); jj <= std::min(j + 1, g.w - 1); ++jj)
                for (int ii = std::max(i - 1, 0); ii <= std::min(i + 1, g.h - 1); ++ii)
                    vecGrown[static_cast<std::size_t>(ii) + static_cast<std::size_t>(jj) * g.h] = 1;
        }
    return vecGrown;
}

// The grid moved by A; where the flow is kept (each sample covers s x s
// pixels) the given map, written as model + (flow - model).
void BuildMap(const CPlanarView& map, const CAffine& A, const std::vector<char>& vecKeep, const CFrameGeometry& g,
              double* pOut)
{
    const std::size_t iPlane = static_cast<std::size_t>(g.H) * g.W;
    for (int C = 0; C < g.W; ++C)
        for (int R = 0; R < g.H; ++R) {
            const double dC = C + 1.0, dR = R + 1.0;
            const std::size_t o = static_cast<std::size_t>(R) + static_cast<std::size_t>(C) * g.H;
            double dX = dC + MotionX(A, dC, dR), dY = dR + MotionY(A, dC, dR);
            if (vecKeep[static_cast<std::size_t>(R / g.s) + static_cast<std::size_t>(C / g.s) * g.h]) {
                dX = dX + (map.At(R, C, 0) - dX);
                dY = dY + (map.At(R, C, 1) - dY);
            }
            pOut[o] = dX;
            pOut[o + iPlane] = dY;
        }
}

bool AllFinite(const CPlanarView& map)
{
    const std::size_t n = map.PlaneSize() * static_cast<std::size_t>(map.iPlanes);
    for (std::size_t i = 0; i < n; ++i)
        if (!std::isfinite(map.pData[i])) return false;
    return true;
}

void FrameRigidMotion(const COperatorArguments& args, const CFrameStackView& stackY, int k, double* pOut)
{
    const CPlanarView& map = args.vecMaps[k];
    const CFrameGeometry g{args.viewX.iRows,
                           args.viewX.iCols,
                           args.viewX.iPlanes,
                           args.iScale,
                           args.viewX.iRows / args.iScale,
                           args.viewX.iCols / args.iScale};
    const std::size_t iMapValues = 2 * map.PlaneSize();
    auto keepGiven = [&] { std::copy(map.pData, map.pData + iMapValues, pOut); };
    if (!AllFinite(map)) return keepGiven();
    CAffine A = FitAffine(map, g);
    if (!IsFinite(A) || ShareNear(map, g, A) < 0.3) return keepGiven();
    A = RegisterAffine(A, args.viewX, stackY, k, g);
    if (!IsFinite(A)) return keepGiven();
    const std::vector<double> vecRigid =
        LocalMisfit(args.viewX, stackY, k, g, [&](int i, int j, double& dX, double& dY) {
            const double dC = 1.0 + j * g.s, dR = 1.0 + i * g.s;
            dX = dC + MotionX(A, dC, dR);
            dY = dR + MotionY(A, dC, dR);
        });
    const std::vector<double> vecFlow =
        LocalMisfit(args.viewX, stackY, k, g, [&](int i, int j, double& dX, double& dY) {
            dX = map.At(i * g.s, j * g.s, 0);
            dY = map.At(i * g.s, j * g.s, 1);
        });
    BuildMap(map, A, FlowKept(vecRigid, vecFlow, g), g, pOut);
}

}  // namespace

void ComputeRigidMotion(const COperatorArguments& args, const CFrameStackView& stackY,
                        const std::vector<double*>& vecMapsOut)
{
    const int iFrames = args.iFrames;
    CFrameFailures failures(iFrames);
#pragma omp parallel for schedule(dynamic, 1)
    for (int k = 0; k < iFrames; ++k) {
        double* pOut = vecMapsOut[static_cast<std::size_t>(k)];
        if (pOut != nullptr) failures.Run(k, [&] { FrameRigidMotion(args, stackY, k, pOut); });
    }
    failures.RethrowFirst();
}

}  // namespace NSysApply
