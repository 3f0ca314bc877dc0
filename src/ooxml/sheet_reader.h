#pragma once
// Reads a worksheet part into a cell store and a geometry; the rest of its
// XML becomes a document whose <sheetData> holds a placeholder for the cells.
// The part is read in pieces and its cells parsed in batches of rows, so a
// large sheet is never held as one text or one tree; every index is checked.

#include <pugixml.hpp>

#include <cstdint>
#include <string>
#include <string_view>

#include "ooxml/deflate.h"

namespace kbx::ooxml {

class CellStore;
class SheetGeometry;
class SharedStrings;
struct CellData;
struct RowData;

class SheetReader {
public:
    // `styleCount` and `strings` bound the style and shared-string indexes
    // the cells may use; errors name the part and the file.
    SheetReader(CellStore& cells, SheetGeometry& geometry, size_t styleCount, const SharedStrings& strings,
                std::string partName, std::string fileName);
    void read(const PieceReader& read, pugi::xml_document& rest);

private:
    void readBatch(std::string_view batch);
    void readRow(const pugi::xml_node& rowNode);
    int32_t rowNumberOf(const pugi::xml_node& rowNode);
    void readRowAttributes(const pugi::xml_node& rowNode, int32_t row, RowData& data);
    void readCell(const pugi::xml_node& c, CellData& cell, int32_t row);
    void readValue(const pugi::xml_node& c, CellData& cell, int32_t row);
    void readColumns(const pugi::xml_node& cols);
    std::string cellName(const CellData& cell, int32_t row) const;
    [[noreturn]] void fail(const std::string& what) const;

    CellStore& cells_;
    SheetGeometry& geometry_;
    size_t styleCount_;
    const SharedStrings& strings_;
    std::string partName_;
    std::string fileName_;
    int32_t lastRow_ = 0;
};

// The placeholder the rest of the sheet XML holds for its cells.
const std::string& sheetDataMarker();

}  // namespace kbx::ooxml
