#include "plainbom/placeholder_cell.h"

#include <cctype>

#include "server/excel_references.h"
#include "templatefill/copy_cell.h"
#include "value/runtime_error.h"

namespace kbx::plainbom {

std::string toUpperAscii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string cellTextOrEmpty(sheet::Worksheet& sheet, int32_t row, int32_t column) {
    try {
        return sheet.Cells(row, column)->Text();
    } catch (const RuntimeError&) {
        return "";
    }
}

void copyCellInColumn(sheet::Worksheet& sheet, int32_t destinationRow, int32_t sourceRow, int32_t column) {
    std::shared_ptr<sheet::Range> destination = sheet.Cells(destinationRow, column);
    std::shared_ptr<sheet::Range> source = sheet.Cells(sourceRow, column);
    templatefill::CopyCell(*destination, *source);
}

std::optional<std::string> elementText(const Variant& array, int32_t index) {
    const Variant& element = array.at(index);
    if (element.isNull() || element.isArray()) return std::nullopt;
    return toText(element);
}

sheet::Application& currentApplication() {
    std::shared_ptr<sheet::Application>& app = excelReferences().ExcelApp;
    if (!app) raise(err::ObjectNotSet);
    return *app;
}

}  // namespace kbx::plainbom
