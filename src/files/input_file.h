#pragma once
// Files read as input (templates, workbooks, pictures, BOM files): only
// regular files are read, a named pipe or device never blocks the call, and
// every file read whole has a size limit. Errors name the file as given.

#include <cstdint>
#include <string>
#include <string_view>

namespace kbx::files {

// The largest files read whole.
inline constexpr uint64_t kMaxWorkbookFileBytes = 1024ull << 20;
inline constexpr uint64_t kMaxPictureFileBytes = 256ull << 20;
inline constexpr uint64_t kMaxBomFileBytes = 256ull << 20;

enum class Links { Follow, Refuse };

// An open file descriptor, closed when the handle ends.
class FileHandle {
public:
    explicit FileHandle(int fd = -1) : fd_(fd) {}
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept : fd_(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int fd() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Opens `path` for reading when it is a regular file. A folder, named pipe,
// device or socket is refused (error 75 naming the path and what it is)
// without waiting on it; with Links::Refuse a symbolic link is refused too.
FileHandle openRegularFile(const std::string& path, Links links = Links::Follow);

// The whole content of a regular file of at most `maxBytes`; a larger one is
// refused with error 75 naming the path, the limit and `what` the file was
// meant to be ("picture", "workbook").
std::string readRegularFile(const std::string& path, uint64_t maxBytes, std::string_view what);

// What a file of this mode is, for messages ("a folder", "a named pipe", ...).
std::string_view fileKindName(unsigned mode);

// The full name of `file` (relative names against the working folder),
// without "." and ".." steps. An empty name raises error 52.
std::string absoluteFileName(const std::string& file);

// Removes a file (or link) at `path` if there is one; a folder is never
// removed. Never raises.
void removeFileIgnoringErrors(const std::string& path);

}  // namespace kbx::files
