#pragma once
// The format bridge: workbooks the engine does not read or write itself
// (.xls, the 97-2003 format, and .ods) are converted by LibreOffice Calc.
// Opening converts to a temporary .xlsx that the engine edits; saving in the
// 97-2003 format converts the engine's .xlsx to .xls.
//
// The conversions run in one warm LibreOffice, headless and with a profile
// of its own, driven through UNO (warm_office.h): started on the first
// conversion and kept until the program ends, shared with the other
// programs of this user while it runs. A LibreOffice the user runs is never
// touched. Failures become run-time errors 1004 with a readable text.
//
// Environment:
//   KESTBOMEX_SOFFICE          converter program (name looked up in PATH, or a
//                              path); default "soffice"
//   KESTBOMEX_CONVERT_TIMEOUT  time limit per conversion (and per start of the
//                              converter) in seconds; default 60
//   KESTBOMEX_CONVERTER_IDLE   seconds the bus service keeps an idle converter; default 300
//   KESTBOMEX_PYTHON           the Python with LibreOffice's UNO bridge; default /usr/bin/python3

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace kbx::xlsbridge {

// Formats that go through the converter.
enum class ForeignFormat { Xls, Ods };

// The foreign format a file name asks for by its extension (any case:
// .xls and .xlt are the 97-2003 format, .ods the OpenDocument one);
// nullopt for every other extension.
std::optional<ForeignFormat> foreignFormatOf(const std::string& path);

// The converter program and the time limit, from the environment.
std::string converterProgram();
std::chrono::seconds conversionTimeLimit();
// How long the bus service keeps a converter without a conversion.
std::chrono::seconds converterIdleLimit();

// From now on the converter this program started is ended after `idle`
// without a conversion; without this call it runs until the program ends.
void endConverterWhenIdle(std::chrono::seconds idle);

// A converted workbook in a private temporary directory; the directory and
// the file go away with the object.
class TemporaryXlsx {
public:
    TemporaryXlsx(std::filesystem::path directory, std::filesystem::path file);
    ~TemporaryXlsx();
    TemporaryXlsx(TemporaryXlsx&& other) noexcept;
    TemporaryXlsx& operator=(TemporaryXlsx&& other) noexcept;
    TemporaryXlsx(const TemporaryXlsx&) = delete;
    TemporaryXlsx& operator=(const TemporaryXlsx&) = delete;

    // The .xlsx file to open.
    std::string path() const { return file_.string(); }

private:
    void removeDirectory() noexcept;
    std::filesystem::path directory_;
    std::filesystem::path file_;
};

// Converts an .xls or .ods workbook to .xlsx in a new temporary directory.
// A missing source raises 53; a file the converter cannot load, a converter
// that cannot be started, ends twice or overruns the time limit, or a
// missing converter program raise 1004.
TemporaryXlsx convertToXlsx(const std::string& source);

// Converts the .xlsx workbook `source` to `format` at `target`. The result
// is written beside the target under a temporary name and renamed over it,
// so the target is either the old file or the complete new one.
void convertXlsxTo(const std::string& source, const std::string& target, ForeignFormat format);
// The same for the 97-2003 format.
void convertXlsxToXls(const std::string& source, const std::string& target);

}  // namespace kbx::xlsbridge
