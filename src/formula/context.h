#pragma once
// What evaluating a formula needs from its surroundings: the cells of the
// workbook, its sheets and defined names, the clock and a random source.
// The scheduler implements it over the workbook model.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "formula/program.h"
#include "formula/value.h"

namespace kbx::formula {

// Thrown while evaluating a formula that is not computed: an unsupported
// function or construct, a precedent that was not computed, a cycle.
struct NotComputed {
    std::string reason;
};

// Visits the existing cells of an area, row by row: (row, column, content);
// returns false to stop.
using CellVisitor = std::function<bool(int32_t, int32_t, const CellView&)>;

// Where each value of a row or column of cells first occurs, for exact
// lookups: numbers, texts in lower case, booleans.
struct LookupIndex {
    std::unordered_map<double, int64_t> numbers;
    std::unordered_map<std::string, int64_t> texts;
    int64_t positionOfFalse = -1, positionOfTrue = -1;
};

class Context {
public:
    virtual ~Context() = default;

    // The content of a cell (a formula cell's computed value); may throw
    // NotComputed, or the scheduler's own signal that a precedent comes first.
    virtual Value cell(int32_t sheet, int32_t row, int32_t column) = 0;
    // Each existing cell of the area, blank ones skipped.
    virtual void forEachCell(const Area& area, const CellVisitor& visit) = 0;
    // The index of a sheet named so (case-insensitive).
    virtual std::optional<int32_t> sheetIndex(std::string_view name) = 0;
    // The parsed form of a defined name visible from the sheet (sheet scope
    // first), nullptr when there is none.
    virtual std::shared_ptr<const Formula> definedName(std::string_view name, int32_t sheet) = 0;
    virtual bool isFormula(int32_t sheet, int32_t row, int32_t column) = 0;
    // Whether the cell's formula calls SUBTOTAL (SUBTOTAL leaves such cells out).
    virtual bool holdsSubtotal(int32_t sheet, int32_t row, int32_t column) = 0;
    virtual bool rowHidden(int32_t sheet, int32_t row) = 0;
    virtual bool date1904() = 0;
    // The time of this calculation as a serial, and a random number in [0, 1).
    virtual double now() = 0;
    virtual double random() = 0;
    // An index of a one-row or one-column area that holds no formula, or
    // nullptr (then the caller searches the cells one by one).
    virtual const LookupIndex* lookupIndex(const Area& line) {
        (void)line;
        return nullptr;
    }

    // The cell whose formula is evaluated.
    int32_t sheet = 0, row = 1, column = 1;
    // Nesting of defined names being evaluated.
    int nameDepth = 0;
};

}  // namespace kbx::formula
