#pragma once
// One worksheet in memory: its cells (cell_store.h), the sizes of its rows and
// columns (sheet_geometry.h), and the rest of its XML as a document whose
// <sheetData> is written anew when the sheet is saved (sheet_reader.h,
// sheet_writer.h). The rest of the XML is edited only through this class.

#include <pugixml.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ooxml/cell_store.h"
#include "ooxml/deflate.h"
#include "ooxml/link_repair.h"
#include "ooxml/sheet_geometry.h"

namespace kbx::ooxml {

class Package;
class StyleSheet;
class SharedStrings;

class SheetModel {
public:
    SheetModel(std::string partName, std::string fileName);

    // Reads the worksheet; styles and strings are used to check indexes.
    void load(const PieceReader& read, const StyleSheet& styles, const SharedStrings& strings);
    void load(const std::string& xml, const StyleSheet& styles, const SharedStrings& strings);
    // The sheet of a new workbook: no cells, the default sizes.
    void createEmpty();
    std::string serialize();
    // The sheet XML deflated as it is written, without the whole text.
    DeflatedPart serializeDeflated();
    // A new model holding what this one would save (the model of a sheet copy).
    std::unique_ptr<SheetModel> clone();
    size_t cellMemoryBytes() const { return cells_.memoryBytes(); }
    size_t cellCount() const { return cells_.cellCount(); }

    const std::string& partName() const { return partName_; }
    void setPartName(std::string name) { partName_ = std::move(name); }
    bool dirty() const { return dirty_; }
    void markDirty() { dirty_ = true; }

    // Cells (see CellStore).
    const CellData* findCell(int32_t row, int32_t column) const { return cells_.findCell(row, column); }
    const CellExtra* extraOf(int32_t row, int32_t column) const { return cells_.extraOf(row, column); }
    // The same for a cell of `row` at hand, without looking it up again.
    const CellExtra* extraAt(int32_t row, const CellData& cell) const { return cells_.extraAt(row, cell); }
    // The cell, created with its row's or column's format when new.
    CellData& cellForWrite(int32_t row, int32_t column) {
        dirty_ = true;
        if (CellData* existing = cells_.existingCellForWrite(row, column)) return *existing;
        return cells_.createCell(row, column, geometry_.columnStyle(column));
    }
    // Gives the cell a value (kind, number or shared-string index), dropping
    // its text and formula; the format stays.
    void setValue(int32_t row, int32_t column, CellKind kind, double number, uint32_t shared);
    uint64_t cellsTakingRowFormat() const { return cells_.cellsTakingRowFormat(); }
    // The format a cell shows: its own, else its row's, else its column's.
    uint32_t styleAt(int32_t row, int32_t column) const {
        int64_t style = cells_.ownStyleAt(row, column);
        if (style < 0) style = geometry_.columnStyle(column);
        return style >= 0 ? static_cast<uint32_t>(style) : 0;
    }
    void forEachCellInColumn(int32_t column, const std::function<void(CellData&)>& f) {
        if (cells_.forEachCellInColumn(column, f)) dirty_ = true;
    }
    // Calls `edit` with every cell formula (its <f> element as XML); a formula
    // `edit` returns true for was changed and makes the sheet dirty.
    void forEachFormula(const std::function<bool(std::string&)>& edit) {
        if (cells_.forEachFormula(edit)) dirty_ = true;
    }
    std::optional<CellBounds> usedBounds() const { return cells_.usedBounds(); }
    void forEachFormulaCell(const std::function<void(int32_t, int32_t, const CellExtra&)>& f) const {
        cells_.forEachFormulaCell(f);
    }
    void forEachCellIn(int32_t top, int32_t left, int32_t bottom, int32_t right,
                       const std::function<bool(int32_t, const CellData&)>& visit) const {
        cells_.forEachCellIn(top, left, bottom, right, visit);
    }
    bool rowHidden(int32_t row) const {
        const RowData* data = cells_.findRow(row);
        return data != nullptr && data->hidden;
    }
    // Stores the value a formula computed for a cell (Number, Boolean,
    // FormulaText, Error or Empty), keeping its formula and format; a value
    // equal to the stored one leaves the sheet as it is.
    void setComputedValue(int32_t row, int32_t column, CellKind kind, double number, std::string_view text);

    // Sizes (see SheetGeometry).
    int32_t columnStyle(int32_t column) const { return geometry_.columnStyle(column); }
    void setColumnStyle(int32_t column, uint32_t style);
    void setMaxDigitWidth(double pixels) { geometry_.setMaxDigitWidth(pixels); }
    double maxDigitWidth() const { return geometry_.maxDigitWidth(); }
    void setStoredColumnWidth(int32_t column, double width);
    double columnWidthPixels(int32_t column) const { return geometry_.columnWidthPixels(column); }
    double columnWidthPoints(int32_t column) const { return geometry_.columnWidthPoints(column); }
    double columnLeft(int32_t column) const { return geometry_.columnLeft(column); }
    double defaultRowHeight() const { return geometry_.defaultRowHeight(); }
    double rowHeightPoints(int32_t row) const { return geometry_.rowHeightPoints(row); }
    void setRowHeight(int32_t row, double points);
    double rowTop(int32_t row) const { return geometry_.rowTop(row); }

    // The rest of the sheet XML.
    // Removes the sheet's AutoFilter; whether it had one.
    bool removeAutoFilter();
    // Whether the sheet's first view has its tab selected.
    bool tabSelected() const;
    // Selects or deselects the tab in the sheet's first view; false when the
    // sheet has no view.
    bool setTabSelected(bool selected);
    // The r:id of the sheet's <drawing>, "" for none; whether it has one.
    std::string drawingRelationshipId() const;
    bool hasDrawing() const;
    // Links the sheet to its drawing part by relationship id, replacing a link it had.
    void linkDrawing(const std::string& relationshipId);
    void removeDrawing();
    // Drops the sheet's links to missing parts (see link_repair.h).
    std::vector<DroppedLink> dropDanglingLinks(Package& package);

private:
    void write(PieceBuffer& out);
    void handOnSharedFormula(int32_t row, int32_t column);
    pugi::xml_node root() const { return rest_.document_element(); }

    std::string partName_;
    std::string fileName_;
    CellStore cells_;
    SheetGeometry geometry_;
    pugi::xml_document rest_;
    bool dirty_ = false;
};

}  // namespace kbx::ooxml
