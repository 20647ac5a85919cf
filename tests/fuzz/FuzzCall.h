// One call of a module's entry decoded from fuzzer bytes, and the rules every
// call must keep whatever its arguments: a host error that begins "Usage: " or
// "Error: ", or a normal return with one real double output; no exception
// leaving the entry, no host call from another thread, no array left behind.
#ifndef QMV_FUZZ_FUZZ_CALL_H
#define QMV_FUZZ_FUZZ_CALL_H

#include "ByteSource.h"
#include "mex_standin.h"

#include <string>
#include <vector>

namespace NQmvFuzz {

struct SCall {
    int nlhs = 1;
    std::vector<NMexStandIn::CArrayPtr> vArgs;
};

// Defined once per module (tests/fuzz/args/): the module's name and the
// decoding of bytes into a call with that module's expected argument forms.
extern const char* const kModuleName;
SCall BuildCall(CByteSource& src);

// The first broken rule of a finished call, or an empty text.
std::string BrokenRule(const SCall& call, const NMexStandIn::CCallResult& result);

// Runs the call through the stand-in host; on a broken rule prints it with a
// description of the arguments and aborts, which the fuzzer records as a crash.
// With QMV_FUZZ_TRACE set in the environment every call and its outcome is
// printed to the standard error stream.
void RunChecked(const SCall& call);

// A one-line description of the arguments (classes, shapes, flags).
std::string Describe(const SCall& call);

}  // namespace NQmvFuzz

#endif
