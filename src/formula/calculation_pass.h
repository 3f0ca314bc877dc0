#pragma once
// One recalculation of a Calculator: the evaluation context over the model
// and the computed values, the cells to compute and their order.

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <unordered_set>

#include "formula/calculator.h"
#include "formula/context.h"

namespace kbx::formula {

// Areas are told apart by a hash of their corners.
inline uint64_t areaKey(const Area& a) {
    uint64_t h = uint64_t(uint32_t(a.sheet)) * 0x9E3779B97F4A7C15ull;
    for (const int32_t v : {a.row1, a.column1, a.row2, a.column2}) h = (h ^ uint64_t(uint32_t(v))) * 0x100000001B3ull;
    return h;
}

// The areas that formulas read, found by a cell they contain: an area of a
// few columns and rows is filed under each (sheet, column, block of rows) it
// covers, a larger one goes to a list that every look-up checks.
class AreaReaders {
public:
    void add(const Area& area, uint32_t vertex) {
        auto [slot, fresh] = ids_.try_emplace(areaKey(area), uint32_t(areas_.size()));
        if (fresh) {
            areas_.push_back({area, {}});
            file(area, slot->second);
        }
        areas_[slot->second].second.push_back(vertex);
    }

    // Calls visit(vertex) for every reader of an area holding the cell; returns the work done.
    template <typename Visit>
    size_t forEachContaining(int32_t sheet, int32_t row, int32_t column, Visit visit) const {
        size_t work = large_.size();
        auto check = [&](uint32_t id) {
            if (!areas_[id].first.contains(sheet, row, column)) return;
            work += areas_[id].second.size();
            for (const uint32_t vertex : areas_[id].second) visit(vertex);
        };
        for (const uint32_t id : large_) check(id);
        if (const auto found = buckets_.find(bucket(sheet, column, row)); found != buckets_.end()) {
            work += found->second.size();
            for (const uint32_t id : found->second) check(id);
        }
        return work;
    }

private:
    static constexpr int32_t kBlock = 1024, kMaxFiled = 16;
    static uint64_t bucket(int32_t sheet, int32_t column, int32_t row) {
        return (uint64_t(uint32_t(sheet)) << 40) | (uint64_t(uint32_t(column)) << 20) | uint64_t((row - 1) / kBlock);
    }
    void file(const Area& a, uint32_t id) {
        const int32_t firstBlock = (a.row1 - 1) / kBlock, lastBlock = (a.row2 - 1) / kBlock;
        if (a.columns() > kMaxFiled || lastBlock - firstBlock >= kMaxFiled) {
            large_.push_back(id);
            return;
        }
        for (int32_t c = a.column1; c <= a.column2; ++c) {
            for (int32_t b = firstBlock; b <= lastBlock; ++b) buckets_[bucket(a.sheet, c, b * kBlock + 1)].push_back(id);
        }
    }

    std::unordered_map<uint64_t, uint32_t> ids_;
    std::vector<std::pair<Area, std::vector<uint32_t>>> areas_;
    std::unordered_map<uint64_t, std::vector<uint32_t>> buckets_;
    std::vector<uint32_t> large_;
};

// Who reads which single cell, and which areas.
struct Calculator::Listeners {
    std::unordered_map<uint64_t, std::vector<uint32_t>> cells;
    AreaReaders areas;
};

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
    const LookupIndex* lookupIndex(const Area& line) override;

    // The vertices to compute: the changed cells' dependants and volatile
    // formulas, or all of them.
    std::vector<uint32_t> dirtyVertices(bool all, std::optional<int32_t> volatileSheet);
    // The dirty vertices in dependency order; those in or behind a cycle go to `cyclic`.
    std::vector<uint32_t> order(const std::vector<uint32_t>& dirty, std::vector<uint32_t>& cyclic);
    // Computes one vertex (throws NeedFirst) and reports it.
    void compute(uint32_t vertex, Sink* sink);
    void report(uint32_t vertex, Sink& sink);
    // Reads of cells not yet computed give their last value (iteration).
    bool allowStale = false;

private:
    // The areas a vertex's formula reads; valid until the next call.
    std::span<const Area> references(uint32_t vertex);
    void collectReferences(const Formula& formula, const CellAddress& at, std::vector<Area>& out, int depth);
    std::optional<uint32_t> vertexAt(int32_t sheet, int32_t row, int32_t column) const;
    Value vertexValue(uint32_t vertex, int32_t row, int32_t column);
    void indexColumns(const std::vector<uint32_t>& dirty);
    void areaPrecedents(const Area& area, const std::unordered_set<uint64_t>& areas, std::vector<uint32_t>& out);

    Calculator& calc_;
    double now_;
    std::vector<Area> referenceAreas_;
    uint32_t passNumber_;
    std::unordered_map<std::string, std::shared_ptr<const Formula>> names_;
    std::map<std::array<int32_t, 5>, std::unique_ptr<LookupIndex>> lookups_;
    // Formula cells by sheet and column: sorted (row, vertex).
    std::map<std::pair<int32_t, int32_t>, std::vector<std::pair<int32_t, uint32_t>>> columns_;
};

}  // namespace kbx::formula
