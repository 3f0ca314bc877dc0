#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "engine/engine.h"
#include "session/excel_references.h"

namespace kbx::test {

TempDir::TempDir() {
    std::random_device rd;
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate =
            base / ("kbx-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

EnvGuard::EnvGuard(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    if (const char* current = std::getenv(name_.c_str())) old_ = current;
    if (value)
        ::setenv(name_.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

EnvGuard::~EnvGuard() {
    if (old_)
        ::setenv(name_.c_str(), old_->c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

namespace {

// Every test program runs the methods on the embedded engine, as the programs do.
const bool kEngineInstalled = [] {
    session::installSpreadsheet(createEngineApplication, closeUnreachableEngineApplications);
    return true;
}();

}  // namespace

PlatformGuard::PlatformGuard() : messages(std::make_shared<RecordingMessagePort>()) {
    session::resetPlatform();
    session::platform().messages = messages;
    session::excelReferences() = {};
}

PlatformGuard::~PlatformGuard() {
    session::excelReferences() = {};
    // As after a method: engine applications that nothing holds any more are
    // freed with their open workbooks, which otherwise hold them forever.
    closeUnreachableEngineApplications();
    session::resetPlatform();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::string runPython(const std::string& script, const std::vector<std::string>& args) {
    TempDir dir;
    const std::string scriptPath = dir.file("script.py");
    std::ofstream(scriptPath) << script;
    std::string command = "/usr/bin/python3 '" + scriptPath + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " 2>'" + dir.file("stderr.txt") + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run python3";
        return {};
    }
    std::string output;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) output.append(buf.data(), n);
    const int status = ::pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "python script failed:\n" << readFile(dir.file("stderr.txt"));
    }
    return output;
}

std::string dataFile(const std::string& name) { return std::string(KBX_TEST_DATA_DIR) + "/" + name; }

bool converterInstalled() { return std::system("command -v soffice >/dev/null 2>&1") == 0; }

}  // namespace kbx::test
