#include "engine/engine_formats.h"

#include <filesystem>

#include "sheet/workbook.h"
#include "value/runtime_error.h"
#include "value/text_case.h"

namespace kbx::engine {

std::optional<int32_t> foreignFileFormat(const std::string& path) {
    const std::optional<xlsbridge::ForeignFormat> format = xlsbridge::foreignFormatOf(path);
    if (!format) return std::nullopt;
    return *format == xlsbridge::ForeignFormat::Xls ? sheet::xl::FormatWorkbookNormal : kFormatOpenDocument;
}

std::optional<int32_t> fileFormatNamedBy(const std::string& path) {
    const std::string extension = lowerCase(std::filesystem::path(path).extension().string());
    if (extension == ".xlsx") return sheet::xl::FormatOpenXmlWorkbook;
    if (extension == ".xlsm") return sheet::xl::FormatOpenXmlMacroEnabled;
    if (extension == ".xls") return sheet::xl::FormatWorkbookNormal;
    if (extension == ".ods") return kFormatOpenDocument;
    return std::nullopt;
}

xlsbridge::TemporaryXlsx importForeignWorkbook(const std::string& path) { return xlsbridge::convertToXlsx(path); }

void exportForeignFormat(const std::string& xlsxPath, const std::string& target, int32_t fileFormat) {
    if (fileFormat == sheet::xl::FormatWorkbookNormal)
        return xlsbridge::convertXlsxTo(xlsxPath, target, xlsbridge::ForeignFormat::Xls);
    if (fileFormat == kFormatOpenDocument)
        return xlsbridge::convertXlsxTo(xlsxPath, target, xlsbridge::ForeignFormat::Ods);
    raiseSpreadsheet("Cannot save '" + target + "' in file format " + std::to_string(fileFormat) + ".");
}

}  // namespace kbx::engine
