#pragma once
// The commands of kestbomex. Every command ends in one method call, made in
// this process or, with --bus, through the service on the session bus, and
// prints one JSON object: "result" and each by-reference output under its
// parameter name, or {"error": {"number": N, "description": "..."}}.

#include <QJsonObject>
#include <QStringList>
#include <functional>
#include <iosfwd>
#include <vector>

#include "automation/method_table.h"

namespace kbx::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRuntimeError = 3;

// Makes one method call: in this process (kestbomex) or through the service
// (kestbomex-remote, which kestbomex runs for --bus).
using MethodCaller =
    std::function<automation::CallOutcome(const automation::MethodSpec& method, const std::vector<Variant>& args)>;

// Runs a method with its parameters given by name. Prints the answer to `out`
// and returns the exit code.
int callMethod(const QString& method, const QJsonObject& params, const MethodCaller& call, std::ostream& out);

// The whole command line (arguments without the program name).
int runCommandLine(const QStringList& args, std::istream& in, std::ostream& out, std::ostream& err,
                   const MethodCaller& call);

}  // namespace kbx::cli
