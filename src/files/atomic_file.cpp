#include "files/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "value/runtime_error.h"

namespace kbx::files {

namespace {

namespace fs = std::filesystem;

fs::path folderOf(const fs::path& target) { return target.has_parent_path() ? target.parent_path() : "."; }

void requireFolder(const fs::path& target) {
    std::error_code ec;
    const fs::path dir = folderOf(target);
    if (!fs::is_directory(dir, ec)) raise(err::PathNotFound, "Path not found: '" + dir.string() + "'");
}

// The target's permission bits, or those a new file gets.
mode_t modeFor(const fs::path& target) {
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) return info.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void syncFile(const fs::path& file, const fs::path& target) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        raiseFileError(error, target.string());
    }
    ::close(fd);
}

void syncFolder(const fs::path& target) {
    const int fd = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // the rename is done; a folder we cannot open is only not synced
    ::fsync(fd);
    ::close(fd);
}

void renameOver(const fs::path& finished, const fs::path& target) {
    if (::chmod(finished.c_str(), modeFor(target)) != 0 || ::rename(finished.c_str(), target.c_str()) != 0) {
        raiseFileError(errno, target.string());
    }
}

}  // namespace

void replaceFile(const std::string& target, const std::function<void(const std::string& temporary)>& write) {
    const fs::path targetPath(target);
    requireFolder(targetPath);
    std::string temporary = (folderOf(targetPath) / ("." + targetPath.filename().string() + ".kbx-XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) raiseFileError(errno, target);
    ::close(fd);
    try {
        write(temporary);
        syncFile(temporary, targetPath);
        renameOver(temporary, targetPath);
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
    requireFolder(targetPath);
    syncFile(finished, targetPath);
    renameOver(finished, targetPath);
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
