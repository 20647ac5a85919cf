// The steps and their arithmetic follow the M-code they replaced (its copy in
// the tests' reference folder); only the sums of the dot products run in
// another order.
#include "ConjugateGradients.h"

#include "SystemOperator.h"

#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

namespace NSysApply {

namespace {

constexpr std::ptrdiff_t DOT_BLOCK = 8192;

// a' b summed per block of DOT_BLOCK values, the blocks then in order.
double Dot(const double* pA, const double* pB, std::ptrdiff_t n)
{
    const std::ptrdiff_t iBlocks = (n + DOT_BLOCK - 1) / DOT_BLOCK;
    std::vector<double> vecSums(static_cast<std::size_t>(iBlocks), 0.0);
#pragma omp parallel for schedule(static)
    for (std::ptrdiff_t iBlock = 0; iBlock < iBlocks; ++iBlock) {
        double dSum = 0;
        for (std::ptrdiff_t i = iBlock * DOT_BLOCK; i < std::min(n, (iBlock + 1) * DOT_BLOCK); ++i)
            dSum += pA[i] * pB[i];
        vecSums[static_cast<std::size_t>(iBlock)] = dSum;
    }
    double dTotal = 0;
    for (double d : vecSums) dTotal += d;
    return dTotal;
}

// pOut = A x for the image at pX.
void Apply(COperatorArguments& args, const double* pX, double* pOut, CFrameWarnings& warnings)
{
    args.viewX.pData = pX;
    ApplySystemOperator(args, pOut, warnings);
}

}  // namespace

CCgOutcome SolveConjugateGradients(const COperatorArguments& argsIn, const double* pB, double* pX, int iMaxSteps,
                                   double dTol, CFrameWarnings& warnings)
{
    COperatorArguments args = argsIn;
    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(args.viewX.PlaneSize()) * args.viewX.iPlanes;
    std::vector<double> vecR(static_cast<std::size_t>(n)), vecP(static_cast<std::size_t>(n)),
        vecAp(static_cast<std::size_t>(n));
    double* r = vecR.data();
    double* p = vecP.data();
    double* Ap = vecAp.data();
    Apply(args, pX, Ap, warnings);
#pragma omp parallel for schedule(static)
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        r[i] = pB[i] - Ap[i];
        p[i] = r[i];
    }
    const double dNormB = std::max(std::sqrt(Dot(pB, pB, n)), DBL_MIN);
    double rs = Dot(r, r, n);
    CCgOutcome outcome;
    CFrameWarnings ignored;  // the same as the first application's
    while (outcome.iSteps < iMaxSteps && std::sqrt(rs) > dTol * dNormB) {
        Apply(args, p, Ap, ignored);
        const double pAp = Dot(p, Ap, n);
        if (pAp <= 0) break;
        const double alpha = rs / pAp;
#pragma omp parallel for schedule(static)
        for (std::ptrdiff_t i = 0; i < n; ++i) {
            pX[i] = pX[i] + alpha * p[i];
            r[i] = r[i] - alpha * Ap[i];
        }
        const double rsNew = Dot(r, r, n);
        const double beta = rsNew / rs;
#pragma omp parallel for schedule(static)
        for (std::ptrdiff_t i = 0; i < n; ++i) p[i] = r[i] + beta * p[i];
        rs = rsNew;
        ++outcome.iSteps;
    }
    outcome.dRelRes = std::sqrt(rs) / dNormB;
    return outcome;
}

}  // namespace NSysApply
