#pragma once
// The cells of one worksheet in memory: its rows found by number in one
// step, each row's cells in a vector sorted by column (16 bytes a cell, no
// allocation of its own), and the texts and formulas of the few cells that
// have them in a side table.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace kbx::ooxml {

// More cells than this in one sheet of a file are refused: at 16 bytes a
// cell this bounds a sheet's cells to 512 MiB (memory bound).
inline constexpr size_t kMaxCellsRead = 32u << 20;

enum class CellKind : uint8_t { Empty, Number, Shared, Inline, Boolean, Error, FormulaText };

// What few cells have, kept apart so that ordinary cells stay small.
struct CellExtra {
    std::string text;        // Inline, Error and FormulaText cells
    std::string formula;     // the cell's <f> element as written in the template
    std::string richInline;  // an inline string with runs, kept as written
    int64_t sharedFormula = -1;    // si of a shared formula, -1 for others
    bool sharedFormulaMaster = false;  // the cell that holds the shared formula's text
};

struct CellData {
    uint32_t style = 0;
    uint16_t column = 0;
    CellKind kind = CellKind::Empty;
    bool hasExtra = false;  // the store holds a CellExtra for it
    union {
        double number = 0;  // Number and Boolean
        uint32_t shared;    // Shared: index into the shared-string table
    };
};
static_assert(sizeof(CellData) == 16);

struct RowData {
    std::vector<CellData> cells;  // sorted by column
    double height = -1;  // points; -1 when the row has no height of its own
    int32_t style = -1;  // row format (customFormat) or -1
    uint32_t extraAttributes = 0;  // index + 1 into the store's attribute texts, 0 for none
    bool customHeight = false;
    bool hidden = false;
};

// First and last used row and column.
using CellBounds = std::array<int32_t, 4>;

class CellStore {
public:
    const CellData* findCell(int32_t row, int32_t column) const;
    // The text, formula and rich text of a cell, or nullptr.
    const CellExtra* extraOf(int32_t row, int32_t column) const;
    // The cell to change, or nullptr when there is none yet.
    CellData* existingCellForWrite(int32_t row, int32_t column) { return lookup(row, column); }
    // A new cell, with its row's format, else `columnStyle` when that is not
    // -1. The reference is good until the next cell of its row is created.
    CellData& createCell(int32_t row, int32_t column, int32_t columnStyle);
    // Drops the cell's text and formula.
    void dropExtra(int32_t row, CellData& cell);
    // The format of a cell or its row: the cell's own, else its row's, else -1.
    int64_t ownStyleAt(int32_t row, int32_t column) const;
    // How many cells were created with their row's format (not their column's).
    uint64_t cellsTakingRowFormat() const { return cellsTakingRowFormat_; }
    // Calls `f` for every existing cell of a column; whether there was one.
    bool forEachCellInColumn(int32_t column, const std::function<void(CellData&)>& f);
    // Calls `edit` with every cell formula; whether `edit` changed any.
    bool forEachFormula(const std::function<bool(std::string&)>& edit);
    // Calls `f` with the row, column and extra of every cell that holds a formula.
    void forEachFormulaCell(const std::function<void(int32_t, int32_t, const CellExtra&)>& f) const;
    // Calls `visit` with the existing cells of rows top..bottom and columns
    // left..right, row by row, until it returns false.
    void forEachCellIn(int32_t top, int32_t left, int32_t bottom, int32_t right,
                       const std::function<bool(int32_t, const CellData&)>& visit) const;
    std::optional<CellBounds> usedBounds() const { return usedBounds_; }
    size_t cellCount() const { return cellCount_; }
    // Bytes the cells and rows take (for measurements).
    size_t memoryBytes() const;

    // Rows, for reading and writing the sheet.
    const RowData* findRow(int32_t row) const;
    RowData& rowForWrite(int32_t row);
    // Calls `f` with every row in order and its number.
    void forEachRow(const std::function<void(int32_t, const RowData&)>& f) const;
    // Other attributes of a row element, kept as written.
    void setRowAttributes(RowData& row, std::string attributes);
    const std::string& rowAttributes(const RowData& row) const { return rowAttributes_[row.extraAttributes - 1]; }
    // Adds a cell read from a file: at the end of its row, or (for a cell
    // whose place is taken or comes out of order) where its column says,
    // replacing a cell read before at the same place.
    void addReadCell(int32_t row, const CellData& cell, bool inOrder);
    CellExtra& extraForWrite(int32_t row, CellData& cell);
    // The extra of a cell of `row` that has one, without looking the cell up.
    const CellExtra* extraAt(int32_t row, const CellData& cell) const;
    // The shared formulas whose master cell still holds their text; nullopt
    // when the sheet has no shared formulas.
    std::optional<std::set<int64_t>> sharedFormulaMasters() const;

private:
    static uint64_t extraKey(int32_t row, int32_t column) {
        return (static_cast<uint64_t>(row) << 16) | static_cast<uint64_t>(column);
    }
    RowData* row(int32_t number) const;
    CellData* lookup(int32_t row, int32_t column) const;
    void remember(int32_t row, int32_t column, CellData* cell) const;
    void extendUsedBounds(int32_t row, int32_t column);

    // The last cells looked up: a cell copy alternates between two cells.
    // The pointers are forgotten when their row's cells move, and a copy of
    // the store starts without them.
    struct RecentCell {
        int32_t row = 0, column = 0;
        CellData* cell = nullptr;
    };
    struct RecentCells {
        std::array<RecentCell, 2> cells{};
        size_t next = 0;
        RecentCells() = default;
        RecentCells(const RecentCells&) {}
        RecentCells& operator=(const RecentCells&) {
            cells = {};
            next = 0;
            return *this;
        }
    };
    mutable RecentCells recent_;

    // Rows by number: rowSlots_[row] is the index + 1 of the row in rows_, 0 for none.
    mutable std::vector<RowData> rows_;
    std::vector<uint32_t> rowSlots_;
    std::vector<std::string> rowAttributes_;
    std::unordered_map<uint64_t, CellExtra> extras_;
    size_t cellCount_ = 0;
    // Kept up to date as cells are created (cells are never removed).
    std::optional<CellBounds> usedBounds_;
    uint64_t cellsTakingRowFormat_ = 0;
};

}  // namespace kbx::ooxml
