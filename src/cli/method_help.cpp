#include "cli/method_help.h"

#include "automation/method_table.h"

namespace kbx::cli {

namespace {

constexpr std::size_t kLineWidth = 100;

// "  Name(A Type, &B Type) -> Result", continuation lines under the first parameter.
std::string signature(const automation::MethodSpec& method) {
    const std::string head = "  " + method.name + "(";
    const std::string indent(head.size(), ' ');
    std::string text = head;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < method.params.size(); ++i) {
        const automation::ParamSpec& param = method.params[i];
        std::string item = (param.byRef ? "&" : "") + param.name + " " + automation::typeName(param.type);
        if (i + 1 < method.params.size()) item += ",";
        if (i > 0 && text.size() - lineStart + 1 + item.size() > kLineWidth) {
            text += "\n";
            lineStart = text.size();
            text += indent;
        } else if (i > 0) {
            text += " ";
        }
        text += item;
    }
    text += ")";
    if (method.result) text += std::string(" -> ") + automation::typeName(*method.result);
    return text + "\n";
}

}  // namespace

std::string methodsHelp() {
    std::string text =
        "Methods (parameters in order; & marks a by-reference parameter, which the answer\n"
        "also carries under its name):\n";
    for (const automation::MethodSpec& method : automation::methodTable()) text += signature(method);
    return text;
}

std::string callHelp(const std::string& method) {
    std::string text =
        "Usage: kestbomex call METHOD [--bus] < PARAMETERS.json\n"
        "\n"
        "Runs METHOD with its parameters given by name in one JSON object on standard\n"
        "input, every parameter required, and prints {\"result\": ...} with each by-reference\n"
        "parameter after the call, or {\"error\": {\"number\": N, \"description\": \"...\"}}.\n"
        "Variants: whole numbers are Long, other numbers Double, null is Null, arrays are\n"
        "arrays; {\"$type\": \"Empty\"}, {\"$type\": \"Date\", \"value\": D} and\n"
        "{\"$type\": \"Currency\", \"value\": C} are the others.\n"
        "\n";
    const automation::MethodSpec* only = automation::findMethod(method);
    return only != nullptr ? text + signature(*only) : text + methodsHelp();
}

std::string versionText(const std::string& program) { return program + " " + KBX_VERSION + "\n"; }

}  // namespace kbx::cli
