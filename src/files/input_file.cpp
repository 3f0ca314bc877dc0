#include "files/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "value/runtime_error.h"

namespace kbx::files {

namespace {

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
    raise(err::PathFileAccessError, standardErrorText(err::PathFileAccessError) + ": '" + path + "' " + why);
}

[[noreturn]] void refuseKind(const std::string& path, mode_t mode) {
    refuse(path, "is " + std::string(fileKindName(mode)) + ", not a regular file");
}

[[noreturn]] void raiseEmptyName() {
    raise(err::BadFileNameOrNumber, standardErrorText(err::BadFileNameOrNumber) + ": the file name is empty");
}

std::string megabytes(uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

}  // namespace

FileHandle::~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

std::string_view fileKindName(unsigned mode) {
    switch (mode & S_IFMT) {
        case S_IFREG:
            return "a regular file";
        case S_IFDIR:
            return "a folder";
        case S_IFIFO:
            return "a named pipe";
        case S_IFCHR:
            return "a character device";
        case S_IFBLK:
            return "a block device";
        case S_IFSOCK:
            return "a socket";
        case S_IFLNK:
            return "a symbolic link";
        default:
            return "not a regular file";
    }
}

FileHandle openRegularFile(const std::string& path, Links links) {
    if (path.empty()) raiseEmptyName();
    // A look before opening keeps devices from being opened at all; the look
    // at the open file afterwards settles a file swapped in between.
    struct stat info {};
    const int looked = links == Links::Follow ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
    if (looked != 0) {
        if (errno == ENOENT) raise(err::FileNotFound, standardErrorText(err::FileNotFound) + ": '" + path + "'");
        raiseFileError(errno, path);
    }
    if (!S_ISREG(info.st_mode)) refuseKind(path, info.st_mode);

    const int noFollow = links == Links::Refuse ? O_NOFOLLOW : 0;
    FileHandle file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | noFollow));
    if (file.fd() < 0) {
        if (errno == ELOOP && links == Links::Refuse) refuseKind(path, S_IFLNK);
        raiseFileError(errno, path);
    }
    if (::fstat(file.fd(), &info) != 0) raiseFileError(errno, path);
    if (!S_ISREG(info.st_mode)) refuseKind(path, info.st_mode);
    const int flags = ::fcntl(file.fd(), F_GETFL);
    if (flags >= 0) ::fcntl(file.fd(), F_SETFL, flags & ~O_NONBLOCK);
    return file;
}

std::string readRegularFile(const std::string& path, uint64_t maxBytes, std::string_view what) {
    const FileHandle file = openRegularFile(path);
    struct stat info {};
    if (::fstat(file.fd(), &info) != 0) raiseFileError(errno, path);
    const auto tooLarge = [&] {
        refuse(path, "is larger than the " + megabytes(maxBytes) + " allowed for " + std::string(what));
    };
    if (static_cast<uint64_t>(info.st_size) > maxBytes) tooLarge();
    std::string content;
    content.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.fd(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            raiseFileError(errno, path);
        }
        if (n == 0) break;
        // The file may grow while it is read.
        if (content.size() + static_cast<size_t>(n) > maxBytes) tooLarge();
        content.append(buffer, static_cast<size_t>(n));
    }
    return content;
}

std::string absoluteFileName(const std::string& file) {
    if (file.empty()) raiseEmptyName();
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(file, ec);
    if (ec) raiseFileError(ec.value(), file);
    return full.lexically_normal().string();
}

void removeFileIgnoringErrors(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return;
    ::unlink(path.c_str());
}

}  // namespace kbx::files
