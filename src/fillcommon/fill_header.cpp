#include "fillcommon/fill_header.h"

#include "fillcommon/placeholder.h"
#include "fillcommon/placeholder_cell.h"

namespace kbx::fillcommon {

namespace {

void fillHeadPlaceholder(sheet::Worksheet& sheet, int32_t row, int32_t column, const std::string& name,
                         const Variant& names, const Variant& values) {
    const int32_t upper = names.upperBound();
    for (int32_t i = 0; i <= upper; ++i) {
        if (elementText(names, i) == name) sheet.Cells(row, column)->SetValue(Variant(toText(values.at(i))));
    }
}

}  // namespace

int32_t FillHeader(sheet::Worksheet& sheet, const Variant& names, const Variant& values, int32_t& maxCol) {
    int32_t positionRow = -1;
    for (int32_t row = 1; row <= kHeaderScanRows; ++row) {
        for (int32_t column = 1; column <= kHeaderScanColumns; ++column) {
            const std::string text = cellTextOrEmpty(sheet, row, column);
            // Once per column is enough: the format applies to the whole column
            // and is in place before anything is written into it.
            if (row == 1) sheet.Columns(column)->SetNumberFormat("@");
            const std::optional<Placeholder> placeholder = ParsePlaceholder(text);
            if (!placeholder) continue;
            if (column > maxCol) maxCol = column;
            if (placeholder->kind == "pos") positionRow = row;
            if (placeholder->kind == "head") fillHeadPlaceholder(sheet, row, column, placeholder->name, names, values);
        }
    }
    return positionRow;
}

}  // namespace kbx::fillcommon
