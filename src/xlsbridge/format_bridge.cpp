#include "xlsbridge/format_bridge.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "files/atomic_file.h"
#include "files/input_file.h"
#include "files/paths.h"
#include "value/runtime_error.h"

extern char** environ;

namespace kbx::xlsbridge {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDefaultProgram = "soffice";
constexpr std::chrono::seconds kDefaultTimeLimit{120};
constexpr const char* kXlsxFilter = "xlsx:Calc MS Excel 2007 XML";
constexpr const char* kXlsFilter = "xls:MS Excel 97";
constexpr const char* kOdsFilter = "ods:calc8";

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool isExecutableFile(const fs::path& file) {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(file.c_str(), X_OK) == 0;
}

// The converter's full path, or nullopt when it is not installed.
std::optional<fs::path> locateProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        if (isExecutableFile(program)) return fs::path(program);
        return std::nullopt;
    }
    const char* searchPath = std::getenv("PATH");
    std::stringstream dirs(searchPath != nullptr ? searchPath : "/usr/local/bin:/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const fs::path candidate = fs::path(dir.empty() ? "." : dir) / program;
        if (isExecutableFile(candidate)) return candidate;
    }
    return std::nullopt;
}

[[noreturn]] void raiseMissingConverter(const std::string& program, const std::string& file) {
    raise(err::Application, "Cannot convert \"" + file + "\": the program \"" + program +
                                "\" (LibreOffice Calc) is not installed. It is needed only for .xls and .ods workbooks "
                                "(Debian package libreoffice-calc-nogui); .xlsx workbooks work without it.");
}

// A new private directory "<parent>/<prefix>XXXXXX".
fs::path makeUniqueDirectory(const fs::path& parent, const std::string& prefix, const std::string& forFile) {
    std::string pattern = (parent / (prefix + "XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) raiseFileError(errno, forFile);
    return fs::path(buffer.data());
}

void removeTreeQuietly(const fs::path& dir) noexcept {
    std::error_code ec;
    fs::remove_all(dir, ec);
}

// A path as a file URL, with every byte outside the unreserved set encoded.
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

// Removes a working directory unless it was handed on (dir cleared).
struct DirectoryGuard {
    fs::path dir;
    ~DirectoryGuard() {
        if (!dir.empty()) removeTreeQuietly(dir);
    }
};

// The converter's profile directory of this process, made on first use and
// removed when the process ends.
class ProfileDirectory {
public:
    ~ProfileDirectory() {
        if (!path_.empty()) removeTreeQuietly(path_);
    }
    // Made anew when it has gone (someone cleaned the temporary directory).
    const fs::path& get() {
        std::error_code ec;
        if (path_.empty() || !fs::is_directory(path_, ec))
            path_ = makeUniqueDirectory(files::temporaryDirectory(), "kbx-soffice-profile-", "profile");
        return path_;
    }

private:
    fs::path path_;
};

ProfileDirectory& profileDirectory() {
    static ProfileDirectory profile;
    return profile;
}

struct ConverterRun {
    bool timedOut = false;
    int status = 0;
    std::string output;
};

std::string readWholeFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Starts the program in a process group of its own with standard input from
// /dev/null and both output streams into `outputFile`.
pid_t spawnInOwnGroup(const fs::path& program, const std::vector<std::string>& args, const fs::path& outputFile) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t defaultSignals;
    sigemptyset(&defaultSignals);
    sigaddset(&defaultSignals, SIGPIPE);
    sigaddset(&defaultSignals, SIGTERM);
    sigaddset(&defaultSignals, SIGINT);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &defaultSignals);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0)
        raise(err::Application, "Cannot start the converter \"" + program.string() + "\": " + std::strerror(rc));
    return pid;
}

// Whether the child has ended. Where the host process ignores SIGCHLD the
// system reaps children itself and waitpid reports ECHILD; the child's end is
// then seen by its pid going away, and its exit status is taken as 0 (the
// result file still has to be there).
bool childEnded(pid_t pid, int& status) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return true;
    if (done < 0 && errno == ECHILD) {
        status = 0;
        return ::kill(pid, 0) != 0 && errno == ESRCH;
    }
    return false;
}

// Waits for the process; past the deadline its whole group is killed.
ConverterRun waitWithTimeLimit(pid_t pid, std::chrono::seconds limit) {
    ConverterRun run;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (childEnded(pid, run.status)) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            run.timedOut = true;
            ::kill(-pid, SIGKILL);
            while (::waitpid(pid, &run.status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Helpers the converter may have left behind in its group go too.
    ::kill(-pid, SIGKILL);
    return run;
}

ConverterRun runConverter(const fs::path& program, const std::vector<std::string>& args, const fs::path& workDir) {
    const fs::path outputFile = workDir / "converter-output.txt";
    const pid_t pid = spawnInOwnGroup(program, args, outputFile);
    ConverterRun run = waitWithTimeLimit(pid, conversionTimeLimit());
    run.output = readWholeFile(outputFile);
    return run;
}

// The converter's last message that says something about the failure.
std::string converterMessage(const std::string& output) {
    std::stringstream lines(output);
    std::string line;
    std::string last;
    while (std::getline(lines, line)) {
        if (line.find("javaldx") != std::string::npos) continue;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        last = line;
    }
    return last;
}

std::string exitDescription(const ConverterRun& run) {
    if (run.timedOut)
        return "it did not finish within " + std::to_string(conversionTimeLimit().count()) + " s and was stopped";
    if (WIFSIGNALED(run.status)) return "it was ended by signal " + std::to_string(WTERMSIG(run.status));
    if (WIFEXITED(run.status) && WEXITSTATUS(run.status) != 0)
        return "it ended with exit code " + std::to_string(WEXITSTATUS(run.status));
    return "it wrote no result";
}

[[noreturn]] void raiseConversionFailed(const std::string& file, const std::string& what, const fs::path& program,
                                        const ConverterRun& run) {
    std::string text = "The conversion of \"" + file + "\" to " + what + " by \"" + program.string() +
                       "\" failed: " + exitDescription(run);
    const std::string message = converterMessage(run.output);
    if (!message.empty()) text += " (" + message + ")";
    raise(err::Application, text);
}

// Runs one conversion of `input` into `outDir` and returns the result file.
fs::path convertFile(const fs::path& input, const std::optional<std::string>& inputFilter,
                     const std::string& outputFilter, const std::string& outputExtension, const fs::path& outDir,
                     const fs::path& workDir, const std::string& userFile, const std::string& what) {
    const std::string programName = converterProgram();
    const std::optional<fs::path> program = locateProgram(programName);
    if (!program) raiseMissingConverter(programName, userFile);

    std::vector<std::string> args = {program->string(), "-env:UserInstallation=" + fileUrl(profileDirectory().get()),
                                     "--headless",      "--invisible",
                                     "--nologo",        "--norestore",
                                     "--nolockcheck"};
    if (inputFilter) args.push_back("--infilter=" + *inputFilter);
    args.insert(args.end(), {"--convert-to", outputFilter, "--outdir", outDir.string(), input.string()});

    const ConverterRun run = runConverter(*program, args, workDir);
    const fs::path result = outDir / (input.stem().string() + outputExtension);
    std::error_code ec;
    const bool written = fs::is_regular_file(result, ec) && fs::file_size(result, ec) > 0;
    const bool exitedCleanly = !run.timedOut && WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0;
    if (!written || !exitedCleanly) raiseConversionFailed(userFile, what, *program, run);
    return result;
}

const char* inputFilterFor(ForeignFormat format) { return format == ForeignFormat::Xls ? "MS Excel 97" : "calc8"; }

const char* extensionFor(ForeignFormat format) { return format == ForeignFormat::Xls ? ".xls" : ".ods"; }

}  // namespace

std::optional<ForeignFormat> foreignFormatOf(const std::string& path) {
    const std::string extension = lowerCase(fs::path(path).extension().string());
    if (extension == ".xls" || extension == ".xlt") return ForeignFormat::Xls;
    if (extension == ".ods") return ForeignFormat::Ods;
    return std::nullopt;
}

std::string converterProgram() {
    const char* program = std::getenv("KESTBOMEX_SOFFICE");
    return program != nullptr && *program != '\0' ? program : kDefaultProgram;
}

std::chrono::seconds conversionTimeLimit() {
    const char* text = std::getenv("KESTBOMEX_CONVERT_TIMEOUT");
    if (text == nullptr) return kDefaultTimeLimit;
    char* end = nullptr;
    const long seconds = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || seconds <= 0) return kDefaultTimeLimit;
    return std::chrono::seconds(std::min(seconds, 86400L));
}

TemporaryXlsx::TemporaryXlsx(fs::path directory, fs::path file)
    : directory_(std::move(directory)), file_(std::move(file)) {}

TemporaryXlsx::~TemporaryXlsx() { removeDirectory(); }

TemporaryXlsx::TemporaryXlsx(TemporaryXlsx&& other) noexcept
    : directory_(std::move(other.directory_)), file_(std::move(other.file_)) {
    other.directory_.clear();
    other.file_.clear();
}

TemporaryXlsx& TemporaryXlsx::operator=(TemporaryXlsx&& other) noexcept {
    if (this != &other) {
        removeDirectory();
        directory_ = std::move(other.directory_);
        file_ = std::move(other.file_);
        other.directory_.clear();
        other.file_.clear();
    }
    return *this;
}

void TemporaryXlsx::removeDirectory() noexcept {
    if (!directory_.empty()) removeTreeQuietly(directory_);
}

TemporaryXlsx convertToXlsx(const std::string& source) {
    const std::optional<ForeignFormat> format = foreignFormatOf(source);
    if (!format) raise(err::Application, "\"" + source + "\" is not an .xls or .ods workbook");
    // Read once as a regular file: a pipe or device never reaches the converter.
    const std::string content = files::readRegularFile(source, files::kMaxWorkbookFileBytes, "a workbook");

    const fs::path workDir = makeUniqueDirectory(files::temporaryDirectory(), "kbx-convert-", source);
    DirectoryGuard guard{workDir};
    // The converter works on a private copy: the user's file is never locked
    // or touched, and its name can never be taken for an option.
    const fs::path input = workDir / (std::string("workbook") + extensionFor(*format));
    files::replaceFileWith(input.string(), content);
    std::error_code ec;
    const fs::path outDir = workDir / "out";
    fs::create_directory(outDir, ec);
    if (ec) raiseFileError(ec.value(), outDir.string());

    const fs::path converted =
        convertFile(input, inputFilterFor(*format), kXlsxFilter, ".xlsx", outDir, workDir, source, "an .xlsx workbook");
    fs::remove(input, ec);
    guard.dir.clear();
    return TemporaryXlsx(workDir, converted);
}

void convertXlsxToXls(const std::string& source, const std::string& target) {
    convertXlsxTo(source, target, ForeignFormat::Xls);
}

void convertXlsxTo(const std::string& source, const std::string& target, ForeignFormat format) {
    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) raiseFileError(ENOENT, source);
    const fs::path targetPath = fs::absolute(target, ec);
    if (ec) raiseFileError(ec.value(), target);
    const fs::path targetDir = targetPath.parent_path();
    if (!fs::is_directory(targetDir, ec)) raise(err::PathNotFound, "Path not found: '" + targetDir.string() + "'");

    // The result is made in a hidden directory beside the target, so the final
    // rename stays on one file system and replaces the target in one step.
    const fs::path workDir = makeUniqueDirectory(targetDir, ".kbx-save-", target);
    DirectoryGuard guard{workDir};

    const fs::path input = workDir / "workbook.xlsx";
    if (!fs::copy_file(source, input, ec)) raiseFileError(ec.value(), source);
    const bool xls = format == ForeignFormat::Xls;
    const fs::path converted =
        convertFile(input, std::nullopt, xls ? kXlsFilter : kOdsFilter, extensionFor(format), workDir / "out", workDir,
                    target, xls ? "a 97-2003 workbook" : "an OpenDocument spreadsheet");
    files::moveIntoPlace(converted.string(), targetPath.string());
}

}  // namespace kbx::xlsbridge
