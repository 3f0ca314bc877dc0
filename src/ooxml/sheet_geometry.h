#pragma once
// The sizes of a worksheet's rows and columns: column ranges with their
// widths and formats, the sheet's default sizes, and the distance of a row or
// column from the sheet's corner, in points. Rows and columns count from 1.

#include <pugixml.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kbx::ooxml {

class CellStore;

struct ColumnData {
    int32_t last = 0;    // the range runs from its map key to `last`
    double width = -1;   // the stored <col width>, -1 when absent
    bool customWidth = false;
    bool hidden = false;
    int32_t style = -1;
    std::string extraAttributes;
};

class SheetGeometry {
public:
    // The rows whose heights this geometry reads.
    void bind(const CellStore& rows) { rows_ = &rows; }
    // Reads the sheet's default sizes from its <sheetFormatPr> (absent: the defaults).
    void readDefaults(const pugi::xml_node& sheetFormatPr);

    // Column widths in the file's unit: characters of the maximum digit
    // width, with padding.
    void setMaxDigitWidth(double pixels) { maxDigitWidth_ = pixels; }
    double maxDigitWidth() const { return maxDigitWidth_; }
    void addColumns(int32_t first, ColumnData data);
    const std::map<int32_t, ColumnData>& columns() const { return columns_; }
    int32_t columnStyle(int32_t column) const;
    void setColumnStyle(int32_t column, uint32_t style);
    double storedColumnWidth(int32_t column) const;
    void setStoredColumnWidth(int32_t column, double width);
    double columnWidthPixels(int32_t column) const;
    double columnWidthPoints(int32_t column) const { return columnWidthPixels(column) * 0.75; }
    double columnLeft(int32_t column) const;
    // Whether the columns changed since markColumnsWritten.
    bool columnsChanged() const { return columnsChanged_; }
    void markColumnsWritten() { columnsChanged_ = false; }

    double defaultRowHeight() const { return defaultRowHeight_; }
    double rowHeightPoints(int32_t row) const;
    // A row got a height of its own or was hidden.
    void noteSizedRow(int32_t row);
    double rowTop(int32_t row) const;

private:
    const ColumnData* findColumn(int32_t column) const;
    ColumnData& isolateColumn(int32_t column);
    void rebuildTopOffsets() const;

    const CellStore* rows_ = nullptr;
    double maxDigitWidth_ = 7;
    std::optional<double> defaultColumnWidth_;
    double baseColumnWidth_ = 8;
    double defaultRowHeight_ = 15;
    std::map<int32_t, ColumnData> columns_;
    bool columnsChanged_ = false;
    // Rows with a height of their own or hidden; rowTop sums only these.
    std::set<int32_t> sizedRows_;
    // (row, sum of height minus the default over sized rows up to it),
    // rebuilt on the first rowTop after a height changed.
    mutable std::vector<std::pair<int32_t, double>> topOffsets_;
    mutable bool topOffsetsStale_ = true;
};

}  // namespace kbx::ooxml
