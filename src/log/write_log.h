#pragma once
// The diagnostic log: one line per event appended to KestDBBomEx.log in the
// temporary directory. The file is opened and closed for every line.

#include <string>

namespace kbx {

inline constexpr const char* kLogPrefix = "EXCEL - BOM - OUTPUT: ";
inline constexpr const char* kLogFileName = "KestDBBomEx.log";

// Full path of the log file, built anew for every call.
std::string logFilePath();

// Appends the prefix, the message (control characters escaped) and "\n".
// The log is opened without following a link and without waiting on a pipe,
// and only a regular file of this user is written. When the path holds
// anything else (a link, a pipe, a folder, another user's file), the line
// goes to KestDBBomEx.log in $XDG_RUNTIME_DIR or ~/.cache/kestbomex instead,
// and the first such line of the process says why (also on standard error).
// A log of this user's that cannot be opened or written raises the file's
// run-time error (76 for a missing directory, 70 for a read-only file).
void WriteLog(const std::string& message);

// Logs the message a host was shown and, on the line after it, the reason
// behind it; nothing when there is no reason.
void logRefusal(const std::string& shownMessage, const std::string& reason);

// The text with control characters written as \n, \r, \t or \xHH, so that
// no message can start a line of its own.
std::string escapeLogText(const std::string& text);

}  // namespace kbx
