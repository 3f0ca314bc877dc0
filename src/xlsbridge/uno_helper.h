#pragma once
// The UNO helper of this program: uno_converter.py run by Python, which
// speaks UNO with the office. Started on the first request and kept; it
// reads requests as lines on a socket pair that is its standard input and
// output, so that a helper that has gone can never stop this program with
// SIGPIPE, and it sees the program's end as the end of its input.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kbx::xlsbridge {

// The Python that runs the helper: KESTBOMEX_PYTHON, default /usr/bin/python3
// (Debian's python3-uno is built for it).
std::string helperPython();

class UnoHelper {
public:
    enum class Outcome {
        Answered,
        TimedOut,   // no answer before the deadline
        Abandoned,  // the caller stopped waiting
        Ended,      // the helper went away
    };
    struct Answer {
        Outcome outcome = Outcome::Ended;
        std::vector<std::string> fields;  // of the answer line
        bool ok() const { return outcome == Outcome::Answered && !fields.empty() && fields[0] == "ok"; }
        // The answer's text after its first field, or what went wrong.
        std::string text() const;
    };

    UnoHelper() = default;
    // Closes the helper's input; it then ends by itself.
    ~UnoHelper();
    UnoHelper(const UnoHelper&) = delete;
    UnoHelper& operator=(const UnoHelper&) = delete;

    // Sends a request (tab-separated fields) and waits for its answer until
    // `deadline`; `keepWaiting`, asked every 50 ms, ends the wait early when
    // it says false. A helper that did not answer is killed. Starting the
    // helper raises 1004 naming `forFile` when Python or its UNO bridge is missing.
    Answer ask(const std::vector<std::string>& request, std::chrono::steady_clock::time_point deadline,
               const std::string& forFile, const std::function<bool()>& keepWaiting = {});
    // Kills the helper; the next request starts a new one.
    void kill();

private:
    void start(const std::string& forFile);
    Answer waitForLine(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& keepWaiting);

    pid_t pid_ = -1;
    int socket_ = -1;
    std::string received_;
};

}  // namespace kbx::xlsbridge
