// Files replaced in one step (a save torn by a kill leaves the old file; a save keeps the
// permissions of the file it replaces), inputs read up to a limit, paths naming one file.

#include "files/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "files/input_file.h"
#include "files/paths.h"
#include "support/test_support.h"

namespace kbx::test {
namespace {

TEST(AtomicFile, AWriterKilledHalfwayLeavesTheOldFile) {
    TempDir dir;
    const std::string target = dir.file("bom.xlsx");
    std::ofstream(target) << "old content";
    int halfWritten[2];
    ASSERT_EQ(::pipe(halfWritten), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        files::replaceFile(target, [&](const std::string& temporary) {
            std::ofstream(temporary) << std::string(1 << 20, 'x');
            if (::write(halfWritten[1], "w", 1) == 1) ::pause();  // killed here
        });
        ::_exit(0);
    }
    char signal = 0;
    ASSERT_EQ(::read(halfWritten[0], &signal, 1), 1);
    ::kill(writer, SIGKILL);
    int status = 0;
    ::waitpid(writer, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(readFile(target), "old content");
    files::replaceFileWith(target, "new content");  // the next save goes through
    EXPECT_EQ(readFile(target), "new content");
}

TEST(AtomicFile, AReplacedFileKeepsItsPermissionsAndANewOneFollowsTheUmask) {
    TempDir dir;
    const std::string target = dir.file("bom.xlsx");
    const auto modeAfterSave = [&] {
        files::replaceFileWith(target, "saved");
        struct stat info {};
        return ::stat(target.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    };
    const mode_t umask = ::umask(027);
    EXPECT_EQ(modeAfterSave(), 0640u);
    ::umask(umask);
    for (const mode_t mode : {0644u, 0600u}) {
        ::chmod(target.c_str(), mode);
        EXPECT_EQ(modeAfterSave(), mode);
    }
}

TEST(InputFile, AFileOfExactlyTheLimitIsReadOneByteMoreIsRefused) {
    TempDir dir;
    std::ofstream(dir.file("five")) << "12345";
    EXPECT_EQ(files::readRegularFile(dir.file("five"), 5, "a test"), "12345");
    EXPECT_EQ(errorOf([&] { files::readRegularFile(dir.file("five"), 4, "x"); }).number(), err::PathFileAccessError);
}

// Spellings and links of one file: tests/conformance (a summary over its template).
TEST(Paths, NamesTooLongToResolveAreComparedAsWritten) {
    TempDir dir;
    const std::string tooLong = dir.file(std::string(300, 'x'));
    EXPECT_TRUE(files::sameFile(tooLong, tooLong));
    EXPECT_FALSE(files::sameFile(tooLong, tooLong + "y") || files::sameFile(dir.file("a"), tooLong));
}

}  // namespace
}  // namespace kbx::test
