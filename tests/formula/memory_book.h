#pragma once
// A workbook in memory for the formula layer's tests: sheets and cells in a
// sorted map, no defined names; it is the calculator's model and its sink (each
// computed value is written back into its cell).

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "formula/calculator.h"
#include "formula/model.h"

namespace kbx::test {

class MemoryBook : public formula::Model, public formula::Sink {
public:
    explicit MemoryBook(std::vector<std::string> sheets) : sheets_(std::move(sheets)), calculator(*this) {}

    // A value at "A1" of a sheet (by index); tells the calculator.
    void set(int32_t sheet, const std::string& a1, formula::Value value);
    // A formula at "A1"; `writtenAt` as for Calculator::setFormula.
    void setFormula(int32_t sheet, const std::string& a1, const std::string& text, const std::string& writtenAt = "");
    void recalculate() { calculator.recalculate(*this); }

    // The value of a cell; the reason it was not computed, or "".
    formula::Value value(int32_t sheet, const std::string& a1) const;
    std::string notComputedReason(int32_t sheet, const std::string& a1) const;
    int computedCount = 0;
    std::vector<std::pair<int32_t, int32_t>> hiddenRows;

    // Model
    std::optional<int32_t> sheetIndex(std::string_view name) const override;
    formula::CellView cell(int32_t sheet, int32_t row, int32_t column) const override;
    void forEachCell(const formula::Area& area, const formula::CellVisitor& visit) const override;
    std::optional<std::string> definedName(std::string_view, int32_t) const override { return std::nullopt; }
    bool rowHidden(int32_t sheet, int32_t row) const override;
    bool date1904() const override { return false; }

    // Sink
    void computed(const formula::CellAddress& cell, const formula::Value& value) override;
    void notComputed(const formula::CellAddress& cell, const std::string& reason) override;

private:
    struct Cell {
        formula::Value value;
        bool formula = false;
        std::string reason;
    };
    using Key = std::tuple<int32_t, int32_t, int32_t>;
    static Key key(int32_t sheet, const std::string& a1);

    std::vector<std::string> sheets_;
    std::map<Key, Cell> cells_;

public:
    formula::Calculator calculator;
};

}  // namespace kbx::test
