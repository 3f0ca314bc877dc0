#pragma once
// The help texts of the command line. The methods and their parameters come
// from the method table, so the help always matches what the commands accept.
// The layout (a tag, then its text in a column of its own) is the one
// help2man reads, so the manual pages made from --help at build time show the
// same commands, methods and exit statuses.

#include <string>

namespace kbx::cli {

// The three usage lines that start --help, also printed after a usage error.
std::string usageLines();

// The whole --help: usage, commands, the JSON answers, the methods, exit statuses.
std::string usageHelp();

// Every method as "Name  Param Type, &ByRefParam Type, ...; returns ResultType",
// wrapped to fit a terminal.
std::string methodsHelp();

// The help of `kestbomex call`: how parameters are given, then the methods,
// or only `method` when it names one.
std::string callHelp(const std::string& method);

// "<program> <version>" for --version.
std::string versionText(const std::string& program);

}  // namespace kbx::cli
