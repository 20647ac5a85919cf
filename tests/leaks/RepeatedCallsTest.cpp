// Repeated calls of one module's entry leave nothing behind: every input of the
// module's fuzz seed corpus (well-formed calls and calls that end in an error)
// runs many times through the stand-in host. No host array may stay alive and
// the heap in use may not grow from round to round; in the AddressSanitizer
// build LeakSanitizer also reports any block lost by the time the test exits.
#include "FuzzCall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QMV_LEAKS_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QMV_LEAKS_ASAN 1
#endif

#ifdef QMV_LEAKS_ASAN
// From the sanitizer runtime (GCC installs no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#else
#include <malloc.h>
#endif

namespace {

using NQmvFuzz::SCall;

size_t HeapInUse()
{
#ifdef QMV_LEAKS_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// The empty input (the plain well-formed call) and every corpus input.
std::vector<std::vector<uint8_t>> CorpusInputs()
{
    std::vector<std::filesystem::path> vFiles;
    for (const auto& entry : std::filesystem::directory_iterator(QMV_CORPUS_DIR))
        if (entry.is_regular_file()) vFiles.push_back(entry.path());
    std::sort(vFiles.begin(), vFiles.end());
    std::vector<std::vector<uint8_t>> vInputs(1);
    for (const auto& file : vFiles) {
        std::ifstream in(file, std::ios::binary);
        vInputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return vInputs;
}

struct SRoundCounts {
    size_t iReturned = 0, iRefused = 0;
};

// Runs every input once; each call must keep the host rules and free every
// array it made.
SRoundCounts RunRound(const std::vector<std::vector<uint8_t>>& vInputs)
{
    SRoundCounts counts;
    for (const auto& vBytes : vInputs) {
        NQmvFuzz::CByteSource src(vBytes.data(), vBytes.size());
        const SCall call = NQmvFuzz::BuildCall(src);
        std::vector<const mxArray*> vArgs;
        for (const auto& pa : call.vArgs) vArgs.push_back(pa.get());
        const size_t iLiveBefore = NMexStandIn::LiveArrayCount();
        {
            const NMexStandIn::CCallResult result = NMexStandIn::CallMex(call.nlhs, vArgs);
            EXPECT_EQ(NQmvFuzz::BrokenRule(call, result), "") << NQmvFuzz::Describe(call);
            ++(result.bOk ? counts.iReturned : counts.iRefused);
        }
        EXPECT_EQ(NMexStandIn::LiveArrayCount(), iLiveBefore) << NQmvFuzz::Describe(call);
    }
    return counts;
}

// Zero bytes choose the well-formed form everywhere, so the empty input is the
// plain valid call; the fuzzer and these rounds start from it.
TEST(RepeatedCalls, EmptyInputIsAWellFormedCall)
{
    NQmvFuzz::CByteSource src(nullptr, 0);
    const SCall call = NQmvFuzz::BuildCall(src);
    std::vector<const mxArray*> vArgs;
    for (const auto& pa : call.vArgs) vArgs.push_back(pa.get());
    const NMexStandIn::CCallResult result = NMexStandIn::CallMex(call.nlhs, vArgs);
    EXPECT_TRUE(result.bOk) << NQmvFuzz::Describe(call) << "\n" << result.sError;
}

TEST(RepeatedCalls, CorpusCoversReturnsAndErrors)
{
    const SRoundCounts counts = RunRound(CorpusInputs());
    EXPECT_GT(counts.iReturned, 0u);
    EXPECT_GT(counts.iRefused, 0u);
}

TEST(RepeatedCalls, LeaveNoArrayAliveAndNoHeapGrowth)
{
    const auto vInputs = CorpusInputs();
    // Thread pools, library caches and the host's bookkeeping grow during the
    // first rounds and then stay.
    for (int i = 0; i < 4; ++i) RunRound(vInputs);
    const size_t iHeapBefore = HeapInUse();
    const size_t iLiveBefore = NMexStandIn::LiveArrayCount();
    constexpr int kRounds = 8;
    for (int i = 0; i < kRounds; ++i) RunRound(vInputs);
    EXPECT_EQ(NMexStandIn::LiveArrayCount(), iLiveBefore);
    const size_t iHeapAfter = HeapInUse();
    // A little slack for allocator bookkeeping; a block kept per call grows the
    // heap by its size times kRounds times the number of inputs.
    EXPECT_LE(iHeapAfter, iHeapBefore + 4096)
        << "heap in use grew from " << iHeapBefore << " to " << iHeapAfter << " bytes over " << kRounds << " rounds of "
        << vInputs.size() << " calls of " << NQmvFuzz::kModuleName;
}

}  // namespace
