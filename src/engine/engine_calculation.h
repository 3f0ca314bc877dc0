#pragma once
// Computing a workbook's formulas: the calculator of the formula layer over
// the workbook's sheets. Formula cells are registered from the stored <f>
// elements on the first calculation (shared formulas by their master's text,
// array formulas over their range); after that only cells written through the
// engine, sheets added and sheets renamed are told to it, and each
// calculation computes what they affect plus the volatile formulas. Computed
// values go into the cells with their type; a formula that cannot be
// computed keeps its stored value and is counted, so that the saved workbook
// asks its readers to recalculate.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "formula/calculator.h"
#include "formula/model.h"

namespace kbx::ooxml {
class SheetModel;
}

namespace kbx::engine {

class EngineWorkbook;
class EngineWorksheet;

class WorkbookCalculation final : public formula::Model, public formula::Sink {
public:
    explicit WorkbookCalculation(EngineWorkbook& book);
    ~WorkbookCalculation() override;

    // A cell's value was written (its formula, if any, is gone).
    void cellChanged(const EngineWorksheet& sheet, int32_t row, int32_t column);
    // A sheet was added (a copy or a new one): its formulas join at the next calculation.
    void sheetAdded(const EngineWorksheet& sheet);
    // A sheet that formulas or names may use was renamed: formulas are read again.
    void sheetRenamed();
    // Computes what changed since the last calculation, and volatile formulas
    // (only those of `volatileSheet` when given).
    void calculate(std::optional<uint32_t> volatileSheet = std::nullopt);
    // Whether every formula was computed by the last calculation.
    bool allComputed() const { return notComputed_.empty(); }
    // Logs how many formulas were not computed, and the first one with its reason.
    void logNotComputed() const;

    // formula::Model: sheets are named by their SheetId.
    std::optional<int32_t> sheetIndex(std::string_view name) const override;
    formula::CellView cell(int32_t sheet, int32_t row, int32_t column) const override;
    void forEachCell(const formula::Area& area, const formula::CellVisitor& visit) const override;
    std::optional<std::string> definedName(std::string_view name, int32_t sheet) const override;
    bool rowHidden(int32_t sheet, int32_t row) const override;
    bool date1904() const override;

    // formula::Sink
    void computed(const formula::CellAddress& cell, const formula::Value& value) override;
    void notComputed(const formula::CellAddress& cell, const std::string& reason) override;

private:
    ooxml::SheetModel* modelOf(int32_t sheet) const;
    void start();
    void registerSheet(EngineWorksheet& sheet);
    void applyChanges();
    void readDefinedNames();

    EngineWorkbook& book_;
    formula::Calculator calculator_;
    mutable int32_t lastSheet_ = -1;
    mutable ooxml::SheetModel* lastModel_ = nullptr;
    bool started_ = false;
    std::vector<formula::CellAddress> changedCells_;
    std::vector<uint32_t> addedSheets_;
    // The first cells of shared formulas: writing one takes the block's formula away.
    std::unordered_set<uint64_t> sharedMasters_;
    // Cells whose formulas were not computed, with the reason: those the
    // calculator reported, and those never given to it (data tables, unreadable ones).
    std::unordered_map<uint64_t, std::string> notComputed_;
    // Defined names by lower-case name and the SheetId they are local to (-1: the workbook).
    std::unordered_map<std::string, std::unordered_map<int64_t, std::string>> names_;
};

}  // namespace kbx::engine
