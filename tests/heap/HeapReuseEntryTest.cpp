// qmv_heap_reuse through the stand-in host: it returns the setting before the
// call, bad flags change nothing, and (with GNU's allocator) a freed large
// block stays with the process while the setting is on and goes back to the
// system once it is off; turning it on costs no resident memory, and where
// the kernel gives huge pages on request, large blocks get them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#include <unistd.h>
#endif

#include "mex_standin.h"

namespace {

using NMexStandIn::CallMex;
using NMexStandIn::CArrayPtr;
using NMexStandIn::MakeScalar;

// The setting the call returned (as 0 or 1), or -1 when it failed or was not logical.
int Returned(const std::vector<const mxArray*>& vArgs, int nlhs = 1)
{
    NMexStandIn::CCallResult result = CallMex(nlhs, vArgs);
    EXPECT_TRUE(result.bOk) << result.sError << result.sEscaped;
    const mxArray* pmx = result.Output();
    if (!result.bOk || pmx == nullptr || !mxIsLogical(pmx) || mxGetNumberOfElements(pmx) != 1) return -1;
    return mxGetScalar(pmx) != 0 ? 1 : 0;
}

TEST(HeapReuseEntry, ReturnsTheSettingBeforeTheCall)
{
    CArrayPtr pmxTrue = NMexStandIn::MakeNumeric({1, 1}, mxLOGICAL_CLASS), pmxOne = MakeScalar(1),
              pmxZero = MakeScalar(0);
    static_cast<mxLogical*>(mxGetData(pmxTrue.get()))[0] = true;
    EXPECT_EQ(Returned({}), 0);
    EXPECT_EQ(Returned({pmxTrue.get()}), 0);
    EXPECT_EQ(Returned({}, 0), 1);  // into ans
    EXPECT_EQ(Returned({pmxOne.get()}), 1);
    EXPECT_EQ(Returned({pmxZero.get()}), 1);
    EXPECT_EQ(Returned({}), 0);
    EXPECT_EQ(Returned({pmxOne.get()}), 0);
    EXPECT_TRUE(NMexStandIn::UnloadModule());  // unloading sets it back
    EXPECT_EQ(Returned({}), 0);
}

TEST(HeapReuseEntry, BadFlagsAreRefusedAndChangeNothing)
{
    const double dNaN = std::numeric_limits<double>::quiet_NaN();
    std::vector<CArrayPtr> vBad;
    for (double d : {2.0, -1.0, 0.5, dNaN, std::numeric_limits<double>::infinity()}) vBad.push_back(MakeScalar(d));
    vBad.push_back(NMexStandIn::MakeDouble({1, 2}, {1, 0}));
    vBad.push_back(NMexStandIn::MakeDouble({0, 0}));
    vBad.push_back(NMexStandIn::MakeString("1"));
    vBad.push_back(NMexStandIn::MakeComplex({1, 1}, {1}, {1}));
    vBad.push_back(NMexStandIn::MakeSparse(1, 1));
    vBad.push_back(NMexStandIn::MakeCell(MakeScalar(1)));
    for (const CArrayPtr& pmxBad : vBad) {
        NMexStandIn::CCallResult result = CallMex(1, {pmxBad.get()});
        EXPECT_FALSE(result.bEscaped);
        EXPECT_EQ(result.sError, "Error: keep must be true or false!");
    }
    CArrayPtr pmxOne = MakeScalar(1);
    const std::string sUsage = "Usage: previous = qmv_heap_reuse(keep)";
    EXPECT_EQ(CallMex(1, {pmxOne.get(), pmxOne.get()}).sError, sUsage);
    EXPECT_EQ(CallMex(2, {pmxOne.get()}).sError, sUsage);
    EXPECT_EQ(Returned({}), 0);
}

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Bytes of freed memory the main heap keeps after a block of iBytes is
// allocated, written and freed.
size_t KeptAfterFree(size_t iBytes)
{
    malloc_trim(0);
    char* p = static_cast<char*>(std::malloc(iBytes));
    for (size_t i = 0; i < iBytes; i += 4096) p[i] = 1;
    std::free(p);
    return mallinfo2().fordblks;
}

TEST(HeapReuseEntry, KeepsAFreedLargeBlockOnlyWhileOn)
{
    const size_t iBlock = size_t{100} << 20;  // above the usual 32 MB threshold
    CArrayPtr pmxOne = MakeScalar(1), pmxZero = MakeScalar(0);
    Returned({pmxOne.get()});
    EXPECT_GE(KeptAfterFree(iBlock), iBlock);
    Returned({pmxZero.get()});
    EXPECT_LT(KeptAfterFree(iBlock), iBlock / 2);
}

// Resident bytes of this process.
size_t ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    size_t iSize = 0, iResident = 0;
    statm >> iSize >> iResident;
    return iResident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Memory freed while the setting was on, below a block still in use (where
// no later free trims the heap), goes back when the setting is turned off.
TEST(HeapReuseEntry, TurningOffHandsBackWhatWasKept)
{
    const size_t iBlock = size_t{64} << 20;
    CArrayPtr pmxOne = MakeScalar(1), pmxZero = MakeScalar(0);
    Returned({pmxOne.get()});
    char* pFreed = static_cast<char*>(std::malloc(iBlock));
    char* pHeld = static_cast<char*>(std::malloc(4096));
    for (size_t i = 0; i < iBlock; i += 4096) pFreed[i] = 1;
    std::free(pFreed);
    const size_t iBefore = ResidentBytes();
    Returned({pmxZero.get()});
    EXPECT_LT(ResidentBytes() + iBlock / 2, iBefore);
    std::free(pHeld);
}

// The kernel's transparent huge page mode: "always", "madvise" or "never".
std::string HugePageMode()
{
    std::ifstream file("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string sLine;
    std::getline(file, sLine);
    const size_t iOpen = sLine.find('['), iClose = sLine.find(']');
    return iOpen == std::string::npos || iClose == std::string::npos ? "never"
                                                                     : sLine.substr(iOpen + 1, iClose - iOpen - 1);
}

size_t AnonHugePageBytes()
{
    std::ifstream file("/proc/self/smaps_rollup");
    std::string sKey;
    size_t iKb = 0;
    while (file >> sKey) {
        if (sKey == "AnonHugePages:" && file >> iKb) return iKb << 10;
    }
    return 0;
}

// The heap's reserve for huge pages is address space, not memory; a block
// taken from it after the setting is turned on is faulted in as huge pages.
TEST(HeapReuseEntry, TurningOnReservesHugePagesWithoutResidentMemory)
{
    const size_t iBlock = size_t{64} << 20;
    CArrayPtr pmxOne = MakeScalar(1), pmxZero = MakeScalar(0);
    Returned({pmxZero.get()});
    const size_t iBefore = ResidentBytes();
    Returned({pmxOne.get()});
    EXPECT_LT(ResidentBytes(), iBefore + (size_t{16} << 20));
    if (HugePageMode() == "never") {
        Returned({pmxZero.get()});
        GTEST_SKIP() << "the kernel gives no transparent huge pages";
    }
    const size_t iHugeBefore = AnonHugePageBytes();
    char* p = static_cast<char*>(std::malloc(iBlock));
    for (size_t i = 0; i < iBlock; i += 4096) p[i] = 1;
    // The kernel may find fewer free huge pages than asked for; most will do.
    EXPECT_GE(AnonHugePageBytes(), iHugeBefore + iBlock / 4);
    std::free(p);
    Returned({pmxZero.get()});
}
#endif

}  // namespace
