#include "xlsbridge/warm_office.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "value/runtime_error.h"
#include "xlsbridge/child_process.h"
#include "xlsbridge/format_bridge.h"
#include "xlsbridge/office_home.h"
#include "xlsbridge/uno_helper.h"

namespace kbx::xlsbridge {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
using Answer = UnoHelper::Answer;
using Outcome = UnoHelper::Outcome;

// How long an office that was asked to end may take before it is killed.
constexpr std::chrono::seconds kEndingTime{10};
// How long the helper may take for a request that does not wait for the office.
constexpr std::chrono::seconds kHelperTime{30};

std::string profileArgument(const OfficeHome& home) { return "-env:UserInstallation=" + home.profileUrl(); }

// The office's last output line that says something.
std::string lastMessage(const fs::path& outputFile) {
    std::ifstream in(outputFile);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        if (line.find("javaldx") != std::string::npos) continue;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        last = line;
    }
    return last;
}

std::string exitDescription(int status) {
    if (WIFSIGNALED(status)) return "it was ended by signal " + std::to_string(WTERMSIG(status));
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        return "it ended with exit code " + std::to_string(WEXITSTATUS(status));
    return "it ended before it took a conversion";
}

[[noreturn]] void raiseConversionError(const Conversion& c, const fs::path& program, const std::string& what) {
    raise(err::Application,
          "The conversion of \"" + c.userFile + "\" to " + c.what + " by \"" + program.string() + "\" " + what);
}

bool ownerRuns(const OfficeRecord& record) { return processStartTime(record.owner) == record.ownerStart; }

// A start that failed because the office ended on its way up: worth one more try.
struct OfficeEnded {
    std::string why;
};

class WarmOffice {
public:
    static WarmOffice& instance() {
        static WarmOffice office;
        return office;
    }
    ~WarmOffice();
    void convert(const Conversion& c, const fs::path& program);
    void endWhenIdle(std::chrono::seconds idle);
    void end();

private:
    OfficeRecord officeToUse(const OfficeHome& home, const fs::path& program, const Conversion& c);
    OfficeRecord start(const OfficeHome& home, const fs::path& program, const Conversion& c);
    // Ends an office that did not start (`ended`: it has ended and been reaped).
    void abandon(const OfficeHome& home, const OfficeRecord& office, bool ended);
    bool running(const OfficeRecord& office, const OfficeHome& home) const {
        return processRunsWith(office.group, profileArgument(home));
    }
    void discard(const OfficeHome& home, const OfficeRecord& office);
    // Ends the office this program started; the caller holds the home's lock.
    void stopOwn(const OfficeHome& home);
    void watchIdle();

    std::mutex mutex_;
    UnoHelper helper_;
    pid_t own_ = 0;  // the office this program started, 0 when none
    std::chrono::seconds idleLimit_{0};
    bool ending_ = false;
    std::condition_variable wake_;
    std::thread idleWatch_;
};

WarmOffice::~WarmOffice() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    if (idleWatch_.joinable()) idleWatch_.join();
    end();
}

void WarmOffice::convert(const Conversion& c, const fs::path& program) {
    std::lock_guard<std::mutex> lock(mutex_);
    const OfficeHome home(c.userFile);
    const std::chrono::seconds limit = conversionTimeLimit();
    // Another program's turn lasts at most a start and a conversion.
    const std::chrono::seconds turnWait = 2 * limit + std::chrono::seconds(10);
    const FileLock turn(home.lockFile(), Clock::now() + turnWait);
    if (!turn.locked())
        raise(err::Application, "Cannot convert \"" + c.userFile + "\": another conversion has held LibreOffice for " +
                                    "more than " + std::to_string(turnWait.count()) + " s (lock \"" +
                                    home.lockFile().string() + "\").");
    std::string lost;
    for (int attempt = 0; attempt < 2; ++attempt) {
        OfficeRecord office;
        try {
            office = officeToUse(home, program, c);
        } catch (const OfficeEnded& ended) {
            if (attempt == 1)
                raiseConversionError(c, program, "failed: LibreOffice could not be started: " + ended.why);
            lost = ended.why;
            continue;
        }
        const Answer answer = helper_.ask(
            {"convert", office.pipe, fileUrl(c.input), c.inputFilter.value_or("-"), fileUrl(c.output), c.outputFilter},
            Clock::now() + limit, c.userFile, [&] { return running(office, home); });
        if (answer.ok()) return home.markUsed();
        if (answer.outcome == Outcome::Answered && answer.fields[0] == "failed")
            raiseConversionError(c, program, "failed: " + answer.text());
        const bool hung = answer.outcome == Outcome::TimedOut && running(office, home);
        discard(home, office);
        if (hung)
            raiseConversionError(c, program,
                                 "did not finish within " + std::to_string(limit.count()) +
                                     " s and was stopped (KESTBOMEX_CONVERT_TIMEOUT sets the time limit).");
        lost = answer.text();
    }
    raiseConversionError(c, program,
                         "failed: LibreOffice ended during the conversion, also when started again (" + lost + ")");
}

OfficeRecord WarmOffice::officeToUse(const OfficeHome& home, const fs::path& program, const Conversion& c) {
    if (const std::optional<OfficeRecord> office = home.readRecord()) {
        if (running(*office, home) && ownerRuns(*office)) return *office;
        discard(home, *office);
    }
    return start(home, program, c);
}

OfficeRecord WarmOffice::start(const OfficeHome& home, const fs::path& program, const Conversion& c) {
    // An office on this profile that no record names (its program and helper
    // were killed together) would take the new office's start for its own.
    killProcessesRunningWith(profileArgument(home));
    std::error_code ec;
    fs::remove_all(home.temporaryFolder(), ec);
    fs::create_directory(home.temporaryFolder(), ec);
    fs::permissions(home.temporaryFolder(), fs::perms::owner_all, ec);
    OfficeRecord office;
    office.owner = ::getpid();
    office.ownerStart = processStartTime(office.owner).value_or(0);
    // Asked first: a missing Python bridge leaves nothing behind.
    const Answer ipc = helper_.ask({"ipc-socket", home.profileUrl()}, Clock::now() + kHelperTime, c.userFile);
    if (ipc.ok()) office.ipcSocket = ipc.text();
    home.makeSocketFolder(office, c.userFile);
    try {
        office.group = spawnChild(
            {{program.string(), profileArgument(home), "--headless", "--invisible", "--nologo", "--norestore",
              "--nolockcheck", "--accept=pipe,name=" + office.pipe + ";urp;StarOffice.ComponentContext"},
             {"TMPDIR=" + home.temporaryFolder().string()},
             -1,
             home.temporaryFolder() / "output.txt"});
    } catch (...) {
        home.removeLeftovers(office);
        throw;
    }
    own_ = office.group;
    const std::chrono::seconds limit = conversionTimeLimit();
    int status = 0;
    bool ended = false;
    Answer connected;
    try {
        // Should this program die, its helper ends the office and removes its files.
        std::vector<std::string> guard{"guard", std::to_string(office.group), home.profileUrl()};
        for (const fs::path& file : home.leftovers(office)) guard.push_back(fileUrl(file));
        helper_.ask(guard, Clock::now() + kHelperTime, c.userFile);
        connected = helper_.ask({"connect", office.pipe, std::to_string(limit.count())}, Clock::now() + limit,
                                c.userFile, [&] { return !(ended = childEnded(office.group, status)); });
        if (connected.ok()) {
            home.writeRecord(office);
            return office;
        }
    } catch (...) {
        abandon(home, office, ended);
        throw;
    }
    const std::string message = lastMessage(home.temporaryFolder() / "output.txt");
    abandon(home, office, ended);
    if (!ended)
        raiseConversionError(
            c, program,
            "failed: LibreOffice did not start within " + std::to_string(limit.count()) + " s and was stopped");
    throw OfficeEnded{exitDescription(status) + (message.empty() ? "" : " (" + message + ")")};
}

void WarmOffice::abandon(const OfficeHome& home, const OfficeRecord& office, bool ended) {
    if (!ended) killChildGroup(office.group);
    own_ = 0;
    home.removeLeftovers(office);
}

// Kills the office if it still runs and removes what it leaves.
void WarmOffice::discard(const OfficeHome& home, const OfficeRecord& office) {
    const bool ours = own_ > 0 && own_ == office.group;
    if (ours) {
        int status = 0;
        if (!childEnded(office.group, status)) killChildGroup(office.group);
        own_ = 0;
    } else if (running(office, home)) {
        ::kill(-office.group, SIGKILL);
    }
    home.removeLeftovers(office);
}

void WarmOffice::stopOwn(const OfficeHome& home) {
    const std::optional<OfficeRecord> office = home.readRecord();
    const bool recorded = office && office->group == own_;
    int status = 0;
    bool ended = childEnded(own_, status);
    if (!ended && recorded) {
        helper_.ask({"stop", office->pipe}, Clock::now() + kEndingTime, "LibreOffice");
        for (const auto until = Clock::now() + kEndingTime; !ended && Clock::now() < until;)
            if (!(ended = childEnded(own_, status))) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!ended) killChildGroup(own_);
    own_ = 0;
    if (recorded) home.removeLeftovers(*office);
}

void WarmOffice::end() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (own_ == 0) return;
    try {
        const OfficeHome home("LibreOffice");
        // A conversion of another program with this office is let finish first.
        const FileLock turn(home.lockFile(), Clock::now() + conversionTimeLimit());
        stopOwn(home);
    } catch (const std::exception&) {
        if (own_ > 0) killChildGroup(own_);
        own_ = 0;
    }
}

void WarmOffice::endWhenIdle(std::chrono::seconds idle) {
    std::lock_guard<std::mutex> lock(mutex_);
    idleLimit_ = idle;
    if (!idleWatch_.joinable()) idleWatch_ = std::thread([this] { watchIdle(); });
}

void WarmOffice::watchIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto period = std::clamp<std::chrono::milliseconds>(std::chrono::milliseconds(idleLimit_) / 4,
                                                              std::chrono::milliseconds(100), std::chrono::seconds(30));
    while (!ending_) {
        wake_.wait_for(lock, period);
        if (ending_ || own_ == 0) continue;
        try {
            const OfficeHome home("LibreOffice");
            const auto idleSince = [&] { return home.lastUse().value_or(std::chrono::system_clock::time_point()); };
            if (std::chrono::system_clock::now() - idleSince() < idleLimit_) continue;
            const FileLock turn(home.lockFile(), Clock::now());  // not while another program converts
            if (turn.locked() && std::chrono::system_clock::now() - idleSince() >= idleLimit_) stopOwn(home);
        } catch (const std::exception&) {
            // Tried again at the next look.
        }
    }
}

}  // namespace

void convertWithOffice(const Conversion& conversion, const fs::path& program) {
    WarmOffice::instance().convert(conversion, program);
}

void endOfficeWhenIdle(std::chrono::seconds idle) { WarmOffice::instance().endWhenIdle(idle); }

}  // namespace kbx::xlsbridge
