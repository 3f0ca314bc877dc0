#include "cli/commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#include "automation/method_table.h"
#include "cli/bom_file.h"
#include "cli/json_reader.h"
#include "cli/byte_text.h"
#include "cli/json_variant.h"
#include "cli/method_help.h"
#include "dialog/bom_options_dialog.h"
#include "value/runtime_error.h"

namespace kbx::cli {

namespace {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void printJson(std::ostream& out, const QJsonObject& object) {
    out << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << "\n";
}

int printError(std::ostream& out, const RuntimeError& error) {
    printJson(out, QJsonObject{{"error", QJsonObject{{"number", error.number()},
                                                     {"description", textFromBytes(error.description())}}}});
    return kExitRuntimeError;
}

// Any other failure still ends as one JSON error with exit status 3, with the
// numbers the service gives it.
int printFailure(std::ostream& out, const std::exception& failure) {
    if (dynamic_cast<const std::bad_alloc*>(&failure) != nullptr)
        return printError(out, RuntimeError(err::OutOfMemory, standardErrorText(err::OutOfMemory)));
    return printError(out,
                      RuntimeError(err::InternalError, standardErrorText(err::InternalError) + ": " + failure.what()));
}

std::vector<Variant> argumentsByName(const automation::MethodSpec& method, const QJsonObject& params) {
    for (auto it = params.begin(); it != params.end(); ++it) {
        bool known = false;
        for (const automation::ParamSpec& param : method.params) known = known || param.name == it.key().toStdString();
        if (!known) raise(448, "Named argument not found: " + it.key().toStdString());
    }
    std::vector<Variant> args;
    for (const automation::ParamSpec& param : method.params) {
        const QString key = QString::fromStdString(param.name);
        if (!params.contains(key)) raise(449, "Argument not optional: " + param.name);
        args.push_back(automation::coerce(variantFromJson(params.value(key)), param.type));
    }
    return args;
}

// The same from parameters read by the JSON reader; each value is handed
// over (not copied) and its reading error, if any, raised in parameter order.
std::vector<Variant> argumentsByName(const automation::MethodSpec& method, std::map<std::string, JsonParameter>& params) {
    for (const auto& [name, parameter] : params) {
        bool known = false;
        for (const automation::ParamSpec& param : method.params) known = known || param.name == name;
        if (!known) raise(448, "Named argument not found: " + name);
    }
    std::vector<Variant> args;
    for (const automation::ParamSpec& param : method.params) {
        const auto it = params.find(param.name);
        if (it == params.end()) raise(449, "Argument not optional: " + param.name);
        if (it->second.error) throw *it->second.error;
        args.push_back(automation::coerce(it->second.value, param.type));
        it->second.value = Variant();
    }
    return args;
}

QJsonObject answerJson(const automation::MethodSpec& method, const automation::CallOutcome& outcome) {
    QJsonObject answer{{"result", outcome.result ? variantToJson(*outcome.result) : QJsonValue()}};
    std::size_t next = 0;
    for (const automation::ParamSpec& param : method.params)
        if (param.byRef) answer[QString::fromStdString(param.name)] = variantToJson(outcome.byRefOutputs.at(next++));
    return answer;
}

// Options after the positional arguments: "--name value" or a "--flag".
class Options {
public:
    Options(const QStringList& args, int firstOption, const QStringList& flags) {
        for (int i = firstOption; i < args.size(); ++i) {
            const QString& arg = args[i];
            if (!arg.startsWith("--")) throw UsageError("unexpected argument '" + arg.toStdString() + "'");
            if (flags.contains(arg)) {
                values_[arg] = "1";
            } else {
                if (i + 1 >= args.size()) throw UsageError("option " + arg.toStdString() + " needs a value");
                values_[arg] = args[++i];
            }
        }
    }
    QString text(const QString& name, const QString& fallback = {}) const {
        auto it = values_.find(name);
        return it == values_.end() ? fallback : it->second;
    }
    int number(const QString& name, int fallback) const {
        auto it = values_.find(name);
        if (it == values_.end()) return fallback;
        bool ok = false;
        const int value = it->second.toInt(&ok);
        if (!ok) throw UsageError("option " + name.toStdString() + " needs a whole number");
        return value;
    }
    bool flag(const QString& name) const { return values_.count(name) != 0; }

private:
    std::map<QString, QString> values_;
};

void requirePositionals(const QStringList& args, int count) {
    if (args.size() < count + 1) throw UsageError("'" + args[0].toStdString() + "' needs more arguments");
    for (int i = 1; i <= count; ++i)
        if (args[i].startsWith("--")) throw UsageError("'" + args[0].toStdString() + "' needs more arguments");
}

QJsonObject bomParams(const BomFile& bom) {
    return {{"HeadNames", variantToJson(bom.data.HeadNames)},
            {"HeadVals", variantToJson(bom.data.HeadVals)},
            {"RecordSize", bom.data.RecordSize},
            {"PosNames", variantToJson(bom.data.PosNames)},
            {"PosVals", variantToJson(bom.data.PosVals)}};
}

const QStringList kCommonFlags{"--bus", "--reverse", "--embed", "--keep-open"};

int exportPlain(const QStringList& args, const MethodCaller& call, std::ostream& out) {
    requirePositionals(args, 3);
    const Options options(args, 4, kCommonFlags);
    QJsonObject params = bomParams(readBomFile(bytesFromText(args[1])));
    params["TemplateFile"] = args[2];
    params["ExcelFile"] = args[3];
    params["Language"] = options.number("--language", 0);
    params["Company"] = options.number("--company", 0);
    params["PosPerSheet"] = options.number("--pos-per-sheet", 30);
    params["InsertEmptyRows"] = options.number("--insert-empty-rows", 0);
    params["TargetSheetName"] = options.text("--sheet");
    return callMethod("ExportPlain2", params, call, out);
}

int exportBom(const QStringList& args, const MethodCaller& call, std::ostream& out) {
    requirePositionals(args, 3);
    const Options options(args, 4, kCommonFlags);
    QJsonObject params = bomParams(readBomFile(bytesFromText(args[1])));
    params["ExcelFileName"] = args[2];
    params["Profile"] = args[3];
    params["Language"] = 0;
    params["KestDBDir"] = "";
    params["EmBed"] = options.flag("--embed") ? 1 : 0;
    params["reverse"] = options.flag("--reverse") ? 1 : 0;
    params["templte"] = "";
    params["Clos"] = options.flag("--keep-open") ? 0 : 1;
    params["SheetName"] = options.text("--sheet");
    return callMethod("ExportBomExcel", params, call, out);
}

int summary(const QStringList& args, const MethodCaller& call, std::ostream& out) {
    requirePositionals(args, 3);
    const Options options(args, 4, kCommonFlags);
    const BomFile bom = readBomFile(bytesFromText(args[1]));
    QJsonObject params{{"PosNames", variantToJson(bom.data.PosNames)},
                       {"HeadNames", variantToJson(bom.Captions)},
                       {"PosVals", variantToJson(bom.data.PosVals)},
                       {"RecordSize", bom.data.RecordSize},
                       {"TemplateFile", args[2]},
                       {"ExcelFile", args[3]},
                       {"Language", options.number("--language", 0)},
                       {"Company", options.number("--company", 0)},
                       {"PosPerSheet", options.number("--pos-per-sheet", 20)}};
    return callMethod("CreateSummaryExcel", params, call, out);
}

int summaryTemplate(const QStringList& args, const MethodCaller& call, std::ostream& out) {
    QJsonArray names;
    for (int i = 1; i < args.size(); ++i)
        if (args[i] != "--bus") names.append(args[i]);
    if (names.isEmpty()) throw UsageError("'summary-template' needs at least one field name");
    return callMethod("CreateSummaryTemplate", {{"Names", names}}, call, out);
}

int copy(const QStringList& args, const MethodCaller& call, std::ostream& out) {
    requirePositionals(args, 2);
    const Options options(args, 3, kCommonFlags);
    QJsonObject params{{"ExcelName", args[1]}, {"TxtName", args[2]}};
    if (options.text("--sheet").isEmpty()) return callMethod("ExportAsTxt", params, call, out);
    params["SheetName"] = options.text("--sheet");
    return callMethod("ExportAsTxt2", params, call, out);
}

// GetBomParams with the dialog answered from the command line: TEMPLATE typed
// into the template field and OK pressed, the check boxes as --reverse and
// --embed set them. Only in this process: the service asks its own user.
int getBomParams(const QStringList& args, const MethodCaller& call, std::ostream& out) {
    requirePositionals(args, 1);
    const Options options(args, 2, {"--bus"});
    if (options.flag("--bus")) throw UsageError("'get-bom-params' runs in this process only");
    const std::string templatePath = bytesFromText(args[1]);
    dialog::setBomOptionsDialogFactory(
        [templatePath] { return std::make_unique<dialog::AnsweredBomOptionsDialog>(templatePath); });
    QJsonObject params{{"KestDBDir", options.text("--dir")},
                       {"Profiles", QJsonObject{{"$type", "Empty"}}},
                       {"reverse", options.number("--reverse", 0)},
                       {"EmBed", options.number("--embed", 0)},
                       {"templte", ""},
                       {"ExcelFileName", options.text("--hint")}};
    const int status = callMethod("GetBomParams", params, call, out);
    dialog::resetBomOptionsDialogFactory();
    return status;
}

int listMethods(std::ostream& out) {
    QJsonArray methods;
    for (const automation::MethodSpec& method : automation::methodTable()) {
        QJsonArray params;
        for (const automation::ParamSpec& param : method.params)
            params.append(QJsonObject{{"name", QString::fromStdString(param.name)},
                                      {"type", automation::typeName(param.type)},
                                      {"byRef", param.byRef}});
        methods.append(QJsonObject{{"name", QString::fromStdString(method.name)},
                                   {"params", params},
                                   {"result", method.result ? automation::typeName(*method.result) : QJsonValue()}});
    }
    printJson(out, QJsonObject{{"methods", methods}});
    return kExitOk;
}

std::string readAll(std::istream& in) {
    std::string text;
    struct stat st {};
    // Standard input from a file: its size is known, the text is read without regrowing.
    if (&in == &std::cin && ::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode)) {
        text.reserve(static_cast<size_t>(st.st_size));
    }
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) text.append(buffer, static_cast<size_t>(in.gcount()));
    return text;
}

const automation::MethodSpec& methodNamed(const QString& method) {
    const automation::MethodSpec* spec = automation::findMethod(method.toStdString());
    if (spec == nullptr) throw UsageError("unknown method '" + method.toStdString() + "' (see 'kestbomex methods')");
    return *spec;
}

int runCall(const automation::MethodSpec& spec, const std::function<std::vector<Variant>()>& arguments,
            const MethodCaller& call, std::ostream& out);

int callFromStdin(const QStringList& args, std::istream& in, const MethodCaller& call, std::ostream& out) {
    if (args.contains("--help") || args.contains("-h")) {
        out << callHelp(args.value(1).toStdString());
        return kExitOk;
    }
    if (args.size() < 2) throw UsageError("'call' needs a method name");
    const Options options(args, 2, {"--bus"});
    std::map<std::string, JsonParameter> params;
    try {
        params = parametersFromJson(readAll(in));
    } catch (const JsonSyntaxError& error) {
        throw UsageError(std::string("standard input is not a JSON object: ") + error.what());
    }
    const automation::MethodSpec& spec = methodNamed(args[1]);
    return runCall(spec, [&] { return argumentsByName(spec, params); }, call, out);
}

int runCall(const automation::MethodSpec& spec, const std::function<std::vector<Variant>()>& arguments,
            const MethodCaller& call, std::ostream& out) {
    try {
        const std::vector<Variant> args = arguments();
        const automation::CallOutcome outcome = call(spec, args);
        printJson(out, answerJson(spec, outcome));
        return kExitOk;
    } catch (const RuntimeError& error) {
        return printError(out, error);
    } catch (const std::exception& failure) {
        return printFailure(out, failure);
    }
}

}  // namespace

int callMethod(const QString& method, const QJsonObject& params, const MethodCaller& call, std::ostream& out) {
    const automation::MethodSpec& spec = methodNamed(method);
    return runCall(spec, [&] { return argumentsByName(spec, params); }, call, out);
}

int runCommandLine(const QStringList& args, std::istream& in, std::ostream& out, std::ostream& err,
                   const MethodCaller& call) {
    if (args.isEmpty() || args[0] == "--help" || args[0] == "-h") {
        (args.isEmpty() ? err : out) << usageHelp();
        return args.isEmpty() ? kExitUsage : kExitOk;
    }
    if (args[0] == "--version") {
        out << versionText("kestbomex");
        return kExitOk;
    }
    const QString& command = args[0];
    try {
        if (command == "call") return callFromStdin(args, in, call, out);
        if (command == "methods") return listMethods(out);
        if (command == "export-plain") return exportPlain(args, call, out);
        if (command == "export-bom") return exportBom(args, call, out);
        if (command == "summary") return summary(args, call, out);
        if (command == "summary-template") return summaryTemplate(args, call, out);
        if (command == "copy") return copy(args, call, out);
        if (command == "get-bom-params") return getBomParams(args, call, out);
        throw UsageError("unknown command '" + command.toStdString() + "'");
    } catch (const UsageError& error) {
        err << "kestbomex: " << error.what() << "\n" << usageLines() << "Try 'kestbomex --help' for the commands and methods.\n";
        return kExitUsage;
    } catch (const RuntimeError& error) {
        return printError(out, error);
    } catch (const std::exception& failure) {
        return printFailure(out, failure);
    }
}

}  // namespace kbx::cli
