#include "dialog/get_bom_params.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "dialog/bom_options_dialog.h"
#include "dialog/split_path.h"
#include "files/input_file.h"
#include "files/paths.h"
#include "log/write_log.h"
#include "session/excel_references.h"
#include "session/platform.h"
#include "sheet/application.h"
#include "value/runtime_error.h"
#include "value/text_case.h"

namespace kbx::dialog {

namespace {

constexpr int32_t kUpdateLinks = 2;

std::string trimBlanks(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// One pass from the left, as a plain text replace does: "///" becomes "//".
std::string collapseDoubledSlashes(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        out += path[i];
        if (path[i] == '/' && i + 1 < path.size() && path[i + 1] == '/') ++i;
    }
    return out;
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// Seconds from 1.1.1970 00:00 to the current local date and time.
long long localSecondsSinceEpoch(std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<long long>(timegm(&local));
}

// Opens the template read-only; any failure leaves no workbook.
std::shared_ptr<sheet::Workbook> openQuietly(sheet::Application& app, const std::string& file) {
    try {
        return app.GetWorkbooks().Open(file, Variant(kUpdateLinks), true);
    } catch (const std::exception&) {
        return nullptr;
    }
}

void makeVisibleQuietly(sheet::Application& app) {
    try {
        if (!toBoolean(app.Get(sheet::AppSetting::Visible))) app.Set(sheet::AppSetting::Visible, Variant(true));
    } catch (const std::exception&) {
    }
}

std::vector<Variant> sheetNames(sheet::Workbook& book) {
    WriteLog("Redim of sheet array");
    sheet::Sheets& sheets = book.GetSheets();
    std::vector<Variant> names(static_cast<std::size_t>(std::max(sheets.Count(), 0)));
    WriteLog("Obtaining sheetnames from Excel");
    for (std::size_t i = 0; i < names.size(); ++i) names[i] = Variant(sheets.Item(static_cast<int32_t>(i + 1))->Name());
    return names;
}

void validateCheckState(int32_t state) {
    if (state < 0 || state > 2) raise(380, "Invalid property value");
}

}  // namespace

std::string extensionFromHint(const std::string& hint) {
    const std::string extension = upperCase(trimBlanks(hint));
    return extension.empty() ? "XLS" : extension;
}

int32_t workingCopyFormat(const std::string& extension) {
    if (extension == "XLSX") return sheet::xl::FormatOpenXmlWorkbook;
    if (extension == "XLSM") return sheet::xl::FormatOpenXmlMacroEnabled;
    if (extension == "XLS") return sheet::xl::FormatWorkbookNormal;
    raise(err::InvalidCall, "Invalid procedure call or argument: a working copy of type '" + extension +
                                "' cannot be written; the file-type hint must be XLS, XLSX or XLSM");
}

std::string proposeTemplatePath(const std::string& KestDBDir, const std::string& extension) {
    const PathParts parts = SplitPath(collapseDoubledSlashes(KestDBDir));
    std::string directory = parts.directory;
    std::string fileName = parts.fileName;
    if (trimBlanks(fileName).empty()) fileName = "KestDBBomTempl." + extension;
    if (!trimBlanks(directory).empty() && directory.back() != '/') directory += '/';
    std::string proposal = directory + fileName;
    if (startsWith(KestDBDir, "//") && !startsWith(proposal, "//")) proposal = "/" + proposal;
    return proposal;
}

std::string workingCopyPath(const std::string& extension, std::time_t now) {
    const std::string directory = files::temporaryDirectory();
    const std::string seconds = std::to_string(localSecondsSinceEpoch(now));
    std::string path = directory + "/" + seconds + "KestDBBom." + extension;
    std::error_code ec;
    for (int counter = 2; std::filesystem::exists(path, ec); ++counter)
        path = directory + "/" + seconds + "_" + std::to_string(counter) + "KestDBBom." + extension;
    return path;
}

int32_t GetBomParams(const std::string& KestDBDir, Variant& Profiles, int32_t& reverse, int32_t& EmBed,
                     std::string& templte, std::string& ExcelFileName) {
    const std::string extension = extensionFromHint(ExcelFileName);
    WriteLog("Entering GetBomParams");
    const int32_t fileFormat = workingCopyFormat(extension);

    BomOptions options;
    options.ExcelExt = extension;
    validateCheckState(EmBed);
    options.embed = EmBed;
    validateCheckState(reverse);
    options.reverse = reverse;
    options.templatePath = proposeTemplatePath(KestDBDir, extension);
    std::unique_ptr<BomOptionsDialog> dialog = createBomOptionsDialog();
    WriteLog("Trying to show dialog");
    const bool ok = dialog->ShowModal(options);
    WriteLog("Closed dialog");
    dialog.reset();
    if (!ok) {
        WriteLog("Leaving GetBomParams");
        return 1;
    }

    session::excelReferences().ExcelApp.reset();
    WriteLog("Getting control settings");
    reverse = options.reverse;
    EmBed = options.embed;
    templte = options.templatePath;

    WriteLog("Trying to get ExcelObject");
    std::shared_ptr<sheet::Application> app = session::createExcelApplication();
    if (!app) {
        session::showMessage("Failed to obtain COM object from Excel.Application");
        return 1;
    }
    WriteLog("Successfully obtained Excel COM object");
    WriteLog("Trying to open: " + templte);
    std::shared_ptr<sheet::Workbook> book = openQuietly(*app, templte);
    if (!book) {
        session::showMessage("Failed to obtain Workbook from Excel (Open Failure?) File = " + templte);
        return 1;
    }
    WriteLog("Successfully loaded template: " + templte);
    WriteLog("Making Excel visible");
    makeVisibleQuietly(*app);
    WriteLog("After making Excel visible");
    std::vector<Variant> names = sheetNames(*book);

    ExcelFileName = workingCopyPath(extension, std::time(nullptr));
    WriteLog("Deleting Exceloutput: " + ExcelFileName);
    files::removeFileIgnoringErrors(ExcelFileName);
    WriteLog("Saving Excelfile");
    book->SaveAs(ExcelFileName, fileFormat);
    WriteLog("Closing Excelfile");
    book->Close(false);
    book.reset();
    app->Quit();
    app.reset();

    WriteLog("Now assigning string array to variant");
    Profiles = Variant::array(std::move(names));
    WriteLog("Assigned string array to variant");
    WriteLog("Leaving GetBomParams");
    return 1;
}

}  // namespace kbx::dialog
