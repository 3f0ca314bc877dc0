#pragma once
// The small cell steps every plain and summary fill repeats: reading a
// cell's text with errors ignored and carrying a cell down.

#include <optional>
#include <string>

#include "sheet/worksheet.h"

namespace kbx::fillcommon {

// The text a cell shows; a cell that cannot be read counts as empty.
std::string cellTextOrEmpty(sheet::Worksheet& sheet, int32_t row, int32_t column);

// CopyCell from (sourceRow, column) onto (destinationRow, column).
void copyCellInColumn(sheet::Worksheet& sheet, int32_t destinationRow, int32_t sourceRow, int32_t column);

// Text of a Variant array element, or nullopt when it has none (Null, array).
std::optional<std::string> elementText(const Variant& array, int32_t index);

}  // namespace kbx::fillcommon
