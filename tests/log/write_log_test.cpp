#include "log/write_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/test_support.h"
#include "value/runtime_error.h"

namespace kbx {
namespace {

TEST(WriteLog, AppendsLinesInOrderWithThePrefix) {
    test::TempDir dir;
    test::EnvGuard temp("TEMP", dir.path().string());
    WriteLog("first");
    WriteLog("");
    WriteLog("Trying to open: /x/y.xlsx");
    const std::string content = test::readFile(dir.file("KestDBBomEx.log"));
    EXPECT_EQ(content,
              "EXCEL - BOM - OUTPUT: first\n"
              "EXCEL - BOM - OUTPUT: \n"
              "EXCEL - BOM - OUTPUT: Trying to open: /x/y.xlsx\n");
}

TEST(WriteLog, TemporaryDirectoryFallsBackToTmpdirThenTmp) {
    test::TempDir dir;
    {
        test::EnvGuard temp("TEMP", std::nullopt);
        test::EnvGuard tmpdir("TMPDIR", dir.path().string());
        EXPECT_EQ(logFilePath(), dir.file("KestDBBomEx.log"));
    }
    {
        test::EnvGuard temp("TEMP", std::nullopt);
        test::EnvGuard tmpdir("TMPDIR", std::nullopt);
        EXPECT_EQ(logFilePath(), "/tmp/KestDBBomEx.log");
    }
}

TEST(WriteLog, MissingDirectoryOrReadOnlyFileFailsTheCall) {
    test::TempDir dir;
    {
        test::EnvGuard temp("TEMP", dir.file("missing"));
        try {
            WriteLog("x");
            FAIL() << "expected a run-time error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), err::PathNotFound);
        }
    }
    if (::geteuid() != 0) {  // root ignores file permissions
        test::EnvGuard temp("TEMP", dir.path().string());
        WriteLog("once");
        ::chmod(dir.file("KestDBBomEx.log").c_str(), 0444);
        try {
            WriteLog("again");
            FAIL() << "expected a run-time error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), err::PermissionDenied);
        }
    }
}

}  // namespace
}  // namespace kbx
