#include "log/write_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "files/atomic_file.h"
#include "value/runtime_error.h"

namespace kbx {

std::string temporaryDirectory() {
    for (const char* name : {"TEMP", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return "/tmp";
}

std::string logFilePath() {
    std::string dir = temporaryDirectory();
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir + kLogFileName;
}

namespace {

[[noreturn]] void raiseLogError(int errnoValue, const std::string& path) {
    if (errnoValue == ENOENT || errnoValue == ENOTDIR) {
        raise(err::PathNotFound, standardErrorText(err::PathNotFound) + ": " + path);
    }
    raiseFileError(errnoValue, path);
}

}  // namespace

void WriteLog(const std::string& message) {
    const std::string path = logFilePath();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) raiseLogError(errno, path);
    const std::string line = kLogPrefix + message + "\n";
    if (!files::writeAll(fd, line)) {
        const int saved = errno;
        ::close(fd);
        raiseFileError(saved, path);
    }
    if (::close(fd) != 0) raiseFileError(errno, path);
}

}  // namespace kbx
