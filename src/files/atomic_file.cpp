#include "files/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>

#include "value/runtime_error.h"

namespace kbx::files {

namespace {

namespace fs = std::filesystem;

// Temporary files and folders this layer and the format bridge leave beside
// a target are removed by a later save in that folder once they are this old.
constexpr auto kLeftoverAge = std::chrono::hours(24);

fs::path folderOf(const fs::path& target) { return target.has_parent_path() ? target.parent_path() : "."; }

// The target must be a file name in an existing folder and must not itself
// be a folder. Errors name `shown`.
void requireTarget(const fs::path& target, const fs::path& shown) {
    if (target.empty() || !target.has_filename()) {
        raise(err::BadFileNameOrNumber,
              standardErrorText(err::BadFileNameOrNumber) + ": '" + shown.string() + "' names no file");
    }
    const fs::path dir = folderOf(target);
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0) {
        if (errno == ENAMETOOLONG) raiseFileError(errno, shown.string());
        raise(err::PathNotFound, "Path not found: '" + dir.string() + "'");
    }
    if (!S_ISDIR(info.st_mode)) raise(err::PathNotFound, "Path not found: '" + dir.string() + "'");
    if (::lstat(target.c_str(), &info) != 0) {
        if (errno == ENAMETOOLONG) raiseFileError(errno, shown.string());
    } else if (S_ISDIR(info.st_mode)) {
        raise(err::PathFileAccessError, standardErrorText(err::PathFileAccessError) + ": '" + shown.string() +
                                            "' is a folder; a file cannot replace it");
    }
}

// ".<name>.kbx-XXXXXX" and ".<name>.kbx-convert.xlsx" files, ".kbx-save-XXXXXX" folders.
bool isLeftoverName(const std::string& name, bool folder) {
    if (folder) return name.size() == 16 && name.rfind(".kbx-save-", 0) == 0;
    if (name.size() < 2 || name[0] != '.') return false;
    const size_t marker = name.rfind(".kbx-");
    if (marker == std::string::npos || marker == 0) return false;
    const std::string tail = name.substr(marker + 5);
    if (tail == "convert.xlsx") return true;
    return tail.size() == 6 && std::all_of(tail.begin(), tail.end(), [](unsigned char c) { return std::isalnum(c); });
}

// Removes this user's leftover temporaries in the target's folder that are
// older than a day (a process killed while saving leaves them behind).
void removeOldLeftovers(const fs::path& target) {
    const auto now = fs::file_time_type::clock::now();
    std::error_code ec;
    for (fs::directory_iterator it(folderOf(target), ec), end; !ec && it != end; it.increment(ec)) {
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0 || info.st_uid != ::geteuid()) continue;
        const bool folder = S_ISDIR(info.st_mode);
        if (!(folder || S_ISREG(info.st_mode)) || !isLeftoverName(it->path().filename().string(), folder)) continue;
        std::error_code timeError;
        const auto modified = fs::last_write_time(it->path(), timeError);
        if (timeError || now - modified < kLeftoverAge) continue;
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

// The target's permission bits, or those a new file gets.
mode_t modeFor(const fs::path& target) {
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) return info.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void syncFile(const fs::path& file, const fs::path& shown) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        raiseFileError(error, shown.string());
    }
    ::close(fd);
}

void syncFolder(const fs::path& target) {
    const int fd = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // the rename is done; a folder we cannot open is only not synced
    ::fsync(fd);
    ::close(fd);
}

void renameOver(const fs::path& finished, const fs::path& target, const fs::path& shown) {
    if (::chmod(finished.c_str(), modeFor(target)) != 0 || ::rename(finished.c_str(), target.c_str()) != 0) {
        raiseFileError(errno, shown.string());
    }
}

}  // namespace

void replaceFile(const std::string& target, const std::function<void(const std::string& temporary)>& write,
                 const std::string& nameInErrors) {
    const fs::path targetPath(target);
    const fs::path shown(nameInErrors.empty() ? target : nameInErrors);
    requireTarget(targetPath, shown);
    removeOldLeftovers(targetPath);
    std::string temporary = (folderOf(targetPath) / ("." + targetPath.filename().string() + ".kbx-XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) raiseFileError(errno, shown.string());
    ::close(fd);
    try {
        write(temporary);
        syncFile(temporary, shown);
        renameOver(temporary, targetPath, shown);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    syncFolder(targetPath);
}

void replaceFileWith(const std::string& target, std::string_view content) {
    replaceFile(target, [&](const std::string& temporary) {
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0 || !writeAll(fd, content)) {
            const int error = errno;
            if (fd >= 0) ::close(fd);
            raiseFileError(error, target);
        }
        if (::close(fd) != 0) raiseFileError(errno, target);
    });
}

void moveIntoPlace(const std::string& finished, const std::string& target) {
    const fs::path targetPath(target);
    requireTarget(targetPath, targetPath);
    syncFile(finished, targetPath);
    renameOver(finished, targetPath, targetPath);
    syncFolder(targetPath);
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace kbx::files
