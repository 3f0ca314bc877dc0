#pragma once
// Helpers shared by the tests: temporary directories, environment guards, a
// message port that records, the independent reader (openpyxl) and the converter.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session/platform.h"
#include "value/runtime_error.h"
#include "value/variant.h"

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
// restores the default platform and clears the references at the end.
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

// Runs `body` and returns the run-time error it raised; number 0 and no text
// when it raised none.
template <typename Body>
RuntimeError errorOf(Body&& body) {
    try {
        body();
    } catch (const RuntimeError& e) {
        return e;
    }
    return RuntimeError(0, "");
}

// Whether LibreOffice's soffice is on PATH (conversions to and from .xls and .ods need it).
bool converterInstalled();

#define REQUIRE_CONVERTER() \
    if (!::kbx::test::converterInstalled()) GTEST_SKIP() << "soffice (LibreOffice Calc) is not installed"

// Whether a file starts with the compound-document signature of the 97-2003 format.
bool isOle2File(const std::string& path);
// Converts `files` with LibreOffice (a private profile) to `format` into `outDir`; false when it fails.
bool convertFiles(const std::string& format, const std::string& outDir, const std::vector<std::string>& files);
// Names in a directory, sorted.
std::vector<std::string> fileNames(const std::filesystem::path& dir);
// The bridge's LibreOffice processes (soffice.bin) whose profile lies in the cache folder `cacheHome`.
std::vector<pid_t> officeProcesses(const std::string& cacheHome);
// What such an office left behind after it ended: its profile lock, temporary
// files and record, its sockets, and links in /tmp into `runtimeDir`.
std::vector<std::string> officeLeftovers(const std::string& cacheHome, const std::string& runtimeDir);
// Copies the data file `name` into `dir` (as `as`, or under its own name) and returns the copy.
std::string copyData(const TempDir& dir, const std::string& name, std::string as = "");

// What the independent reader (support/read_back.py: openpyxl, LibreOffice for
// .xls and .ods) sees in a file, as "key" -> "value" facts; the script lists the keys.
class ReadBack {
public:
    // Formula cells read as their formulas ("=SUM(A1:A3)") or as the values stored with them.
    enum class Cells { Formulas, Computed };
    explicit ReadBack(const std::string& file, const std::vector<std::string>& parts = {},
                      Cells cells = Cells::Formulas);
    // The fact under `key`; "" when the reader printed none.
    std::string operator[](const std::string& key) const;
    bool has(const std::string& key) const { return facts_.count(key) != 0; }
    std::string value(const std::string& cell) const { return (*this)["value " + cell]; }
    // Values of a column of `sheet` from `row` down to the first empty cell.
    std::vector<std::string> column(const std::string& sheet, const std::string& letter, int row) const;
    // The pictures of a sheet as the reader describes them, sorted.
    std::vector<std::string> images(const std::string& sheet) const;
    // Number of facts whose key starts with `prefix`.
    size_t count(const std::string& prefix) const;
    const std::map<std::string, std::string>& facts() const { return facts_; }
    // Zip members whose bytes differ from `other`'s (or that `other` lacks).
    std::vector<std::string> changedParts(const ReadBack& other) const;
    // Checks "key=value" facts; an absent key reads as "".
    void expect(const std::vector<std::string>& facts) const;

private:
    std::map<std::string, std::string> facts_;
};

// A temporary directory that is also TEMP (log, working copies) and a recording platform.
struct MethodRun {
    PlatformGuard guard;
    TempDir dir;
    EnvGuard temp{"TEMP", dir.path().string()};
    // Texts of the messages shown so far.
    std::vector<std::string> messages() const;
    // Lines of the log without their prefix.
    std::vector<std::string> log() const;
};

// An array Variant of the given elements (lower bound 0).
Variant array(std::initializer_list<Variant> elements);

// Makes a file or directory unwritable for the guard's life: no write
// permission, and for root (who ignores modes) the immutable attribute as well.
class Unwritable {
public:
    explicit Unwritable(std::filesystem::path path);
    ~Unwritable();
    Unwritable(const Unwritable&) = delete;
    Unwritable& operator=(const Unwritable&) = delete;
    bool effective() const { return effective_; }

private:
    std::filesystem::path path_;
    bool immutable_ = false;
    bool effective_ = false;
};

// Waits until `done` holds, at most `seconds`; returns whether it does.
bool waitUntil(const std::function<bool()>& done, double seconds = 30);

}  // namespace kbx::test
