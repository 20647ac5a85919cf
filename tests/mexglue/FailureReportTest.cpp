// The shared catch-and-report: every kind of failure a computation can throw
// becomes its module's text, nothing escapes, and success gives no text.
#include "mexglue/FailureReport.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

namespace {

using NMexGlue::CFailureTexts;
using NMexGlue::FailureText;

const CFailureTexts PREFIXED = {"Error: m: ", "Error: m: out of memory.", "Error: m: unknown.", false, false};
const CFailureTexts AS_IS = {nullptr, nullptr, "Error: m failed!", true, true};

struct CSpecial {
    const char* what() const noexcept { return "special"; }
};

template <class TThrow>
std::string TextOf(const CFailureTexts& texts, const TThrow& thrown)
{
    return FailureText<CSpecial>(
        texts, [&] { throw thrown; }, "Error: first: ");
}

TEST(FailureReport, EachKindOfFailureGetsItsModulesText)
{
    EXPECT_EQ(FailureText(PREFIXED, [] {}), "");
    EXPECT_EQ(TextOf(PREFIXED, std::runtime_error("bad")), "Error: m: bad");
    EXPECT_EQ(TextOf(PREFIXED, std::bad_alloc()), "Error: m: out of memory.");
    EXPECT_EQ(TextOf(PREFIXED, std::string("thrown")), "Error: m: unknown.");
    EXPECT_EQ(TextOf(PREFIXED, 42), "Error: m: unknown.");
    EXPECT_EQ(TextOf(PREFIXED, CSpecial()), "Error: first: special");

    EXPECT_EQ(TextOf(AS_IS, std::runtime_error("bad")), "bad");
    EXPECT_EQ(TextOf(AS_IS, std::bad_alloc()), std::bad_alloc().what());
    EXPECT_EQ(TextOf(AS_IS, std::string("thrown")), "thrown");
    EXPECT_EQ(TextOf(AS_IS, 42), "Error: m failed!");
}

TEST(FailureReport, TheLibrarysExceptionsKeepTheirTextOnlyWhereTheModuleSaysSo)
{
    const NException::LogicError logic("Error: library says no");
    EXPECT_EQ(TextOf(AS_IS, logic), "Error: library says no");
    EXPECT_EQ(TextOf(PREFIXED, logic), std::string("Error: m: ") + logic.what());
    const NException::BadAlloc noMemory("Error: library out of memory");
    EXPECT_EQ(TextOf(AS_IS, noMemory), noMemory.what());
    EXPECT_EQ(TextOf(PREFIXED, noMemory), "Error: m: out of memory.");
}

TEST(FailureReport, ASecondOwnTypeIsCaughtAfterTheFirstAndBeforeTheRest)
{
    const auto textOf = [](const auto& thrown) {
        return FailureText<CSpecial, std::runtime_error>(
            PREFIXED, [&] { throw thrown; }, "Error: first: ", nullptr);
    };
    EXPECT_EQ(textOf(CSpecial()), "Error: first: special");
    EXPECT_EQ(textOf(std::runtime_error("Error: reader says no")), "Error: reader says no");
    EXPECT_EQ(textOf(std::logic_error("bad")), "Error: m: bad");
    EXPECT_EQ(textOf(std::bad_alloc()), "Error: m: out of memory.");
}

}  // namespace
