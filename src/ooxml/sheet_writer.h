#pragma once
// Writes a worksheet part: the rest of its XML with its column ranges and
// used range brought up to date, and the cells written in pieces where the
// placeholder of <sheetData> stands.

#include <pugixml.hpp>

#include <string>

#include "ooxml/deflate.h"

namespace kbx::ooxml {

class CellStore;
class SheetGeometry;

// Brings <cols> (when the columns changed) and <dimension> of the sheet XML
// `rest` up to date.
void updateSheetFrame(pugi::xml_document& rest, const CellStore& cells, SheetGeometry& geometry);

// Writes the sheet: `rest` (see sheet_reader.h) with the cells spliced in.
// Raises naming `partName` when `rest` lost the placeholder.
void writeSheet(const pugi::xml_document& rest, const CellStore& cells, PieceBuffer& out, const std::string& partName);

}  // namespace kbx::ooxml
