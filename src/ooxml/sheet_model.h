#pragma once
// One worksheet in memory: its rows found by number in one step, each row's
// cells in a vector sorted by column (16 bytes a cell, no allocation of its
// own), its rows' and columns' sizes and styles, and the rest of the
// worksheet XML as a pugixml document whose <sheetData> is regenerated when
// the sheet is saved. Sheet XML is read and written in pieces, never whole.

#include <pugixml.hpp>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ooxml/deflate.h"
#include "value/cell_reference.h"

namespace kbx::ooxml {

class StyleSheet;
class SharedStrings;

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
    bool hasExtra = false;  // the model holds a CellExtra for it
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
    uint32_t extraAttributes = 0;  // index + 1 into the model's attribute texts, 0 for none
    bool customHeight = false;
    bool hidden = false;
};

struct ColumnData {
    int32_t last = 0;    // the range runs from its map key to `last`
    double width = -1;   // the stored <col width>, -1 when absent
    bool customWidth = false;
    bool hidden = false;
    int32_t style = -1;
    std::string extraAttributes;
};

class SheetModel {
public:
    SheetModel(std::string partName, std::string fileName);

    // Reads the worksheet; styles and strings are used to check indexes.
    void load(const PieceReader& read, const StyleSheet& styles, const SharedStrings& strings);
    void load(const std::string& xml, const StyleSheet& styles, const SharedStrings& strings);
    void createEmpty();
    std::string serialize();
    // A new model holding what this one would save (the model of a sheet copy).
    std::unique_ptr<SheetModel> clone();
    // The sheet XML deflated as it is written, without the whole text.
    DeflatedPart serializeDeflated();
    // Bytes the cells and rows take (for measurements).
    size_t cellMemoryBytes() const;
    size_t cellCount() const { return cellCount_; }

    const std::string& partName() const { return partName_; }
    void setPartName(std::string name) { partName_ = std::move(name); }
    pugi::xml_document& xml() { return doc_; }
    bool dirty() const { return dirty_; }
    void markDirty() { dirty_ = true; }

    const CellData* findCell(int32_t row, int32_t column) const;
    // The text, formula and rich text of a cell, or nullptr.
    const CellExtra* extraOf(int32_t row, int32_t column) const;
    // The cell, created with its row's or column's format when new. The
    // reference is good until the next cell of its row is created.
    CellData& cellForWrite(int32_t row, int32_t column);
    // Gives the cell a value (kind, number or shared-string index), dropping
    // its text and formula; the format stays.
    void setValue(int32_t row, int32_t column, CellKind kind, double number, uint32_t shared);
    // How many cells were created with their row's format (not their column's).
    uint64_t cellsTakingRowFormat() const { return cellsTakingRowFormat_; }
    // The format a cell shows: its own, else its row's, else its column's.
    uint32_t styleAt(int32_t row, int32_t column) const;
    // Calls `f` for every existing cell of a column.
    void forEachCellInColumn(int32_t column, const std::function<void(CellData&)>& f);
    // Calls `edit` with every cell formula (its <f> element as XML); a formula
    // `edit` returns true for was changed and makes the sheet dirty.
    void forEachFormula(const std::function<bool(std::string&)>& edit);
    // First and last used row and column; nullopt for an empty sheet.
    std::optional<std::array<int32_t, 4>> usedBounds() const;

    int32_t columnStyle(int32_t column) const;
    void setColumnStyle(int32_t column, uint32_t style);

    // Sizes. Column widths in the file's unit (characters with padding).
    void setMaxDigitWidth(double pixels) { maxDigitWidth_ = pixels; }
    double maxDigitWidth() const { return maxDigitWidth_; }
    double storedColumnWidth(int32_t column) const;
    void setStoredColumnWidth(int32_t column, double width);
    double defaultRowHeight() const;
    double rowHeightPoints(int32_t row) const;
    void setRowHeight(int32_t row, double points);
    double columnWidthPixels(int32_t column) const;
    double columnWidthPoints(int32_t column) const { return columnWidthPixels(column) * 0.75; }
    double columnLeft(int32_t column) const;
    double rowTop(int32_t row) const;

private:
    void extendUsedBounds(int32_t row, int32_t column);
    void rebuildTopOffsets(double standard) const;

    void loadCells(std::string_view batch, const StyleSheet& styles, const SharedStrings& strings);
    void loadRow(const pugi::xml_node& rowNode, size_t styleCount, const SharedStrings& strings);
    void loadColumns(const pugi::xml_node& cols, size_t styleCount);
    void writeColumns();
    void writeDimension();
    void writeXml(PieceBuffer& out);
    void writeRows(PieceBuffer& out) const;
    RowData* findRow(int32_t row) const;
    RowData& rowForWrite(int32_t row);
    static uint64_t extraKey(int32_t row, int32_t column) { return (static_cast<uint64_t>(row) << 16) | static_cast<uint64_t>(column); }
    void placeStrayCell(int32_t row, const CellData& cell);
    CellExtra& extraForWrite(int32_t row, CellData& cell);
    const ColumnData* findColumn(int32_t column) const;
    ColumnData& isolateColumn(int32_t column);
    [[noreturn]] void fail(const std::string& what) const;
    CellData* lookup(int32_t row, int32_t column) const;

    // The last cells looked up: a cell copy alternates between two cells.
    // Cells are never removed, so the pointers stay valid.
    struct RecentCell {
        int32_t row = 0, column = 0;
        CellData* cell = nullptr;
    };
    mutable std::array<RecentCell, 2> recent_{};
    mutable size_t nextRecent_ = 0;

    std::string partName_;
    std::string fileName_;
    pugi::xml_document doc_;
    // Rows by number: rowSlots_[row] is the index + 1 of the row in rows_, 0 for none.
    mutable std::vector<RowData> rows_;
    std::vector<uint32_t> rowSlots_;
    std::vector<std::string> rowAttributes_;
    std::unordered_map<uint64_t, CellExtra> extras_;
    size_t cellCount_ = 0;
    int32_t lastRowRead_ = 0;
    // Kept up to date as cells are created (cells are never removed).
    std::optional<std::array<int32_t, 4>> usedBounds_;
    // Rows with a height of their own or hidden; rowTop sums only these.
    std::set<int32_t> sizedRows_;
    // (row, sum of height minus the default over sized rows up to it),
    // rebuilt on the first rowTop after a height changed.
    mutable std::vector<std::pair<int32_t, double>> topOffsets_;
    mutable bool topOffsetsStale_ = true;
    mutable double topOffsetsStandard_ = 0;
    std::map<int32_t, ColumnData> columns_;
    bool columnsDirty_ = false;
    uint64_t cellsTakingRowFormat_ = 0;
    bool dirty_ = false;
    double maxDigitWidth_ = 7;
};

}  // namespace kbx::ooxml
