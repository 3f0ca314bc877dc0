#include "cli/commands.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include "automation/method_table.h"
#include "cli/bom_file.h"
#include "cli/json_variant.h"
#include "cli/method_help.h"
#include "dialog/bom_options_dialog.h"
#include "value/runtime_error.h"

namespace kbx::cli {

namespace {

const char* kUsage =
    "Usage: kestbomex COMMAND [ARGUMENTS] [--bus]\n"
    "       kestbomex --help | --version | call --help\n"
    "\n"
    "Every command runs in this process, or with --bus through the service\n"
    "KestBomEx.KestDBBomExcel on the session bus, and prints one JSON object.\n"
    "\n"
    "Commands:\n"
    "  call METHOD                 parameters as a JSON object on standard input\n"
    "  methods                     list the methods and their parameters\n"
    "  export-plain BOM TEMPLATE OUTPUT [--sheet NAME] [--pos-per-sheet N]\n"
    "               [--insert-empty-rows N] [--language N] [--company N]\n"
    "  export-bom BOM WORKBOOK PROFILE [--reverse] [--embed] [--keep-open] [--sheet NAME]\n"
    "  summary BOM TEMPLATE OUTPUT [--pos-per-sheet N] [--language N] [--company N]\n"
    "  summary-template NAME...\n"
    "  copy WORKBOOK OUTPUT [--sheet NAME]\n"
    "  get-bom-params TEMPLATE [--dir DIR] [--hint XLS|XLSX|XLSM] [--reverse] [--embed]\n"
    "                              the options dialog's answers given on the command line\n"
    "\n"
    "BOM is a .json or .csv file (see README). Exit status: 0 done, 2 usage, 3 run-time error.\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void printJson(std::ostream& out, const QJsonObject& object) {
    out << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << "\n";
}

int printError(std::ostream& out, const RuntimeError& error) {
    printJson(out, QJsonObject{{"error", QJsonObject{{"number", error.number()},
                                                     {"description", QString::fromStdString(error.description())}}}});
    return kExitRuntimeError;
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
    QJsonObject params = bomParams(readBomFile(args[1].toStdString()));
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
    QJsonObject params = bomParams(readBomFile(args[1].toStdString()));
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
    const BomFile bom = readBomFile(args[1].toStdString());
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

// GetBomParams with the dialog answered from the command line; every step
// after the dialog runs as usual. Only in this process: the service asks its
// own user.
int getBomParams(const QStringList& args, const MethodCaller& call, std::ostream& out) {
    requirePositionals(args, 1);
    const Options options(args, 2, kCommonFlags);
    if (options.flag("--bus")) throw UsageError("'get-bom-params' runs in this process only");
    dialog::setBomOptionsDialogFactory([&] {
        return std::make_unique<dialog::AnsweredBomOptionsDialog>(
            args[1].toStdString(), options.flag("--reverse") ? 1 : 0, options.flag("--embed") ? 1 : 0);
    });
    QJsonObject params{{"KestDBDir", options.text("--dir")},
                       {"Profiles", QJsonObject{{"$type", "Empty"}}},
                       {"reverse", 0},
                       {"EmBed", 0},
                       {"templte", ""},
                       {"ExcelFileName", options.text("--hint")}};
    const int status = callMethod("GetBomParams", params, call, out);
    dialog::resetBomOptionsDialogFactory();
    return status;
}

QString typeName(automation::ArgType type) {
    switch (type) {
        case automation::ArgType::Variant:
            return "Variant";
        case automation::ArgType::String:
            return "String";
        case automation::ArgType::Long:
            return "Long";
        case automation::ArgType::Integer:
            return "Integer";
    }
    return {};
}

int listMethods(std::ostream& out) {
    QJsonArray methods;
    for (const automation::MethodSpec& method : automation::methodTable()) {
        QJsonArray params;
        for (const automation::ParamSpec& param : method.params)
            params.append(QJsonObject{
                {"name", QString::fromStdString(param.name)}, {"type", typeName(param.type)}, {"byRef", param.byRef}});
        methods.append(QJsonObject{{"name", QString::fromStdString(method.name)},
                                   {"params", params},
                                   {"result", method.result ? typeName(*method.result) : QJsonValue()}});
    }
    printJson(out, QJsonObject{{"methods", methods}});
    return kExitOk;
}

int callFromStdin(const QStringList& args, std::istream& in, const MethodCaller& call, std::ostream& out) {
    if (args.contains("--help") || args.contains("-h")) {
        out << callHelp(args.value(1).toStdString());
        return kExitOk;
    }
    if (args.size() < 2) throw UsageError("'call' needs a method name");
    const Options options(args, 2, {"--bus"});
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw UsageError("standard input is not a JSON object: " + error.errorString().toStdString());
    return callMethod(args[1], document.object(), call, out);
}

}  // namespace

int callMethod(const QString& method, const QJsonObject& params, const MethodCaller& call, std::ostream& out) {
    const automation::MethodSpec* spec = automation::findMethod(method.toStdString());
    if (spec == nullptr) throw UsageError("unknown method '" + method.toStdString() + "' (see 'kestbomex methods')");
    try {
        const std::vector<Variant> args = argumentsByName(*spec, params);
        const automation::CallOutcome outcome = call(*spec, args);
        printJson(out, answerJson(*spec, outcome));
        return kExitOk;
    } catch (const RuntimeError& error) {
        return printError(out, error);
    }
}

int runCommandLine(const QStringList& args, std::istream& in, std::ostream& out, std::ostream& err,
                   const MethodCaller& call) {
    if (args.isEmpty() || args[0] == "--help" || args[0] == "-h") {
        (args.isEmpty() ? err : out) << kUsage << "\n" << methodsHelp();
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
        err << "kestbomex: " << error.what() << "\n" << kUsage;
        return kExitUsage;
    } catch (const RuntimeError& error) {
        return printError(out, error);
    }
}

}  // namespace kbx::cli
