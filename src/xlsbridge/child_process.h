#pragma once
// Child processes of the bridge (the office and its UNO helper): started in
// a process group of their own, so that signals a terminal sends to the
// program never reach them and a stuck one is killed with everything it
// started.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kbx::xlsbridge {

struct ChildSetup {
    std::vector<std::string> args;  // args[0] is the program's full path
    // Environment variables set or replaced ("NAME=value").
    std::vector<std::string> environment;
    // Standard input and output: this descriptor, else /dev/null and `outputFile`.
    int stdioDescriptor = -1;
    std::filesystem::path outputFile;
};

// Starts the child as the leader of a new process group; raises 1004 when
// it cannot be started.
pid_t spawnChild(const ChildSetup& setup);

// Whether a child of this process has ended (its status in `status`). Where
// the program ignores SIGCHLD the system reaps children itself; the end is
// then seen by the pid going away, with status 0.
bool childEnded(pid_t pid, int& status);

// Kills the whole process group of a child of this process and reaps it.
void killChildGroup(pid_t pid);

// The start time of a process (clock ticks after boot), which tells a
// process from a later one with the same pid; nullopt when none runs.
std::optional<unsigned long long> processStartTime(pid_t pid);

// Whether `pid` runs (not a zombie) with `argument` among its arguments.
bool processRunsWith(pid_t pid, const std::string& argument);

// Kills every other process that runs with `argument` and waits (a moment
// at most) until they have gone.
void killProcessesRunningWith(const std::string& argument);

// The program's full path, or nullopt when it is not installed: a name is
// looked up in PATH, a path is taken as it is.
std::optional<std::filesystem::path> locateProgram(const std::string& program);

}  // namespace kbx::xlsbridge
