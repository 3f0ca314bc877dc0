#include "ooxml/engine_formats.h"

#include "sheet/workbook.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {

std::optional<int32_t> foreignFileFormat(const std::string& path) {
    const std::optional<ForeignFormat> format = foreignFormatOf(path);
    if (!format) return std::nullopt;
    return *format == ForeignFormat::Xls ? sheet::xl::FormatWorkbookNormal : kFormatOpenDocument;
}

TemporaryXlsx importForeignWorkbook(const std::string& path) { return convertToXlsx(path); }

void exportForeignFormat(const std::string& xlsxPath, const std::string& target, int32_t fileFormat) {
    if (fileFormat == sheet::xl::FormatWorkbookNormal) return convertXlsxTo(xlsxPath, target, ForeignFormat::Xls);
    if (fileFormat == kFormatOpenDocument) return convertXlsxTo(xlsxPath, target, ForeignFormat::Ods);
    raiseSpreadsheet("Cannot save '" + target + "' in file format " + std::to_string(fileFormat) + ".");
}

}  // namespace kbx::ooxml
