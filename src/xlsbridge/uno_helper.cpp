#include "xlsbridge/uno_helper.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "value/runtime_error.h"
#include "xlsbridge/child_process.h"
#include "xlsbridge/uno_converter_script.h"

namespace kbx::xlsbridge {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

bool sendAll(int socket, const std::string& data) {
    for (std::size_t sent = 0; sent < data.size();) {
        const ssize_t n = ::send(socket, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

[[noreturn]] void raiseMissingBridge(const std::string& python, const std::string& forFile, const std::string& why) {
    raise(err::Application, "Cannot convert \"" + forFile + "\": LibreOffice's Python bridge cannot be used with \"" +
                                python + "\" (" + why +
                                "). It is needed only for .xls and .ods workbooks (Debian package python3-uno; "
                                "KESTBOMEX_PYTHON names another Python).");
}

}  // namespace

std::string helperPython() {
    const char* python = std::getenv("KESTBOMEX_PYTHON");
    return python != nullptr && *python != '\0' ? python : "/usr/bin/python3";
}

std::string UnoHelper::Answer::text() const {
    switch (outcome) {
        case Outcome::TimedOut:
            return "no answer in time";
        case Outcome::Abandoned:
            return "the wait was given up";
        case Outcome::Ended:
            return "the UNO helper ended";
        case Outcome::Answered:
            break;
    }
    std::string text;
    for (std::size_t i = 1; i < fields.size(); ++i) text += (i > 1 ? " " : "") + fields[i];
    return text;
}

UnoHelper::~UnoHelper() {
    if (socket_ < 0) return;
    ::close(socket_);
    // It ends at the end of its input; a moment for it to go is enough.
    int status = 0;
    for (int i = 0; i < 200 && !childEnded(pid_, status); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void UnoHelper::kill() {
    if (pid_ > 0) killChildGroup(pid_);
    if (socket_ >= 0) ::close(socket_);
    pid_ = -1;
    socket_ = -1;
    received_.clear();
}

void UnoHelper::start(const std::string& forFile) {
    const std::string python = helperPython();
    const std::optional<std::filesystem::path> program = locateProgram(python);
    if (!program) raiseMissingBridge(python, forFile, "it is not installed");
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        raise(err::Application, "Cannot convert \"" + forFile + "\": no socket for the UNO helper");
    try {
        pid_ = spawnChild({{program->string(), "-c", kUnoConverterScript}, {}, pair[1], {}});
    } catch (...) {
        ::close(pair[0]);
        ::close(pair[1]);
        throw;
    }
    ::close(pair[1]);
    socket_ = pair[0];
    const Answer ready = waitForLine(Clock::now() + std::chrono::seconds(30), {});
    if (ready.outcome != Outcome::Answered || ready.fields.at(0) != "ready") {
        const std::string why = ready.outcome == Outcome::Answered ? ready.fields.at(0) : ready.text();
        kill();
        raiseMissingBridge(python, forFile, why);
    }
}

UnoHelper::Answer UnoHelper::ask(const std::vector<std::string>& request, Clock::time_point deadline,
                                 const std::string& forFile, const std::function<bool()>& keepWaiting) {
    if (socket_ < 0) start(forFile);
    std::string line;
    for (const std::string& field : request) line += (line.empty() ? "" : "\t") + field;
    if (!sendAll(socket_, line + "\n")) {
        kill();
        return {};
    }
    return waitForLine(deadline, keepWaiting);
}

UnoHelper::Answer UnoHelper::waitForLine(Clock::time_point deadline, const std::function<bool()>& keepWaiting) {
    for (;;) {
        if (const std::size_t end = received_.find('\n'); end != std::string::npos) {
            Answer answer{Outcome::Answered, splitFields(received_.substr(0, end))};
            received_.erase(0, end + 1);
            return answer;
        }
        const Clock::time_point now = Clock::now();
        const Outcome failure = now >= deadline                 ? Outcome::TimedOut
                                : keepWaiting && !keepWaiting() ? Outcome::Abandoned
                                                                : Outcome::Answered;
        if (failure != Outcome::Answered) {
            kill();
            return {failure, {}};
        }
        pollfd ready{socket_, POLLIN, 0};
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        if (::poll(&ready, 1, static_cast<int>(std::clamp<long long>(wait, 1, 50))) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(socket_, buffer, sizeof buffer);
        if (n > 0) {
            received_.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            kill();
            return {};
        }
    }
}

}  // namespace kbx::xlsbridge
