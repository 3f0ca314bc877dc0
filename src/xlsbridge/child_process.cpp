#include "xlsbridge/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "value/runtime_error.h"

extern char** environ;

namespace kbx::xlsbridge {

namespace fs = std::filesystem;

namespace {

bool isExecutableFile(const fs::path& file) {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(file.c_str(), X_OK) == 0;
}

// This process's environment with `changes` ("NAME=value") set or replaced.
std::vector<std::string> environmentWith(const std::vector<std::string>& changes) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view variable(*entry);
        const std::string_view name = variable.substr(0, variable.find('='));
        bool replaced = false;
        for (const std::string& change : changes) replaced = replaced || change.starts_with(std::string(name) + "=");
        if (!replaced) result.emplace_back(variable);
    }
    result.insert(result.end(), changes.begin(), changes.end());
    return result;
}

// A file of /proc read whole; empty when the process has gone meanwhile
// (read with the system's calls: a stream would throw on that error).
std::string readProcFile(const std::string& path) {
    std::string content;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return content;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            content.clear();
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

void addStandardStreams(posix_spawn_file_actions_t& actions, const ChildSetup& setup) {
    if (setup.stdioDescriptor >= 0) {
        posix_spawn_file_actions_adddup2(&actions, setup.stdioDescriptor, STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, setup.stdioDescriptor, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, setup.outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
}

}  // namespace

pid_t spawnChild(const ChildSetup& setup) {
    std::vector<std::string> args = setup.args;
    std::vector<std::string> environment = environmentWith(setup.environment);
    std::vector<char*> argv = pointersTo(args);
    std::vector<char*> envp = pointersTo(environment);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    addStandardStreams(actions, setup);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t defaultSignals;
    sigemptyset(&defaultSignals);
    for (int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD}) sigaddset(&defaultSignals, signal);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &defaultSignals);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) raise(err::Application, "Cannot start \"" + setup.args.at(0) + "\": " + std::strerror(rc));
    return pid;
}

bool childEnded(pid_t pid, int& status) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return true;
    if (done < 0 && errno == ECHILD) {
        status = 0;
        return ::kill(pid, 0) != 0 && errno == ESRCH;
    }
    return false;
}

void killChildGroup(pid_t pid) {
    if (pid <= 0) return;
    ::kill(-pid, SIGKILL);
    int status = 0;
    for (int i = 0; i < 500 && !childEnded(pid, status); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(-pid, SIGKILL);  // what the leader started on its way out
}

std::optional<unsigned long long> processStartTime(pid_t pid) {
    const std::string stat = readProcFile("/proc/" + std::to_string(pid) + "/stat");
    // "pid (name) state ppid ..." - the name may hold blanks and parentheses.
    const std::size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos) return std::nullopt;
    std::istringstream fields(stat.substr(nameEnd + 2));
    std::string state, field;
    fields >> state;
    if (state == "Z" || state == "X") return std::nullopt;
    for (int i = 4; i < 22 && fields >> field; ++i) {
    }
    unsigned long long start = 0;
    if (!(fields >> start)) return std::nullopt;
    return start;
}

bool processRunsWith(pid_t pid, const std::string& argument) {
    if (pid <= 0 || !processStartTime(pid)) return false;
    std::istringstream args(readProcFile("/proc/" + std::to_string(pid) + "/cmdline"));
    for (std::string arg; std::getline(args, arg, '\0');)
        if (arg == argument) return true;
    return false;
}

void killProcessesRunningWith(const std::string& argument) {
    const auto sweep = [&] {
        bool found = false;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/proc", ec)) {
            const std::string name = entry.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            const pid_t pid = static_cast<pid_t>(std::stol(name));
            if (pid != ::getpid() && processRunsWith(pid, argument)) {
                ::kill(pid, SIGKILL);
                found = true;
            }
        }
        return found;
    };
    for (int i = 0; i < 100 && sweep(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

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

}  // namespace kbx::xlsbridge
