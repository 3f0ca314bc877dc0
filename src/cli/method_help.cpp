#include "cli/method_help.h"

#include <sstream>
#include <vector>

#include "automation/method_table.h"
#include "cli/commands.h"

namespace kbx::cli {

namespace {

constexpr std::size_t kLineWidth = 79;
// Where the text of a command or method starts; the tags of exit statuses are short.
constexpr std::size_t kTextColumn = 23;
constexpr std::size_t kStatusColumn = 6;

// The words of `text` after `line` (which already holds `column` characters),
// a new line at `column` whenever the next word would pass the line width.
std::string filled(std::string line, const std::string& text, std::size_t column) {
    std::istringstream words(text);
    std::string word;
    std::size_t lineStart = line.rfind('\n') == std::string::npos ? 0 : line.rfind('\n') + 1;
    bool first = true;
    while (words >> word) {
        if (!first && line.size() - lineStart + 1 + word.size() > kLineWidth) {
            line += "\n";
            lineStart = line.size();
            line.append(column, ' ');
        } else if (!first) {
            line += " ";
        }
        line += word;
        first = false;
    }
    return line + "\n";
}

// "  tag   text", the text wrapped in its column; a tag too wide for the
// column stands on a line of its own, the text below it.
std::string entry(const std::string& tag, const std::string& text, std::size_t column = kTextColumn) {
    std::string line = "  " + tag;
    if (line.size() + 2 > column)
        line += "\n" + std::string(column, ' ');
    else
        line.append(column - line.size(), ' ');
    return filled(line, text, column);
}

// "HeadNames Variant, &ExcelFileName String, ...; returns Long".
std::string parameterText(const automation::MethodSpec& method) {
    std::string text;
    for (const automation::ParamSpec& param : method.params)
        text += (text.empty() ? "" : ", ") + std::string(param.byRef ? "&" : "") + param.name + " " +
                automation::typeName(param.type);
    if (text.empty()) text = "no parameters";
    return text + "; returns " + (method.result ? automation::typeName(*method.result) : "nothing");
}

std::string paragraph(const std::string& text) { return filled("", text, 0); }

}  // namespace

std::string usageLines() {
    return "Usage: kestbomex COMMAND [ARGUMENTS] [--bus]\n"
           "  or:  kestbomex call METHOD [--bus] < PARAMETERS.json\n"
           "  or:  kestbomex --help | --version\n";
}

std::string usageHelp() {
    return usageLines() +
           paragraph("Runs the methods of the class KestDBBomExcel: fills spreadsheet templates from a bill of "
                     "materials (BOM), writes paged plain BOM lists and picture summaries, and copies workbooks. "
                     "Every command runs in this process, or with --bus through the service "
                     "KestBomEx.KestDBBomExcel on the session bus (kestbomex-server, started by D-Bus "
                     "activation), and prints one JSON object: \"result\" and each by-reference parameter under "
                     "its name, or {\"error\": {\"number\": N, \"description\": \"...\"}}. BOM is a .json or .csv "
                     "file.") +
           "\nCommands:\n" +
           entry("call METHOD", "runs METHOD, its parameters by name in a JSON object on standard input "
                                "(see call --help)") +
           entry("methods", "the methods and their parameters as JSON") +
           entry("export-plain BOM TEMPLATE OUTPUT",
                 "ExportPlain2: the paged plain list from TEMPLATE into OUTPUT; options --sheet NAME (all positions "
                 "onto that sheet of TEMPLATE, no page copies), --pos-per-sheet N (default 30), --insert-empty-rows N, --language N, "
                 "--company N") +
           entry("export-bom BOM WORKBOOK PROFILE",
                 "ExportBomExcel: fills the sheet PROFILE of WORKBOOK in place; options --reverse, --embed, "
                 "--keep-open, --sheet NAME (the sheet to activate)") +
           entry("summary BOM TEMPLATE OUTPUT",
                 "CreateSummaryExcel: the summary list; options --pos-per-sheet N (default 20), --language N, "
                 "--company N") +
           entry("summary-template NAME...", "CreateSummaryTemplate: a summary template with these fields") +
           entry("copy WORKBOOK OUTPUT",
                 "ExportAsTxt: a copy of WORKBOOK; with --sheet NAME, ExportAsTxt2: that sheet as tab-separated "
                 "text") +
           entry("get-bom-params TEMPLATE",
                 "GetBomParams with its dialog answered with OK on TEMPLATE, in this process only; options "
                 "--dir DIR, --hint XLS|XLSX|XLSM, --reverse N and --embed N (the check boxes, default 0)") +
           "\nMethods:\n" + methodsHelp() +
           "\n" + paragraph("& marks a by-reference parameter: the answer carries it again under its name.") +
           "\nExit status:\n" +
           entry(std::to_string(kExitOk), "done; the answer is printed", kStatusColumn) +
           entry(std::to_string(kExitUsage), "usage error; the reason goes to standard error", kStatusColumn) +
           entry(std::to_string(kExitRuntimeError), "run-time error; the answer is {\"error\": ...}", kStatusColumn);
}

std::string methodsHelp() {
    std::string text;
    for (const automation::MethodSpec& method : automation::methodTable())
        text += entry(method.name, parameterText(method));
    return text;
}

std::string callHelp(const std::string& method) {
    std::string text = "Usage: kestbomex call METHOD [--bus] < PARAMETERS.json\n\n" +
                       paragraph("Runs METHOD with its parameters given by name in one JSON object on standard "
                                 "input, every parameter required, and prints {\"result\": ...} with each "
                                 "by-reference parameter after the call, or {\"error\": {\"number\": N, "
                                 "\"description\": \"...\"}}. Variants: whole numbers are Long, other numbers "
                                 "Double, null is Null, arrays are arrays; {\"$type\": \"Empty\"}, {\"$type\": "
                                 "\"Date\", \"value\": D} and {\"$type\": \"Currency\", \"value\": C} are the "
                                 "others.") +
                       "\nMethods (& marks a by-reference parameter):\n";
    const automation::MethodSpec* only = automation::findMethod(method);
    return text + (only != nullptr ? entry(only->name, parameterText(*only)) : methodsHelp());
}

std::string versionText(const std::string& program) { return program + " " + KBX_VERSION + "\n"; }

}  // namespace kbx::cli
