// The scatter straight from the host's column-major arrays into the output
// array, as a gather over lists of sources per output element (see
// ContributionLists.h), which forms every sum in the scatter's order.
#include "ScatterColumnMajor.h"

#include "ContributionLists.h"
#include "ScatterArrays.h"

#include "QELLib/NException.h"

#include <cstdint>
#include <new>

namespace {

template <class TIndex>
void ScatterByLists(const double* pSrc, const double* pMap, double* pOut, qelMInt iWidth, qelMInt iHeight,
                    qelMInt iChannels, std::vector<CIllegalVector>& vIllegal)
{
    const NContributionLists::CLists<TIndex> lists =
        NContributionLists::BuildLists<TIndex>(pMap, iWidth, iHeight, vIllegal);
    NContributionLists::SumLists(lists, pSrc, pOut, iWidth, iHeight, iChannels);
}

}  // namespace

void ScatterNearestColumnMajor(const double* pSrc, const double* pMap, double* pOut, qelMInt iWidth, qelMInt iHeight,
                               qelMInt iChannels, std::vector<CIllegalVector>& vIllegal)
{
    if (NContributionLists::FitsIn32Bits(std::ptrdiff_t(iWidth) * iHeight)) {
        ScatterByLists<std::uint32_t>(pSrc, pMap, pOut, iWidth, iHeight, iChannels, vIllegal);
    } else {
        ScatterByLists<std::uint64_t>(pSrc, pMap, pOut, iWidth, iHeight, iChannels, vIllegal);
    }
}

void ScatterArraysInPlace(const mxArray* pmxImg, const mxArray* pmxMap, mxArray* pmxWarped,
                          std::vector<CIllegalVector>& vIllegal)
{
    const mwSize* pDims = mxGetDimensions(pmxImg);
    const qelMInt iHeight = static_cast<qelMInt>(pDims[0]);
    const qelMInt iWidth = static_cast<qelMInt>(pDims[1]);
    const qelMInt iChannels = mxGetNumberOfDimensions(pmxImg) == 3 ? static_cast<qelMInt>(pDims[2]) : 1;
    if (mxGetNumberOfElements(pmxWarped) != mxGetNumberOfElements(pmxImg)) {
        throw NException::LogicError("Error: output and image sizes differ!");
    }
    try {
        ScatterNearestColumnMajor(mxGetPr(pmxImg), mxGetPr(pmxMap), mxGetPr(pmxWarped), iWidth, iHeight, iChannels,
                                  vIllegal);
    } catch (const std::bad_alloc&) {
        throw NException::BadAlloc("Error: qmv_scatter_nearest failed, out of memory!");
    }
}
