#pragma once
// The diagnostic log: one line per event appended to KestDBBomEx.log in the
// temporary directory. The file is opened and closed for every line.

#include <string>

namespace kbx {

inline constexpr const char* kLogPrefix = "EXCEL - BOM - OUTPUT: ";
inline constexpr const char* kLogFileName = "KestDBBomEx.log";

// The temporary directory: $TEMP, else $TMPDIR, else /tmp.
std::string temporaryDirectory();
// Full path of the log file, built anew for every call.
std::string logFilePath();

// Appends the prefix, the message and "\n". A file that cannot be opened or
// written raises the file's run-time error (76 for a missing directory).
void WriteLog(const std::string& message);

}  // namespace kbx
