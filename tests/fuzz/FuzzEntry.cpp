// The libFuzzer entry shared by every module's fuzz target: decode the bytes
// into a call of the linked module and check it against the host rules.
#include "FuzzCall.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t iSize)
{
    NQmvFuzz::CByteSource src(pData, iSize);
    NQmvFuzz::RunChecked(NQmvFuzz::BuildCall(src));
    return 0;
}
