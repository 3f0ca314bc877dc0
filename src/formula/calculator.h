#pragma once
// The dependency graph of a workbook's formula cells and its scheduler.
//
// The owner registers formula cells, tells which cells changed, and asks to
// recalculate: the calculator computes the dirty cells, their dependants and
// every volatile formula in dependency order, reporting each value (or "not
// computed") to a sink. Ordering uses an explicit work list, so a chain of a
// million cells needs no deeper stack than a chain of two; ranges are nodes
// of the graph, and A1:A100 rests on A1:A99 when both are used, so that
// running sums stay linear. Formula cells that differ only by their position
// share one parsed form.

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "formula/model.h"
#include "formula/program.h"

namespace kbx::formula {

class Calculator {
public:
    explicit Calculator(const Model& model);
    ~Calculator();
    Calculator(const Calculator&) = delete;
    Calculator& operator=(const Calculator&) = delete;

    // Registers (or replaces) the formula of a cell. `writtenAt` is the cell
    // the text was written for when it differs: the first cell of a shared
    // formula, whose text every cell of the group shares shifted by its offset.
    void setFormula(const CellAddress& cell, std::string_view text, std::optional<CellAddress> writtenAt = {});
    // An array formula filling rows × columns cells from its top left cell.
    void setArrayFormula(const CellAddress& topLeft, int32_t rows, int32_t columns, std::string_view text);
    void removeFormula(const CellAddress& cell);
    // Drops every formula (sheets were removed or renumbered).
    void clear();

    // A cell's value or formula changed: it and its dependants are computed
    // at the next recalculation.
    void cellChanged(const CellAddress& cell);
    // Sheets, defined names or the date system changed: everything is computed again.
    void markAllDirty();

    void setIteration(const Iteration& iteration) { iteration_ = iteration; }

    // Computes what changed since the last calculation, and volatile formulas
    // (only those of `volatileSheet` when given).
    void recalculate(Sink& sink, std::optional<int32_t> volatileSheet = std::nullopt);

    size_t formulaCount() const { return vertices_.size(); }
    // Distinct parsed forms among the registered formulas.
    size_t parsedFormCount() const { return shapes_.size(); }

    // A formula cell of the graph.
    struct Vertex {
        CellAddress cell;
        std::shared_ptr<const Formula> formula;  // null: not parsed (see reason)
        std::string reason;
        int32_t rows = 1, columns = 1;  // of an array formula's range
        Value value;
        enum class State : uint8_t { Free, Dirty, Done, NotComputed } state = State::Dirty;
        bool waiting = false;  // deferred until a cell it reads is computed
        bool reported = false;   // the sink has `value`
        bool unchanged = false;  // the last computation gave the value the sink has
    };
    struct Pass;
    struct Listeners;

private:
    friend struct Pass;
    uint32_t vertexFor(const CellAddress& cell);
    void iterate(Pass& pass, const std::vector<uint32_t>& cyclic, Sink& sink);
    std::shared_ptr<const Formula> intern(std::shared_ptr<const Formula> formula);
    // The parsed form of a text written for a cell: every cell of a shared
    // formula names the same text and cell, so it is parsed once.
    std::variant<std::shared_ptr<const Formula>, std::string> parsed(std::string_view text, const CellAddress& origin,
                                                                     bool array, bool shared);

    const Model& model_;
    Iteration iteration_;
    std::vector<Vertex> vertices_;
    std::vector<uint32_t> freeVertices_;
    std::unordered_map<uint64_t, uint32_t> byCell_;
    // Cells inside array formulas' ranges (other than the top left): their vertex.
    std::unordered_map<uint64_t, uint32_t> arrayCells_;
    std::unordered_map<std::string, std::weak_ptr<const Formula>> shapes_;
    std::unordered_map<std::string, std::shared_ptr<const Formula>> recentTexts_;
    std::vector<uint64_t> changed_;
    bool allDirty_ = true;
    // Who reads what, kept between calculations. Formulas added since it was
    // built join it at the next calculation; a removed formula's entries stay
    // and at most make a later formula of its vertex computed once too often.
    std::unique_ptr<Listeners> listeners_;
    std::vector<uint32_t> unindexed_;
    // Vertices whose formulas are volatile (some may have been removed since).
    std::vector<uint32_t> volatile_;
    // Scratch of the passes, by vertex: the node of each vertex a pass
    // computes, and where the areas its formula reads are listed.
    std::vector<uint32_t> nodeOfVertex_;
    struct ReferenceSlot {
        uint32_t pass = 0, first = 0, count = 0;
    };
    std::vector<ReferenceSlot> referenceSlots_;
    uint32_t passes_ = 0;
    std::mt19937_64 random_;
};

// The key of a cell for hashing, and the cell of a key.
inline uint64_t cellKey(int32_t sheet, int32_t row, int32_t column) {
    return (uint64_t(uint32_t(sheet)) << 34) | (uint64_t(uint32_t(row - 1)) << 14) | uint64_t(uint32_t(column - 1));
}
inline uint64_t cellKey(const CellAddress& cell) { return cellKey(cell.sheet, cell.row, cell.column); }
inline CellAddress cellOfKey(uint64_t key) {
    return {int32_t(key >> 34), int32_t((key >> 14) & 0xFFFFF) + 1, int32_t(key & 0x3FFF) + 1};
}


}  // namespace kbx::formula
