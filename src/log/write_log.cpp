#include "log/write_log.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "files/atomic_file.h"
#include "files/input_file.h"
#include "files/paths.h"
#include "value/runtime_error.h"

namespace kbx {

std::string logFilePath() {
    std::string dir = files::temporaryDirectory();
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir + kLogFileName;
}

std::string escapeLogText(const std::string& text) {
    static const char* hex = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 0xf];
        }
    }
    return out;
}

namespace {

// An open log, or why the file at the path cannot serve as one.
struct LogOpening {
    files::FileHandle file;
    int error = 0;         // the open's errno when it failed
    std::string unusable;  // set when someone else's object sits at the path
};

// Opens `path` for appending without following a link and without waiting
// on a pipe; only a regular file of this user with one name is used.
LogOpening openLog(const std::string& path) {
    LogOpening result;
    result.file = files::FileHandle(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    struct stat info {};
    if (result.file.fd() < 0) {
        result.error = errno;
        if (::lstat(path.c_str(), &info) != 0) return result;
        if (!S_ISREG(info.st_mode)) {
            result.unusable = "is " + std::string(files::fileKindName(info.st_mode));
        } else if (info.st_uid != ::geteuid()) {
            result.unusable = "belongs to another user";
        }
        return result;
    }
    if (::fstat(result.file.fd(), &info) != 0) {
        result.error = errno;
    } else if (!S_ISREG(info.st_mode)) {
        result.unusable = "is " + std::string(files::fileKindName(info.st_mode));
    } else if (info.st_uid != ::geteuid()) {
        result.unusable = "belongs to another user";
    } else if (info.st_nlink != 1) {
        result.unusable = "has more than one name";
    }
    if (!result.unusable.empty()) result.file = files::FileHandle();
    return result;
}

[[noreturn]] void raiseLogError(int errnoValue, const std::string& path) {
    if (errnoValue == ENOENT || errnoValue == ENOTDIR) {
        raise(err::PathNotFound, standardErrorText(err::PathNotFound) + ": " + path);
    }
    raiseFileError(errnoValue, path);
}

// A folder only this user can enter: $XDG_RUNTIME_DIR, else the user's
// cache folder ($XDG_CACHE_HOME or ~/.cache) with a folder of our own.
std::optional<std::string> privateLogFolder() {
    const auto ownPrivateFolder = [](const std::string& dir) {
        struct stat info {};
        return !dir.empty() && dir.front() == '/' && ::lstat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
               info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
    };
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && ownPrivateFolder(runtime))
        return std::string(runtime);
    std::string cache;
    if (const char* value = std::getenv("XDG_CACHE_HOME"); value != nullptr && *value == '/') {
        cache = value;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        cache = std::string(home) + "/.cache";
    } else if (const passwd* user = ::getpwuid(::geteuid()); user != nullptr && user->pw_dir != nullptr) {
        cache = std::string(user->pw_dir) + "/.cache";
    }
    if (cache.empty()) return std::nullopt;
    ::mkdir(cache.c_str(), 0700);
    const std::string own = cache + "/kestbomex";
    ::mkdir(own.c_str(), 0700);
    if (!ownPrivateFolder(own)) return std::nullopt;
    return own;
}

// Tells once per process (on standard error and in the log itself) that the
// log went elsewhere, and why.
void announceFallback(int fd, const std::string& notice) {
    static std::string announced;
    if (announced == notice) return;
    announced = notice;
    std::fprintf(stderr, "%s\n", notice.c_str());
    files::writeAll(fd, kLogPrefix + escapeLogText(notice) + "\n");
}

}  // namespace

void WriteLog(const std::string& message) {
    const std::string path = logFilePath();
    LogOpening log = openLog(path);
    std::string usedPath = path;
    if (!log.unusable.empty()) {
        const std::optional<std::string> folder = privateLogFolder();
        const std::string why = "The log '" + path + "' " + log.unusable;
        if (!folder) raise(err::PathFileAccessError, standardErrorText(err::PathFileAccessError) + ": " + why);
        usedPath = *folder + "/" + kLogFileName;
        log = openLog(usedPath);
        if (log.file.fd() >= 0) announceFallback(log.file.fd(), why + "; logging to '" + usedPath + "' instead");
        if (!log.unusable.empty()) {
            raise(err::PathFileAccessError, standardErrorText(err::PathFileAccessError) + ": " + why + ", and '" +
                                                usedPath + "' " + log.unusable);
        }
    }
    if (log.file.fd() < 0) raiseLogError(log.error, usedPath);
    const std::string line = kLogPrefix + escapeLogText(message) + "\n";
    if (!files::writeAll(log.file.fd(), line)) raiseFileError(errno, usedPath);
    if (::close(log.file.release()) != 0) raiseFileError(errno, usedPath);
}

void logRefusal(const std::string& shownMessage, const std::string& reason) {
    if (reason.empty()) return;
    WriteLog(shownMessage);
    WriteLog(reason);
}

}  // namespace kbx
