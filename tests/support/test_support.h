#pragma once
// Helpers shared by the tests: temporary directories, environment guards, a
// message port that records, and running the independent reader (openpyxl).

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session/platform.h"
#include "value/runtime_error.h"

namespace kbx::test {

// A fresh directory under the system's temporary directory, removed at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Sets an environment variable (or unsets it with nullopt) for the guard's life.
class EnvGuard {
public:
    EnvGuard(std::string name, std::optional<std::string> value);
    ~EnvGuard();
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

struct ShownMessage {
    std::string text;
    std::string caption;
    session::MessageIcon icon;
};

// Records every message instead of showing it.
class RecordingMessagePort : public session::MessagePort {
public:
    void Show(const std::string& text, const std::string& caption, session::MessageIcon icon) override {
        shown.push_back({text, caption, icon});
    }
    std::vector<ShownMessage> shown;
};

// Installs a recording message port and clears the process-wide references;
// restores the default platform and clears the references at the end, freeing
// the engine applications nobody holds any more.
class PlatformGuard {
public:
    PlatformGuard();
    ~PlatformGuard();
    PlatformGuard(const PlatformGuard&) = delete;
    PlatformGuard& operator=(const PlatformGuard&) = delete;
    std::shared_ptr<RecordingMessagePort> messages;
};

// Reads a whole file; empty when it does not exist.
std::string readFile(const std::string& path);
// Lines of a text file without their line ends.
std::vector<std::string> readLines(const std::string& path);

// Runs /usr/bin/python3 with a script and arguments; returns standard output.
// A failing script fails the calling test with its standard error.
std::string runPython(const std::string& script, const std::vector<std::string>& args = {});

// Path of a committed test data file (tests/data/...).
std::string dataFile(const std::string& name);

// Runs `body` and returns the run-time error it raised; fails the test when none is raised.
template <typename Body>
RuntimeError errorOf(Body&& body) {
    try {
        body();
    } catch (const RuntimeError& e) {
        return e;
    }
    ADD_FAILURE() << "no run-time error was raised";
    return RuntimeError(0, "");
}

// Whether LibreOffice's soffice is on PATH (conversions to and from .xls and .ods need it).
bool converterInstalled();

#define REQUIRE_CONVERTER() \
    if (!::kbx::test::converterInstalled()) GTEST_SKIP() << "soffice (LibreOffice Calc) is not installed"

}  // namespace kbx::test
