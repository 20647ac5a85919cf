// Conjugate gradients on the weighted normal equations A x = b, with the
// operator of qmv_system_apply as A: the inner solve of each reweighting
// iteration, without a trip through the host per step.
#ifndef QMV_FRAMETERMS_CONJUGATE_GRADIENTS_H
#define QMV_FRAMETERMS_CONJUGATE_GRADIENTS_H

#include "contract/OperatorArguments.h"
#include "warp/IllegalVector.h"

namespace NSysApply {

struct CCgOutcome {
    int iSteps = 0;      // steps taken
    double dRelRes = 0;  // |b - A x| / |b| at the end
};

// Starts from pX (H x W x P of args.viewX, column-major; overwritten by the
// solution) and takes at most iMaxSteps steps, stopping once |r| <= dTol |b|
// or when p' A p <= 0. The image args.viewX points to is not read. Warnings:
// those of the first application of A (every application finds the same).
// Vector sums run in fixed blocks, so that the result is the same for any
// number of threads.
CCgOutcome SolveConjugateGradients(const COperatorArguments& args, const double* pB, double* pX, int iMaxSteps,
                                   double dTol, CFrameWarnings& warnings);

}  // namespace NSysApply

#endif
