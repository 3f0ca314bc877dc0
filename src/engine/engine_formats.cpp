#include "engine/engine_formats.h"

#include "sheet/workbook.h"
#include "value/runtime_error.h"

namespace kbx::engine {

std::optional<int32_t> foreignFileFormat(const std::string& path) {
    const std::optional<xlsbridge::ForeignFormat> format = xlsbridge::foreignFormatOf(path);
    if (!format) return std::nullopt;
    return *format == xlsbridge::ForeignFormat::Xls ? sheet::xl::FormatWorkbookNormal : kFormatOpenDocument;
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
