// CSingleton: one instance, the dead reference after the at-exit handler; and
// the processor record's CPUID decoding.
#include "QELLib/CSingleton.h"
#include "StreamCapture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

struct CCounted {
    static inline int s_iConstructions = 0;
    CCounted() { ++s_iConstructions; }
};

TEST(CSingleton, CreatesOneInstanceOnFirstUse)
{
    EXPECT_EQ(CCounted::s_iConstructions, 0);
    CCounted& a = CSingleton<CCounted>::Instance();
    CCounted& b = CSingleton<CCounted>::Instance();
    EXPECT_EQ(&a, &b);
    EXPECT_EQ(CCounted::s_iConstructions, 1);
}

struct CLateUsed {};

// Registered before the singleton's own handler, so it runs after it.
void UseAfterTeardown()
{
    CStreamCapture capture;
    try {
        CSingleton<CLateUsed>::Instance();
    } catch (const NException::LogicError& e) {
        const bool bNotice =
            capture.Out() ==
            "\n\nException constructed - Error: CSingleton::Instance() failed, dead-reference detected!\n\n";
        std::fprintf(stderr, "%s|%s", bNotice ? "notice" : "no notice", e.what());
        std::_Exit(3);
    }
    std::_Exit(4);
}

TEST(CSingletonDeathTest, RefusesTheInstanceAfterTheAtExitHandler)
{
    auto run = [] {
        std::atexit(&UseAfterTeardown);
        CSingleton<CLateUsed>::Instance();
        std::exit(0);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(3),
                "^notice\\|Error: CSingleton::Instance\\(\\) failed, dead-reference detected!$");
}

CCpuidRegs FakeCpuidSse123(std::uint32_t iLeaf, std::uint32_t)
{
    if (iLeaf == 0) {
        return {1, 0, 0, 0};
    }
    // ECX: SSE3 (bit 0) only; EDX: SSE (25) and SSE2 (26), no MMX (23).
    return {0, 0, 1u, (1u << 25) | (1u << 26)};
}

CCpuidRegs FakeCpuidNoLeaves(std::uint32_t iLeaf, std::uint32_t)
{
    // Leaf 1 would claim everything; it must not be asked.
    return iLeaf == 0 ? CCpuidRegs{0, 0, 0, 0} : CCpuidRegs{0, 0, ~0u, ~0u};
}

TEST(ProcessorInfo, DecodesLeafOneAndRespectsTheHighestLeaf)
{
    const std::int32_t iOsCount =
        std::thread::hardware_concurrency() > 0 ? static_cast<std::int32_t>(std::thread::hardware_concurrency()) : 1;

    const ProcessorInfo sse(&FakeCpuidSse123);
    EXPECT_EQ(sse.FeatureFlags(), 14u);
    EXPECT_TRUE(sse.IsReady());

    const ProcessorInfo none(&FakeCpuidNoLeaves);
    EXPECT_EQ(none.FeatureFlags(), 0u);
    EXPECT_EQ(none.ProcessorCount(), iOsCount);

    EXPECT_EQ(ProcessorInfo::DecodeFeatureFlags(1u << 28, 1u << 23),
              static_cast<std::uint32_t>(ProcessorInfo::FLAG_AVX | ProcessorInfo::FLAG_MMX));
}

TEST(ProcessorInfo, RecordAtLoadCreatesTheSingleton)
{
    const CProcessorRecordAtLoad record;
    const ProcessorInfo& info = CSingleton<ProcessorInfo>::Instance();
    EXPECT_TRUE(info.IsReady());
    EXPECT_GE(info.ProcessorCount(), 1);
#if defined(__x86_64__)
    EXPECT_NE(info.FeatureFlags() & ProcessorInfo::FLAG_SSE2, 0u);  // every x86-64 has SSE2
#endif
}

}  // namespace
