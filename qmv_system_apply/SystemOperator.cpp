// Assembly of the operator from the frame loop and the regulariser. Each
// element is formed as eta * R, then the frames' contributions are added in
// frame order: on the straightforward path f * r_k for k = 0..N-1; on the
// module's path f times each value the transposed warp of frame k brings to
// it, in the warp's visiting order (the same sum, rounded at other places).
// Either way the result does not depend on the thread count.
#include "SystemOperator.h"

#include "conversions/PlaneImages.h"
#include "frameloop/FrameOperatorLoop.h"
#include "frameloop/TermAssembly.h"
#include "regulariser/WeightedDifferenceTerm.h"

namespace NSysApply {

void ApplySystemOperator(const COperatorArguments& args, double* pResult, CFrameWarnings& warnings)
{
    const CPlanarView& viewX = args.viewX;
    const CStackedRegulariser regulariser(pResult, viewX, args.viewW, args.dEta);
    cv::Mat imgAcc = StackedPlanes(pResult, viewX.iRows, viewX.iCols, viewX.iPlanes);
    FrameOperatorLoop(args, regulariser.Rows(), imgAcc, warnings);
}

}  // namespace NSysApply
