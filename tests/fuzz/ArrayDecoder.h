// Turns fuzzer bytes into host arrays through the stand-in host. Each argument
// slot has an expected form; the bytes decide whether and how an argument
// deviates from it: another class, complex or sparse storage, a wrong or empty
// shape, extents that claim more elements than exist, or special values.
#ifndef QMV_FUZZ_ARRAY_DECODER_H
#define QMV_FUZZ_ARRAY_DECODER_H

#include "ByteSource.h"
#include "mex_standin.h"

#include <cstddef>
#include <vector>

namespace NQmvFuzz {

using NMexStandIn::CArrayPtr;

// No decoded array holds more elements than this, so a test never allocates
// absurd memory; larger extents appear only together with a zero extent or as
// the row count of a sparse array.
constexpr size_t kMaxElements = 1024;

// What plausible values in a slot look like.
enum class EValues {
    Unit,     // image samples in [0, 1]
    Coords,   // an H x W x 2 map of 1-based absolute coordinates (plane 1 = column)
    Weights,  // positive weights
    Kernel,   // a normalised box kernel
    Scalar    // every element is SExpect::dScalar
};

struct SExpect {
    std::vector<size_t> vDims;
    EValues eValues = EValues::Unit;
    double dScalar = 0.0;
};

SExpect ImageOf(std::vector<size_t> vDims);
SExpect MapOf(size_t iHeight, size_t iWidth);
SExpect ScalarOf(double dValue);

// Usually an array of the expected form; sometimes a deviation of it, or an
// arbitrary array.
CArrayPtr DecodeArgument(CByteSource& src, const SExpect& expect);

// An arbitrary array of any class and shape, with bounded nesting.
CArrayPtr DecodeAnyArray(CByteSource& src, int iDepth = 0);

// A cell holding one element of each expected form; it may come short or long,
// with empty slots or wrong elements, or not be a cell at all.
CArrayPtr DecodeCellOf(CByteSource& src, const std::vector<SExpect>& vElements);

// iCount arguments: those with an expected form in vForms decoded with it, the
// rest arbitrary.
std::vector<CArrayPtr> DecodeArguments(CByteSource& src, const std::vector<SExpect>& vForms, int iCount);

// Argument counts: usually iExpected, sometimes any count from 0 to iExpected + 2.
int DecodeCount(CByteSource& src, int iExpected);

// A value from a table of awkward doubles (NaN, infinities, extremes, halves,
// 32-bit boundaries, denormals) or a raw bit pattern.
double DecodeSpecialValue(CByteSource& src);

}  // namespace NQmvFuzz

#endif
