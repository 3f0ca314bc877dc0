#pragma once
// Where the warm office lives. Every program of this user that shares the
// cache folder shares one office, found through the files of its home:
//
//   $XDG_CACHE_HOME/kestbomex/libreoffice/     (default ~/.cache)
//     profile/   the office's profile, made on the first start and reused
//     tmp/       the office's temporary folder, made when it starts and
//                removed when it ends
//     lock       held (flock) by the program converting or starting or
//                ending the office: one conversion at a time
//     office     the running office: its owner, process group and pipe
//
// The office listens on a private pipe: a socket in a folder of this user's
// only ($XDG_RUNTIME_DIR/kestbomex/libreoffice-XXXXXX, without
// XDG_RUNTIME_DIR /tmp/OSL_PIPE_<uid>_kestbomex-XXXXXX). LibreOffice looks
// for pipes under /tmp as OSL_PIPE_<uid>_<name>, so a link of that name leads
// to the folder in the runtime directory.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kbx::xlsbridge {

// A path as a file URL, with every byte outside the unreserved set encoded.
std::string fileUrl(const std::filesystem::path& path);

// The running office as its owner recorded it.
struct OfficeRecord {
    pid_t owner = 0;
    unsigned long long ownerStart = 0;
    pid_t group = 0;   // the office's process group (its first process)
    std::string pipe;  // the name to connect to ("kestbomex-XXXXXX/uno")
    std::filesystem::path socketFolder;
    std::filesystem::path link;       // empty when the folder itself is under /tmp
    std::filesystem::path ipcSocket;  // the office's own single-instance socket
};

class OfficeHome {
public:
    // The home for this program's environment; made (0700) when missing.
    // Raises 1004 naming `forFile` when it cannot be made.
    explicit OfficeHome(const std::string& forFile);

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path profile() const { return folder_ / "profile"; }
    std::filesystem::path temporaryFolder() const { return folder_ / "tmp"; }
    std::filesystem::path lockFile() const { return folder_ / "lock"; }
    std::string profileUrl() const { return fileUrl(profile()); }

    std::optional<OfficeRecord> readRecord() const;
    void writeRecord(const OfficeRecord& record) const;
    // When any program last converted with the office (the record's time).
    std::optional<std::chrono::system_clock::time_point> lastUse() const;
    void markUsed() const;

    // A new private socket folder with its link: fills pipe, socketFolder, link.
    void makeSocketFolder(OfficeRecord& record, const std::string& forFile) const;
    // What an office may leave behind when it is killed, in the order they are
    // removed: its socket and socket folder, the link, its single-instance
    // socket, the profile's lock, the contents of its temporary folder, the record.
    std::vector<std::filesystem::path> leftovers(const OfficeRecord& record) const;
    void removeLeftovers(const OfficeRecord& record) const;

private:
    std::filesystem::path folder_;
};

// Holds an exclusive flock on a file until destroyed.
class FileLock {
public:
    // Waits for the lock until `deadline`; locked() tells whether it was taken.
    FileLock(const std::filesystem::path& file, std::chrono::steady_clock::time_point deadline);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return locked_; }

private:
    int fd_ = -1;
    bool locked_ = false;
};

}  // namespace kbx::xlsbridge
