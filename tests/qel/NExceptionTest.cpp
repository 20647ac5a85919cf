// Exceptions: construction notice, message, catch hierarchy; the assertion report.
#include "QELLib/NException.h"
#include "QELLib/NMemAlloc.h"
#include "StreamCapture.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

namespace {

const std::string kNotice = "\n\nException constructed - Error: test!\n\n";

TEST(NException, ConstructionWritesNoticeOnceAndCopiesStaySilent)
{
    CStreamCapture capture;
    NException::BadAlloc e("Error: test!");
    EXPECT_EQ(capture.Out(), kNotice);
    NException::BadAlloc copy(e);
    NException::LogicError logic("Error: test!");
    NException::LogicError logicCopy(logic);
    EXPECT_EQ(capture.Out(), kNotice + kNotice);
    EXPECT_EQ(capture.Err(), "");
    EXPECT_STREQ(copy.what(), "Error: test!");
    EXPECT_STREQ(logicCopy.what(), "Error: test!");
}

TEST(NException, ThrownObjectsKeepTheirClassesAndMessage)
{
    CStreamCapture capture;
    try {
        throw NException::BadAlloc("Error: MemSizeMul() failed, arithmetic overflow!");
    } catch (const std::bad_alloc& e) {
        EXPECT_STREQ(e.what(), "Error: MemSizeMul() failed, arithmetic overflow!");
    }
    bool bCaughtAsException = false;
    try {
        try {
            throw NException::LogicError("Error: logic!");
        } catch (const std::bad_alloc&) {
            ADD_FAILURE() << "LogicError caught as std::bad_alloc";
        }
    } catch (const std::exception& e) {
        bCaughtAsException = std::string(e.what()) == "Error: logic!";
    }
    EXPECT_TRUE(bCaughtAsException);
}

TEST(QELAssertDeathTest, ReportHasExactLinesAndExitsWithOne)
{
    const int iLine = __LINE__ + 1;
    auto fail = [] { QELAssert(1 + 1 == 3); };
    const std::string sExpected = std::string("\n\nQELAssert failed!\n\nFile: ") + __FILE__ +
                                  "\nLine: " + std::to_string(iLine) +
                                  "\n\nExpression: 1 + 1 == 3\n\nProgram terminated!\n\n";
    EXPECT_EXIT(fail(), ::testing::ExitedWithCode(1), ::testing::Eq(sExpected));
}

TEST(QELAssertDeathTest, LibraryCheckQuotesItsExpression)
{
    EXPECT_EXIT(NMemAlloc::MemSizeAdd(-1, 2), ::testing::ExitedWithCode(1),
                "^\n\nQELAssert failed!\n\nFile: [^\n]*QELLib/NMemAlloc\\.h\nLine: [0-9]+\n\n"
                "Expression: iA>=0 && iB>=0\n\nProgram terminated!\n\n$");
}

TEST(QELAssert, PassingCheckEvaluatesOnceAndWritesNothing)
{
    CStreamCapture capture;
    int iCalls = 0;
    QELAssert(++iCalls == 1);
    EXPECT_EQ(iCalls, 1);
    EXPECT_EQ(capture.Out() + capture.Err(), "");
}

}  // namespace
