#include "xlsbridge/office_home.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "files/atomic_file.h"
#include "value/runtime_error.h"

namespace kbx::xlsbridge {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void raiseFolderError(const fs::path& folder, int error, const std::string& forFile) {
    raise(err::Application, "Cannot convert \"" + forFile + "\": the folder \"" + folder.string() +
                                "\" for LibreOffice cannot be made or used (" + std::strerror(error) + ").");
}

bool isOwnFolder(const fs::path& folder) {
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

// A folder of this user's only (0700), made when missing.
void makePrivateFolder(const fs::path& folder, const std::string& forFile) {
    std::error_code ec;
    fs::create_directories(folder.parent_path(), ec);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) raiseFolderError(folder, errno, forFile);
    if (!isOwnFolder(folder)) raiseFolderError(folder, EPERM, forFile);
    if (::chmod(folder.c_str(), 0700) != 0) raiseFolderError(folder, errno, forFile);
}

fs::path cacheFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && cache[0] == '/') return cache;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return fs::path(home) / ".cache";
    const passwd* user = ::getpwuid(::getuid());
    return fs::path(user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "/") / ".cache";
}

// $XDG_RUNTIME_DIR when it is a folder of this user's.
std::optional<fs::path> runtimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || runtime[0] != '/' || !isOwnFolder(runtime)) return std::nullopt;
    return fs::path(runtime);
}

// Where LibreOffice puts its pipes.
fs::path pipeFolder() { return ::access("/tmp", W_OK) == 0 ? "/tmp" : "/var/tmp"; }

std::string pipePrefix() { return "OSL_PIPE_" + std::to_string(::getuid()) + "_kestbomex-"; }

fs::path makeUniqueFolder(const fs::path& pattern, const std::string& forFile) {
    std::string buffer = pattern.string();
    if (::mkdtemp(buffer.data()) == nullptr) raiseFolderError(pattern.parent_path(), errno, forFile);
    return buffer;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

fs::path pathOfUrl(const std::string& url) {
    std::string path;
    for (std::size_t i = url.starts_with("file://") ? 7 : 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() && hexDigit(url[i + 1]) >= 0 && hexDigit(url[i + 2]) >= 0) {
            path += static_cast<char>(hexDigit(url[i + 1]) * 16 + hexDigit(url[i + 2]));
            i += 2;
        } else {
            path += url[i];
        }
    }
    return path;
}

std::string urlOrEmpty(const fs::path& path) { return path.empty() ? "-" : fileUrl(path); }
fs::path pathOrEmpty(const std::string& url) { return url == "-" ? fs::path() : pathOfUrl(url); }

bool isOwn(const fs::path& file, mode_t type) {
    struct stat info {};
    return ::lstat(file.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == type && info.st_uid == ::geteuid();
}

}  // namespace

std::string fileUrl(const fs::path& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path.string()) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 0xF];
        }
    }
    return url;
}

OfficeHome::OfficeHome(const std::string& forFile) : folder_(cacheFolder() / "kestbomex" / "libreoffice") {
    makePrivateFolder(folder_.parent_path(), forFile);
    makePrivateFolder(folder_, forFile);
}

std::optional<OfficeRecord> OfficeHome::readRecord() const {
    std::ifstream in(folder_ / "office");
    OfficeRecord record;
    std::string key, socketFolder, link, ipcSocket;
    if (!(in >> key >> record.owner >> record.ownerStart) || key != "owner") return std::nullopt;
    if (!(in >> key >> record.group) || key != "group") return std::nullopt;
    if (!(in >> key >> record.pipe >> socketFolder >> link >> ipcSocket) || key != "pipe") return std::nullopt;
    if (record.owner <= 0 || record.group <= 0) return std::nullopt;
    record.socketFolder = pathOfUrl(socketFolder);
    record.link = pathOrEmpty(link);
    record.ipcSocket = pathOrEmpty(ipcSocket);
    return record;
}

void OfficeHome::writeRecord(const OfficeRecord& record) const {
    std::ostringstream out;
    out << "owner " << record.owner << ' ' << record.ownerStart << "\ngroup " << record.group << "\npipe "
        << record.pipe << ' ' << fileUrl(record.socketFolder) << ' ' << urlOrEmpty(record.link) << ' '
        << urlOrEmpty(record.ipcSocket) << '\n';
    files::replaceFileWith((folder_ / "office").string(), out.str());
}

std::optional<std::chrono::system_clock::time_point> OfficeHome::lastUse() const {
    struct stat info {};
    if (::stat((folder_ / "office").c_str(), &info) != 0) return std::nullopt;
    return std::chrono::system_clock::time_point(std::chrono::seconds(info.st_mtim.tv_sec) +
                                                 std::chrono::nanoseconds(info.st_mtim.tv_nsec));
}

void OfficeHome::markUsed() const { ::utimensat(AT_FDCWD, (folder_ / "office").c_str(), nullptr, 0); }

void OfficeHome::makeSocketFolder(OfficeRecord& record, const std::string& forFile) const {
    const std::optional<fs::path> runtime = runtimeFolder();
    if (!runtime) {
        record.socketFolder = makeUniqueFolder(pipeFolder() / (pipePrefix() + "XXXXXX"), forFile);
        record.link.clear();
    } else {
        makePrivateFolder(*runtime / "kestbomex", forFile);
        for (;;) {
            record.socketFolder = makeUniqueFolder(*runtime / "kestbomex" / "libreoffice-XXXXXX", forFile);
            const std::string unique = record.socketFolder.filename().string().substr(12);
            record.link = pipeFolder() / (pipePrefix() + unique);
            if (::symlink(record.socketFolder.c_str(), record.link.c_str()) == 0) break;
            const int error = errno;
            ::rmdir(record.socketFolder.c_str());
            if (error != EEXIST) raiseFolderError(record.link.parent_path(), error, forFile);
        }
    }
    const std::string name = (record.link.empty() ? record.socketFolder : record.link).filename().string();
    record.pipe = name.substr(name.find("kestbomex-")) + "/uno";
}

std::vector<fs::path> OfficeHome::leftovers(const OfficeRecord& record) const {
    std::vector<fs::path> files{record.socketFolder / "uno", record.socketFolder};
    if (!record.link.empty()) files.push_back(record.link);
    if (!record.ipcSocket.empty()) files.push_back(record.ipcSocket);
    files.insert(files.end(), {profile() / ".lock", temporaryFolder(), folder_ / "office"});
    return files;
}

void OfficeHome::removeLeftovers(const OfficeRecord& record) const {
    std::error_code ec;
    for (const fs::path& file : leftovers(record)) {
        if (file == record.link || file == record.ipcSocket) {
            // In the shared /tmp: only what is this user's, of the kind it was made.
            if (!isOwn(file, file == record.link ? S_IFLNK : S_IFSOCK)) continue;
        }
        fs::remove_all(file, ec);
    }
}

FileLock::FileLock(const fs::path& file, std::chrono::steady_clock::time_point deadline)
    : fd_(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
    while (fd_ >= 0) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            locked_ = true;
            return;
        }
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace kbx::xlsbridge
