#pragma once
// The workbook as the calculator reaches it (implemented by the engine over
// its cell store, without copying cells), and the sink that receives each
// computed value.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "formula/context.h"
#include "formula/value.h"

namespace kbx::formula {

struct CellAddress {
    int32_t sheet = 0;
    int32_t row = 1;
    int32_t column = 1;
    bool operator==(const CellAddress&) const = default;
};

class Model {
public:
    virtual ~Model() = default;
    // The index of the sheet of that name, compared without regard to case.
    virtual std::optional<int32_t> sheetIndex(std::string_view name) const = 0;
    // A cell's content; a formula cell is marked so (its value is ignored
    // when the calculator computes that cell).
    virtual CellView cell(int32_t sheet, int32_t row, int32_t column) const = 0;
    // The existing cells of an area, row by row, blank ones may be skipped.
    virtual void forEachCell(const Area& area, const CellVisitor& visit) const = 0;
    // The formula text of a defined name: the sheet's own name first, then
    // the workbook's. nullopt when neither exists.
    virtual std::optional<std::string> definedName(std::string_view name, int32_t sheet) const = 0;
    virtual bool rowHidden(int32_t sheet, int32_t row) const = 0;
    virtual bool date1904() const = 0;
};

class Sink {
public:
    virtual ~Sink() = default;
    // The value computed for a cell: number, text, boolean, error or blank
    // (blank only for the cells of an array formula's range that it does not fill).
    virtual void computed(const CellAddress& cell, const Value& value) = 0;
    // The formula of the cell could not be computed; its stored value stays.
    virtual void notComputed(const CellAddress& cell, const std::string& reason) = 0;
};

// Iterative calculation as the workbook's calcPr sets it.
struct Iteration {
    bool enabled = false;
    int maxCount = 100;
    double maxChange = 0.001;
};

}  // namespace kbx::formula
