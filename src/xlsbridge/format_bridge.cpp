#include "xlsbridge/format_bridge.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "files/atomic_file.h"
#include "files/input_file.h"
#include "files/paths.h"
#include "value/runtime_error.h"
#include "xlsbridge/child_process.h"
#include "xlsbridge/warm_office.h"

namespace kbx::xlsbridge {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDefaultProgram = "soffice";
constexpr std::chrono::seconds kDefaultTimeLimit{60};
constexpr std::chrono::seconds kDefaultIdleLimit{300};

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

[[noreturn]] void raiseMissingConverter(const std::string& program, const std::string& file) {
    raise(err::Application, "Cannot convert \"" + file + "\": the program \"" + program +
                                "\" (LibreOffice Calc) is not installed. It is needed only for .xls and .ods workbooks "
                                "(Debian package libreoffice-calc-nogui); .xlsx workbooks work without it.");
}

// A new private directory "<parent>/<prefix>XXXXXX".
fs::path makeUniqueDirectory(const fs::path& parent, const std::string& prefix, const std::string& forFile) {
    std::string pattern = (parent / (prefix + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) raiseFileError(errno, forFile);
    return fs::path(pattern);
}

void removeTreeQuietly(const fs::path& dir) noexcept {
    std::error_code ec;
    fs::remove_all(dir, ec);
}

// Removes a working directory unless it was handed on (dir cleared).
struct DirectoryGuard {
    fs::path dir;
    ~DirectoryGuard() {
        if (!dir.empty()) removeTreeQuietly(dir);
    }
};

// Converts `input` to `output` with the warm office; raises when it fails or
// when LibreOffice is not installed.
void convertFile(Conversion conversion) {
    const std::string programName = converterProgram();
    const std::optional<fs::path> program = locateProgram(programName);
    if (!program) raiseMissingConverter(programName, conversion.userFile);
    convertWithOffice(conversion, *program);
    std::error_code ec;
    if (!fs::is_regular_file(conversion.output, ec) || fs::file_size(conversion.output, ec) == 0)
        raise(err::Application, "The conversion of \"" + conversion.userFile + "\" to " + conversion.what + " by \"" +
                                    program->string() + "\" failed: it wrote no result");
}

std::chrono::seconds secondsFromEnvironment(const char* name, std::chrono::seconds fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr) return fallback;
    char* end = nullptr;
    const long seconds = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || seconds <= 0) return fallback;
    return std::chrono::seconds(std::min(seconds, 86400L));
}

const char* inputFilterFor(ForeignFormat format) { return format == ForeignFormat::Xls ? "MS Excel 97" : "calc8"; }

const char* extensionFor(ForeignFormat format) { return format == ForeignFormat::Xls ? ".xls" : ".ods"; }

}  // namespace

std::optional<ForeignFormat> foreignFormatOf(const std::string& path) {
    const std::string extension = lowerCase(fs::path(path).extension().string());
    if (extension == ".xls" || extension == ".xlt") return ForeignFormat::Xls;
    if (extension == ".ods") return ForeignFormat::Ods;
    return std::nullopt;
}

std::string converterProgram() {
    const char* program = std::getenv("KESTBOMEX_SOFFICE");
    return program != nullptr && *program != '\0' ? program : kDefaultProgram;
}

std::chrono::seconds conversionTimeLimit() {
    return secondsFromEnvironment("KESTBOMEX_CONVERT_TIMEOUT", kDefaultTimeLimit);
}

std::chrono::seconds converterIdleLimit() {
    return secondsFromEnvironment("KESTBOMEX_CONVERTER_IDLE", kDefaultIdleLimit);
}

void endConverterWhenIdle(std::chrono::seconds idle) { endOfficeWhenIdle(idle); }

TemporaryXlsx::TemporaryXlsx(fs::path directory, fs::path file)
    : directory_(std::move(directory)), file_(std::move(file)) {}

TemporaryXlsx::~TemporaryXlsx() { removeDirectory(); }

TemporaryXlsx::TemporaryXlsx(TemporaryXlsx&& other) noexcept
    : directory_(std::move(other.directory_)), file_(std::move(other.file_)) {
    other.directory_.clear();
    other.file_.clear();
}

TemporaryXlsx& TemporaryXlsx::operator=(TemporaryXlsx&& other) noexcept {
    if (this != &other) {
        removeDirectory();
        directory_ = std::move(other.directory_);
        file_ = std::move(other.file_);
        other.directory_.clear();
        other.file_.clear();
    }
    return *this;
}

void TemporaryXlsx::removeDirectory() noexcept {
    if (!directory_.empty()) removeTreeQuietly(directory_);
}

TemporaryXlsx convertToXlsx(const std::string& source) {
    const std::optional<ForeignFormat> format = foreignFormatOf(source);
    if (!format) raise(err::Application, "\"" + source + "\" is not an .xls or .ods workbook");
    // Read once as a regular file: a pipe or device never reaches the converter.
    const std::string content = files::readRegularFile(source, files::kMaxWorkbookFileBytes, "a workbook");

    const fs::path workDir = makeUniqueDirectory(files::temporaryDirectory(), "kbx-convert-", source);
    DirectoryGuard guard{workDir};
    // The converter works on a private copy: the user's file is never locked
    // or touched, and its name can never be taken for an option.
    const fs::path input = workDir / (std::string("workbook") + extensionFor(*format));
    files::replaceFileWith(input.string(), content);
    const fs::path output = workDir / "workbook.xlsx";
    convertFile({input, inputFilterFor(*format), output, "Calc MS Excel 2007 XML", source, "an .xlsx workbook"});
    std::error_code ec;
    fs::remove(input, ec);
    guard.dir.clear();
    return TemporaryXlsx(workDir, output);
}

void convertXlsxToXls(const std::string& source, const std::string& target) {
    convertXlsxTo(source, target, ForeignFormat::Xls);
}

void convertXlsxTo(const std::string& source, const std::string& target, ForeignFormat format) {
    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) raiseFileError(ENOENT, source);
    const fs::path targetPath = fs::absolute(target, ec);
    if (ec) raiseFileError(ec.value(), target);
    const fs::path targetDir = targetPath.parent_path();
    if (!fs::is_directory(targetDir, ec)) raise(err::PathNotFound, "Path not found: '" + targetDir.string() + "'");

    // The result is made in a hidden directory beside the target, so the final
    // rename stays on one file system and replaces the target in one step.
    const fs::path workDir = makeUniqueDirectory(targetDir, ".kbx-save-", target);
    DirectoryGuard guard{workDir};

    const fs::path input = workDir / "workbook.xlsx";
    if (!fs::copy_file(source, input, ec)) raiseFileError(ec.value(), source);
    const bool xls = format == ForeignFormat::Xls;
    const fs::path output = workDir / (std::string("result") + extensionFor(format));
    convertFile({input, std::nullopt, output, xls ? "MS Excel 97" : "calc8", target,
                 xls ? "a 97-2003 workbook" : "an OpenDocument spreadsheet"});
    files::moveIntoPlace(output.string(), targetPath.string());
}

}  // namespace kbx::xlsbridge
