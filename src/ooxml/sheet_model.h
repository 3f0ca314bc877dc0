#pragma once
// One worksheet in memory: its cells in sorted maps (O(log n) access), its
// rows' and columns' sizes and styles, and the rest of the worksheet XML as a
// pugixml document whose <sheetData> is regenerated when the sheet is saved.

#include <pugixml.hpp>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kbx::ooxml {

class StyleSheet;
class SharedStrings;

inline constexpr int32_t kMaxRows = 1048576;
inline constexpr int32_t kMaxColumns = 16384;
// More cells than this in one sheet of a file are refused (memory bound).
inline constexpr size_t kMaxCellsRead = 16u << 20;

enum class CellKind : uint8_t { Empty, Number, Shared, Inline, Boolean, Error, FormulaText };

// What few cells have, kept apart so that ordinary cells stay small.
struct CellExtra {
    std::string formula;     // the cell's <f> element as written in the template
    std::string richInline;  // an inline string with runs, kept as written
    int64_t sharedFormula = -1;    // si of a shared formula, -1 for others
    bool sharedFormulaMaster = false;  // the cell that holds the shared formula's text
};

struct CellData {
    CellKind kind = CellKind::Empty;
    uint32_t style = 0;
    uint32_t shared = 0;  // Shared: index into the shared-string table
    double number = 0;    // Number and Boolean
    std::string text;     // Inline, Error, FormulaText
    std::unique_ptr<CellExtra> extra;

    CellExtra& extras() {
        if (!extra) extra = std::make_unique<CellExtra>();
        return *extra;
    }
    bool hasFormula() const { return extra && !extra->formula.empty(); }
};

struct RowData {
    std::map<int32_t, CellData> cells;
    double height = -1;  // points; -1 when the row has no height of its own
    bool customHeight = false;
    bool hidden = false;
    int32_t style = -1;  // row format (customFormat) or -1
    std::string extraAttributes;
};

struct ColumnData {
    int32_t last = 0;    // the range runs from its map key to `last`
    double width = -1;   // the stored <col width>, -1 when absent
    bool customWidth = false;
    bool hidden = false;
    int32_t style = -1;
    std::string extraAttributes;
};

// "A1" style reference helpers.
std::string columnName(int32_t column);
bool parseCellReference(std::string_view ref, int32_t& row, int32_t& column);

class SheetModel {
public:
    SheetModel(std::string partName, std::string fileName);

    // Reads the worksheet; styles and strings are used to check indexes.
    void load(const std::string& xml, const StyleSheet& styles, const SharedStrings& strings);
    void createEmpty();
    std::string serialize();

    const std::string& partName() const { return partName_; }
    void setPartName(std::string name) { partName_ = std::move(name); }
    pugi::xml_document& xml() { return doc_; }
    bool dirty() const { return dirty_; }
    void markDirty() { dirty_ = true; }

    const CellData* findCell(int32_t row, int32_t column) const;
    // The cell, created with its row's or column's format when new.
    CellData& cellForWrite(int32_t row, int32_t column);
    // How many cells were created with their row's format (not their column's).
    uint64_t cellsTakingRowFormat() const { return cellsTakingRowFormat_; }
    // The format a cell shows: its own, else its row's, else its column's.
    uint32_t styleAt(int32_t row, int32_t column) const;
    // Calls `f` for every existing cell of a column.
    void forEachCellInColumn(int32_t column, const std::function<void(CellData&)>& f);
    const std::map<int32_t, RowData>& rows() const { return rows_; }
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

    void loadCells(const pugi::xml_node& sheetData, const StyleSheet& styles, const SharedStrings& strings);
    void loadColumns(const pugi::xml_node& cols, size_t styleCount);
    void writeColumns();
    void writeDimension();
    std::string serializeRows() const;
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
    std::map<int32_t, RowData> rows_;
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
