#pragma once
// One recalculation of a Calculator: the evaluation context over the model
// and the computed values, the cells to compute and their order.

#include <map>
#include <unordered_map>
#include <unordered_set>

#include "formula/calculator.h"
#include "formula/context.h"

namespace kbx::formula {

// Thrown when a formula reads a cell that must be computed first.
struct NeedFirst {
    uint32_t vertex;
};

struct Calculator::Pass : Context {
    Pass(Calculator& calculator, double now);

    // Context
    Value cell(int32_t sheet, int32_t row, int32_t column) override;
    void forEachCell(const Area& area, const CellVisitor& visit) override;
    std::optional<int32_t> sheetIndex(std::string_view name) override;
    std::shared_ptr<const Formula> definedName(std::string_view name, int32_t sheet) override;
    bool isFormula(int32_t sheet, int32_t row, int32_t column) override;
    bool holdsSubtotal(int32_t sheet, int32_t row, int32_t column) override;
    bool rowHidden(int32_t sheet, int32_t row) override;
    bool date1904() override;
    double now() override { return now_; }
    double random() override;

    // The vertices to compute: the changed cells' dependants and volatile
    // formulas, or all of them.
    std::vector<uint32_t> dirtyVertices(bool all);
    // The dirty vertices in dependency order; those in or behind a cycle go to `cyclic`.
    std::vector<uint32_t> order(const std::vector<uint32_t>& dirty, std::vector<uint32_t>& cyclic);
    // Computes one vertex (throws NeedFirst) and reports it.
    void compute(uint32_t vertex, Sink* sink);
    void report(uint32_t vertex, Sink& sink);
    // Reads of cells not yet computed give their last value (iteration).
    bool allowStale = false;

private:
    const std::vector<Area>& references(uint32_t vertex);
    void collectReferences(const Formula& formula, const CellAddress& at, std::vector<Area>& out, int depth);
    std::optional<uint32_t> vertexAt(int32_t sheet, int32_t row, int32_t column) const;
    Value vertexValue(uint32_t vertex, int32_t row, int32_t column);
    void indexColumns();
    void areaPrecedents(const Area& area, const std::unordered_set<uint64_t>& areas, std::vector<uint32_t>& out);

    Calculator& calc_;
    double now_;
    std::unordered_map<uint32_t, std::vector<Area>> references_;
    std::unordered_map<std::string, std::shared_ptr<const Formula>> names_;
    // Formula cells by sheet and column: sorted (row, vertex).
    std::map<std::pair<int32_t, int32_t>, std::vector<std::pair<int32_t, uint32_t>>> columns_;
};

}  // namespace kbx::formula
