#include "fillcommon/placeholder_cell.h"

#include "fillcommon/copy_cell.h"
#include "value/runtime_error.h"

namespace kbx::fillcommon {

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
    CopyCell(*destination, *source);
}

std::optional<std::string> elementText(const Variant& array, int32_t index) {
    const Variant& element = array.at(index);
    if (element.isNull() || element.isArray()) return std::nullopt;
    return toText(element);
}

}  // namespace kbx::fillcommon
