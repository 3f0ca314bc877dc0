// Functions about references: ROW, ROWS, COLUMN, COLUMNS, OFFSET, INDIRECT,
// ADDRESS, HYPERLINK.

#include <cmath>

#include "formula/evaluator.h"
#include "formula/functions.h"
#include "formula/parser.h"
#include "value/cell_reference.h"

namespace kbx::formula {

namespace {

Value rowOrColumn(Context& c, Arguments& a, bool row) {
    if (a.empty() || a[0].isBlank()) return double(row ? c.row : c.column);
    if (a[0].isError()) return a[0];
    const Area& area = singleArea(a[0]);
    return double(row ? area.row1 : area.column1);
}
Value row(Context& c, Arguments& a) { return rowOrColumn(c, a, true); }
Value column(Context& c, Arguments& a) { return rowOrColumn(c, a, false); }

Value extent(Context& c, Arguments& a, bool rows) {
    if (a[0].isError()) return a[0];
    if (a[0].isReference()) {
        const Area& area = singleArea(a[0]);
        return double(rows ? area.rows() : area.columns());
    }
    const auto array = arrayOf(c, a[0]);
    return double(rows ? array->rows : array->columns);
}
Value rows(Context& c, Arguments& a) { return extent(c, a, true); }
Value columns(Context& c, Arguments& a) { return extent(c, a, false); }

Value offset(Context&, Arguments& a) {
    if (a[0].isError()) return a[0];
    const Area& base = singleArea(a[0]);
    const int64_t dr = asInteger(a[1]), dc = asInteger(a[2]);
    const int64_t height = a.size() > 3 && !a[3].isBlank() ? asInteger(a[3]) : base.rows();
    const int64_t width = a.size() > 4 && !a[4].isBlank() ? asInteger(a[4]) : base.columns();
    if (height == 0 || width == 0) return ErrorCode::Ref;
    const int64_t r1 = base.row1 + dr, c1 = base.column1 + dc;
    const int64_t r2 = r1 + height + (height > 0 ? -1 : 1), c2 = c1 + width + (width > 0 ? -1 : 1);
    if (std::min(r1, r2) < 1 || std::max(r1, r2) > kMaxRows || std::min(c1, c2) < 1 || std::max(c1, c2) > kMaxColumns) {
        return ErrorCode::Ref;
    }
    return Reference{Area{base.sheet, int32_t(std::min(r1, r2)), int32_t(std::min(c1, c2)), int32_t(std::max(r1, r2)),
                          int32_t(std::max(c1, c2))}};
}

// INDIRECT: the text is read as a reference (or a defined name) from this cell.
Value indirect(Context& c, Arguments& a) {
    const std::string text = asText(a[0]);
    if (a.size() > 1 && !a[1].isBlank() && !asBoolean(a[1])) throw NotComputed{"INDIRECT with R1C1 references"};
    auto parsed = parseFormula(text, c.row, c.column);
    const auto* formula = std::get_if<std::shared_ptr<const Formula>>(&parsed);
    if (!formula) return ErrorCode::Ref;
    const Formula& f = **formula;
    const bool single = f.code.size() == 1 && (f.code[0].op == Op::Reference || f.code[0].op == Op::Name);
    const bool area = f.code.size() == 3 && f.code[0].op == Op::Reference && f.code[1].op == Op::Reference && f.code[2].op == Op::Range;
    if (!single && !area) return ErrorCode::Ref;
    const Value result = evaluateRaw(f, c);
    return result.isReference() ? result : Value(ErrorCode::Ref);
}

std::string quotedSheet(const std::string& sheet) {
    bool plain = !sheet.empty() && !std::isdigit(static_cast<unsigned char>(sheet[0]));
    for (const char ch : sheet) plain = plain && (std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '.');
    if (plain) return sheet;
    std::string out = "'";
    for (const char ch : sheet) out += ch == '\'' ? std::string("''") : std::string(1, ch);
    return out + "'";
}

Value address(Context&, Arguments& a) {
    const int64_t row = asInteger(a[0]), column = asInteger(a[1]);
    const int64_t kind = a.size() > 2 && !a[2].isBlank() ? asInteger(a[2]) : 1;
    const bool a1 = !(a.size() > 3 && !a[3].isBlank() && !asBoolean(a[3]));
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns || kind < 1 || kind > 4) return ErrorCode::Value;
    const bool absRow = kind == 1 || kind == 2, absColumn = kind == 1 || kind == 3;
    std::string out;
    if (a1) {
        out = (absColumn ? "$" : "") + columnName(int32_t(column)) + (absRow ? "$" : "") + std::to_string(row);
    } else {
        out = "R" + (absRow ? std::to_string(row) : "[" + std::to_string(row) + "]") + "C" +
              (absColumn ? std::to_string(column) : "[" + std::to_string(column) + "]");
    }
    if (a.size() > 4 && !a[4].isBlank()) out = quotedSheet(asText(a[4])) + "!" + out;
    return out;
}

Value hyperlink(Context&, Arguments& a) { return a.size() > 1 && !a[1].isBlank() ? a[1] : Value(asText(a[0])); }

const FunctionInfo kFunctions[] = {
    {"ROW", 0, 1, "R", 0, row},
    {"COLUMN", 0, 1, "R", 0, column},
    {"ROWS", 1, 1, "R", 0, rows},
    {"COLUMNS", 1, 1, "R", 0, columns},
    {"OFFSET", 3, 5, "RV", kVolatile, offset},
    {"INDIRECT", 1, 2, "V", kVolatile, indirect},
    {"ADDRESS", 2, 5, "V", 0, address},
    {"HYPERLINK", 1, 2, "V", 0, hyperlink},
};

}  // namespace

std::span<const FunctionInfo> referenceFunctions() { return kFunctions; }

}  // namespace kbx::formula
