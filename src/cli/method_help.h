#pragma once
// The help texts that list the methods with their parameters, made from the
// method table so that they always match what the commands accept.

#include <string>

namespace kbx::cli {

// Every method as "Name(Param Type, &ByRefParam Type, ...) -> ResultType",
// wrapped to fit a terminal.
std::string methodsHelp();

// The help of `kestbomex call`: how parameters are given, then the methods,
// or only `method` when it names one.
std::string callHelp(const std::string& method);

// "<program> <version>" for --version.
std::string versionText(const std::string& program);

}  // namespace kbx::cli
