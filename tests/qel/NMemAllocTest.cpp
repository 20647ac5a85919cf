// Checked size arithmetic at its limits; block sizes, alignment and sharing of
// CRefCntMem (leaks and double frees show under AddressSanitizer).
#include "QELLib/NMemAlloc.h"
#include "StreamCapture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>

// Huge requests must come back as a failed malloc, not as a sanitizer abort.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

using NMemAlloc::CRefCntMem;
using NMemAlloc::MemSizeAdd;
using NMemAlloc::MemSizeCast;
using NMemAlloc::MemSizeMul;

const size_t kSizeMax = std::numeric_limits<size_t>::max();

template <class F>
std::string ThrownBadAlloc(F fn)
{
    CStreamCapture capture;
    try {
        fn();
    } catch (const NException::BadAlloc& e) {
        return e.what();
    }
    return "";
}

bool IsAligned(const void* p, std::uintptr_t iAlign) { return reinterpret_cast<std::uintptr_t>(p) % iAlign == 0; }

TEST(MemSize, AddAndMulAtTheSignedLimit)
{
    EXPECT_EQ(MemSizeAdd(2147483647, 0), 2147483647);
    EXPECT_EQ(ThrownBadAlloc([] { MemSizeAdd(2147483647, 1); }), "Error: MemSizeAdd() failed, arithmetic overflow!");
    EXPECT_EQ(MemSizeMul(46340, 46340), 2147395600);
    EXPECT_EQ(MemSizeMul(0, 5), 0);
    EXPECT_EQ(ThrownBadAlloc([] { MemSizeMul(46341, 46341); }), "Error: MemSizeMul() failed, arithmetic overflow!");
    EXPECT_EQ(ThrownBadAlloc([] { MemSizeMul(65537, 65537); }), "Error: MemSizeMul() failed, arithmetic overflow!");
}

TEST(MemSize, UnsignedAddAndCast)
{
    EXPECT_EQ(MemSizeAdd(kSizeMax - 1, size_t{1}), kSizeMax);
    EXPECT_EQ(ThrownBadAlloc([] { MemSizeAdd(kSizeMax, size_t{1}); }),
              "Error: MemSizeAdd() failed, arithmetic overflow!");
    EXPECT_EQ(MemSizeCast(0), 0u);
    EXPECT_EQ(MemSizeCast(2147483647), 2147483647u);
    EXPECT_EQ(ThrownBadAlloc([] { MemSizeCast(-1); }), "Error: MemSizeCast() failed, arithmetic overflow!");
}

TEST(MemSizeDeathTest, NegativeOperandEndsTheProcess)
{
    EXPECT_EXIT(MemSizeMul(-1, 2), ::testing::ExitedWithCode(1), "Expression: iA>=0 && iB>=0\n");
}

TEST(CRefCntMem, AllocateRaisesSmallAlignmentsToEight)
{
    for (size_t iAlign : {0u, 4u, 8u}) {
        CRefCntMem mem;
        mem.Allocate(100, iAlign);
        EXPECT_EQ(mem.Size(), 112u) << iAlign;
        EXPECT_TRUE(IsAligned(mem.Data(), 8)) << iAlign;
        std::memset(mem.Data(), 0xAB, 100);
    }
    CRefCntMem mem;
    mem.Allocate(100, 16);
    EXPECT_EQ(mem.Size(), 120u);
    EXPECT_TRUE(IsAligned(mem.Data(), 16));
    std::memset(mem.Data(), 0xAB, 100);
    mem.Allocate(0, 16);
    EXPECT_EQ(mem.Size(), 20u);
    EXPECT_NE(mem.Data(), nullptr);
}

TEST(CRefCntMemDeathTest, AlignmentMustBeAPowerOfTwo)
{
    CRefCntMem mem;
    EXPECT_EXIT(mem.Allocate(100, 12), ::testing::ExitedWithCode(1), "Expression: 0 == \\(align & align_1\\)\n");
}

TEST(CRefCntMem, FailedAllocateLeavesTheHolderEmpty)
{
    CRefCntMem mem;
    mem.Allocate(8, 8);
    EXPECT_EQ(ThrownBadAlloc([&] { mem.Allocate(kSizeMax - 4, 16); }),
              "Error: MemSizeAdd() failed, arithmetic overflow!");
    EXPECT_EQ(mem.Data(), nullptr);
    EXPECT_EQ(ThrownBadAlloc([&] { mem.Allocate(size_t{1} << 62, 16); }),
              "Error: CRefCntMem::Allocate() failed, out of memory!");
    EXPECT_EQ(mem.Data(), nullptr);
    EXPECT_EQ(mem.Size(), 0u);
}

TEST(CRefCntMem, SharedBlockLivesUntilTheLastHolderLetsGo)
{
    CRefCntMem a;
    a.Allocate(64, 16);
    std::memset(a.Data(), 7, 64);
    CRefCntMem b;
    b = a;
    b = b;
    EXPECT_EQ(b.Data(), a.Data());
    EXPECT_EQ(b.Size(), a.Size());
    a.Release();
    EXPECT_EQ(a.Data(), nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(b.Data())[63], 7);

    // Re-allocating one sharer leaves the other's data valid and unchanged.
    CRefCntMem c(b);
    c.Allocate(64, 16);
    std::memset(c.Data(), 9, 64);
    EXPECT_NE(c.Data(), b.Data());
    EXPECT_EQ(static_cast<unsigned char*>(b.Data())[0], 7);
}

TEST(CRefCntMem, AttachedMemoryIsNeverFreed)
{
    unsigned char aBuffer[32] = {};
    {
        CRefCntMem a;
        a.Attach(aBuffer);
        EXPECT_EQ(a.Data(), aBuffer);
        EXPECT_EQ(a.Size(), 0u);
        CRefCntMem b;
        b = a;
        EXPECT_EQ(b.Data(), aBuffer);
    }
    aBuffer[0] = 1;  // still ours: a free of it would have been reported
    CRefCntMem c;
    c.Attach(nullptr);
    EXPECT_EQ(c.Data(), nullptr);
}

}  // namespace
