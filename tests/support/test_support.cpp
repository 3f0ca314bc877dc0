#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "engine/engine.h"
#include "log/write_log.h"
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
    session::installSpreadsheet(engine::createApplication);
    return true;
}();

// The converter's profile of the test program's own conversions, made before
// any test points TEMP elsewhere.
const TempDir& converterProfile() {
    static const TempDir profile;
    ::setenv("KBX_TEST_SOFFICE_PROFILE", profile.path().c_str(), 1);
    return profile;
}
const TempDir& kConverterProfile = converterProfile();

// The program's own cache, runtime and home folders, so that test programs
// running at once never share the bridge's LibreOffice.
const TempDir& privateHome() {
    static const TempDir home;
    for (const char* name : {"cache", "runtime"}) std::filesystem::create_directory(home.path() / name);
    std::filesystem::permissions(home.path() / "runtime", std::filesystem::perms::owner_all);
    ::setenv("XDG_CACHE_HOME", home.file("cache").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", home.file("runtime").c_str(), 1);
    ::setenv("HOME", home.path().c_str(), 1);
    return home;
}
const TempDir& kPrivateHome = privateHome();

}  // namespace

PlatformGuard::PlatformGuard() : messages(std::make_shared<RecordingMessagePort>()) {
    session::resetPlatform();
    session::platform().messages = messages;
    session::excelReferences() = {};
}

PlatformGuard::~PlatformGuard() {
    session::excelReferences() = {};
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

bool isOle2File(const std::string& path) {
    return readFile(path).rfind(std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8), 0) == 0;
}

bool convertFiles(const std::string& format, const std::string& outDir, const std::vector<std::string>& files) {
    std::string command = "timeout 300 soffice -env:UserInstallation=file://" + kConverterProfile.path().string() +
                          " --headless --norestore --convert-to " + format + " --outdir '" + outDir + "'";
    for (const std::string& f : files) command += " '" + f + "'";
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<std::string> fileNames(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<pid_t> officeProcesses(const std::string& cacheHome) {
    const std::string profile = "-env:UserInstallation=file://" + cacheHome + "/kestbomex/libreoffice/profile";
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string proc = entry.path().string();
        std::vector<std::string> args;
        std::istringstream cmdline(readFile(proc + "/cmdline"));
        for (std::string arg; std::getline(cmdline, arg, '\0');) args.push_back(arg);
        const std::string stat = readFile(proc + "/stat");
        if (args.empty() || !args[0].ends_with("soffice.bin") || stat.find(") Z") != std::string::npos) continue;
        if (std::find(args.begin(), args.end(), profile) != args.end())
            found.push_back(std::stoi(entry.path().filename()));
    }
    return found;
}

std::vector<std::string> officeLeftovers(const std::string& cacheHome, const std::string& runtimeDir) {
    namespace fs = std::filesystem;
    const fs::path home = fs::path(cacheHome) / "kestbomex" / "libreoffice";
    std::vector<std::string> left;
    const auto add = [&](const fs::path& dir, auto keep) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir, ec))
            if (!keep(entry.path())) left.push_back(entry.path().string());
    };
    add(home, [](const fs::path& p) { return p.filename() == "lock" || p.filename() == "profile"; });
    add(home / "profile", [](const fs::path& p) { return p.filename() != ".lock"; });
    add(fs::path(runtimeDir) / "kestbomex", [](const fs::path&) { return false; });
    const std::string ipc = runPython(
        "import hashlib, os, sys\n"
        "d = hashlib.md5(('file://' + sys.argv[1]).encode('utf-16-le')).digest()\n"
        "print('OSL_PIPE_%d_SingleOfficeIPC_%s' % (os.getuid(), ''.join('%x' % b for b in d)), end='')\n",
        {(home / "profile").string()});
    add("/tmp", [&](const fs::path& p) {
        std::error_code ec;
        return p.filename() != ipc && !fs::read_symlink(p, ec).string().starts_with(runtimeDir);
    });
    return left;
}

std::string copyData(const TempDir& dir, const std::string& name, std::string as) {
    if (as.empty()) as = std::filesystem::path(name).filename().string();
    std::filesystem::copy_file(dataFile(name), dir.file(as), std::filesystem::copy_options::overwrite_existing);
    return dir.file(as);
}

ReadBack::ReadBack(const std::string& file, const std::vector<std::string>& parts, Cells cells) {
    std::vector<std::string> args{file};
    if (cells == Cells::Computed) args.insert(args.begin(), "--computed");
    args.insert(args.end(), parts.begin(), parts.end());
    std::istringstream lines(runPython(readFile(std::string(KBX_SOURCE_DIR) + "/tests/support/read_back.py"), args));
    for (std::string line; std::getline(lines, line);) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) facts_[line.substr(0, tab)] = line.substr(tab + 1);
    }
}

std::string ReadBack::operator[](const std::string& key) const {
    const auto found = facts_.find(key);
    return found == facts_.end() ? std::string() : found->second;
}

std::vector<std::string> ReadBack::column(const std::string& sheet, const std::string& letter, int row) const {
    std::vector<std::string> values;
    for (; has("value " + sheet + "!" + letter + std::to_string(row)); ++row)
        values.push_back(value(sheet + "!" + letter + std::to_string(row)));
    return values;
}

std::vector<std::string> ReadBack::images(const std::string& sheet) const {
    std::vector<std::string> found;
    for (const auto& [key, description] : facts_)
        if (key.starts_with("image " + sheet + "#")) found.push_back(description);
    std::sort(found.begin(), found.end());
    return found;
}

size_t ReadBack::count(const std::string& prefix) const {
    return std::count_if(facts_.begin(), facts_.end(),
                         [&](const auto& fact) { return fact.first.starts_with(prefix); });
}

std::vector<std::string> ReadBack::changedParts(const ReadBack& other) const {
    std::vector<std::string> changed;
    for (const auto& [key, hash] : facts_)
        if (key.starts_with("part ") && other[key] != hash) changed.push_back(key.substr(5));
    return changed;
}

void ReadBack::expect(const std::vector<std::string>& facts) const {
    for (const std::string& fact : facts) {
        const size_t eq = fact.find('=');
        EXPECT_EQ((*this)[fact.substr(0, eq)], fact.substr(eq + 1)) << fact.substr(0, eq);
    }
}

std::vector<std::string> MethodRun::messages() const {
    std::vector<std::string> texts;
    for (const ShownMessage& shown : guard.messages->shown) texts.push_back(shown.text);
    return texts;
}

std::vector<std::string> MethodRun::log() const {
    std::vector<std::string> lines = readLines(dir.file(kLogFileName));
    for (std::string& line : lines)
        if (line.starts_with(kLogPrefix)) line.erase(0, std::string(kLogPrefix).size());
    return lines;
}

Variant array(std::initializer_list<Variant> elements) { return Variant::array(std::vector<Variant>(elements)); }

Unwritable::Unwritable(std::filesystem::path path) : path_(std::move(path)) {
    std::filesystem::permissions(path_,
                                 std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    if (::geteuid() == 0) immutable_ = std::system(("chattr +i '" + path_.string() + "' 2>/dev/null").c_str()) == 0;
    effective_ = ::geteuid() != 0 || immutable_;
}

Unwritable::~Unwritable() {
    if (immutable_ && std::system(("chattr -i '" + path_.string() + "'").c_str()) != 0) ADD_FAILURE() << "chattr -i";
    std::filesystem::permissions(path_, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
}

bool waitUntil(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the poll interval, not a guess
    }
    return true;
}

}  // namespace kbx::test
