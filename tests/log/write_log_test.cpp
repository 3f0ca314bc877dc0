#include "log/write_log.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace kbx::test {
namespace {

TEST(WriteLog, AppendsPrefixedLinesToTheLogInTheTemporaryDirectory) {
    TempDir dir;
    EnvGuard temp("TEMP", dir.path().string());
    WriteLog("Trying to open: /x/y.xlsx");
    // No message can forge a line: every control character, NUL to DEL, is escaped; space, "~" and UTF-8 pass.
    WriteLog(std::string("\0\x01\x1f \t\n\r~\x7f\xC3\xA4", 11));
    EXPECT_EQ(readFile(dir.file("KestDBBomEx.log")),
              "EXCEL - BOM - OUTPUT: Trying to open: /x/y.xlsx\n"
              "EXCEL - BOM - OUTPUT: \\x00\\x01\\x1f \\t\\n\\r~\\x7f\xC3\xA4\n");
}

TEST(WriteLog, MissingDirectoryOrUnwritableLogFailsTheCall) {
    TempDir dir;
    {
        EnvGuard temp("TEMP", dir.file("missing"));
        EXPECT_EQ(errorOf([] { WriteLog("x"); }).number(), err::PathNotFound);
    }
    EnvGuard temp("TEMP", dir.path().string());
    WriteLog("once");
    Unwritable log(dir.file("KestDBBomEx.log"));
    if (!log.effective()) GTEST_SKIP() << "cannot make a file unwritable here";
    EXPECT_EQ(errorOf([] { WriteLog("again"); }).number(), err::PermissionDenied);
}

}  // namespace
}  // namespace kbx::test
