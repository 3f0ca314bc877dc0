#include "ooxml/sheet_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "ooxml/cell_store.h"
#include "ooxml/shared_strings.h"
#include "ooxml/sheet_geometry.h"
#include "ooxml/sheet_xml_splitter.h"
#include "ooxml/xml_util.h"
#include "value/cell_reference.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {

namespace {

bool parseDouble(std::string_view text, double& out) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(out);
}

// The attributes of `node` but those in `skip`, written out as XML.
std::string attributesText(const pugi::xml_node& node, std::initializer_list<std::string_view> skip) {
    std::string out;
    for (pugi::xml_attribute a : node.attributes()) {
        const std::string_view name = a.name();
        if (std::find(skip.begin(), skip.end(), name) != skip.end()) continue;
        out += ' ';
        out += name;
        out += "=\"";
        appendEscaped(out, a.value(), true);
        out += '"';
    }
    return out;
}

}  // namespace

const std::string& sheetDataMarker() { return splicingMarker(); }

SheetReader::SheetReader(CellStore& cells, SheetGeometry& geometry, size_t styleCount, const SharedStrings& strings,
                         std::string partName, std::string fileName)
    : cells_(cells),
      geometry_(geometry),
      styleCount_(styleCount),
      strings_(strings),
      partName_(std::move(partName)),
      fileName_(std::move(fileName)) {}

void SheetReader::fail(const std::string& what) const { raiseBadFile(fileName_, "in '" + partName_ + "', " + what); }

void SheetReader::read(const PieceReader& read, pugi::xml_document& rest) {
    SheetXmlSplitter splitter([&](std::string_view batch) { readBatch(batch); },
                              [&](const std::string& what) { fail("the part " + what); });
    read([&splitter](std::string_view piece) { splitter.write(piece); });
    parseXml(rest, splitter.finish(), fileName_, partName_);
    const pugi::xml_node root = rest.document_element();
    if (localName(root) != "worksheet") fail("the root element is not a worksheet");
    pugi::xml_node sheetData = childNamed(root, "sheetData");
    if (!sheetData) fail("the worksheet has no sheetData");
    geometry_.readDefaults(childNamed(root, "sheetFormatPr"));
    readColumns(childNamed(root, "cols"));
    while (sheetData.first_child()) sheetData.remove_child(sheetData.first_child());
    sheetData.append_child(pugi::node_pcdata).set_value(sheetDataMarker().c_str());
}

void SheetReader::readColumns(const pugi::xml_node& cols) {
    int32_t previousLast = 0;
    for (pugi::xml_node col : cols.children()) {
        if (localName(col) != "col") continue;
        const int32_t first = col.attribute("min").as_int(0);
        const int32_t last = col.attribute("max").as_int(0);
        if (first < 1 || last < first || last > kMaxColumns) fail("a column range is outside the sheet");
        if (first <= previousLast) fail("column ranges overlap or are out of order");
        previousLast = last;
        ColumnData data;
        data.last = last;
        data.width = col.attribute("width") ? col.attribute("width").as_double(-1) : -1;
        data.customWidth = col.attribute("customWidth").as_bool(false);
        data.hidden = col.attribute("hidden").as_bool(false);
        if (const pugi::xml_attribute style = col.attribute("style")) {
            const long long index = style.as_llong(-1);
            if (index < 0 || static_cast<size_t>(index) >= styleCount_)
                fail("the columns " + columnName(first) + ":" + columnName(last) + " have a style index out of range");
            data.style = static_cast<int32_t>(index);
        }
        data.extraAttributes = attributesText(col, {"min", "max", "width", "customWidth", "hidden", "style"});
        geometry_.addColumns(first, std::move(data));
    }
}

void SheetReader::readBatch(std::string_view batch) {
    if (!isValidUtf8(batch)) raiseBadFile(fileName_, "the part '" + partName_ + "' is not valid UTF-8");
    pugi::xml_document rows;
    const pugi::xml_parse_result result =
        rows.load_buffer(batch.data(), batch.size(), pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
    if (!result) {
        raiseBadFile(fileName_, "the part '" + partName_ + "' is not well-formed XML (" + result.description() +
                                    " in its cell data)");
    }
    for (pugi::xml_node rowNode : rows.children())
        if (rowNode.type() == pugi::node_element && localName(rowNode) == "row") readRow(rowNode);
}

int32_t SheetReader::rowNumberOf(const pugi::xml_node& rowNode) {
    int32_t row = lastRow_ + 1;
    if (const pugi::xml_attribute attr = rowNode.attribute("r")) {
        const long long value = attr.as_llong(0);
        if (value < 1 || value > kMaxRows) fail("row number '" + std::string(attr.value()) + "' is outside the sheet");
        row = static_cast<int32_t>(value);
    }
    if (row <= lastRow_) fail("row " + std::to_string(row) + " is out of order");
    lastRow_ = row;
    return row;
}

void SheetReader::readRowAttributes(const pugi::xml_node& rowNode, int32_t row, RowData& data) {
    if (rowNode.attribute("ht")) data.height = rowNode.attribute("ht").as_double(-1);
    data.customHeight = rowNode.attribute("customHeight").as_bool(false);
    data.hidden = rowNode.attribute("hidden").as_bool(false);
    if (data.height >= 0 || data.hidden) geometry_.noteSizedRow(row);
    if (rowNode.attribute("customFormat").as_bool(false)) {
        data.style = rowNode.attribute("s").as_int(0);
        if (data.style < 0 || static_cast<size_t>(data.style) >= styleCount_)
            fail("row " + std::to_string(row) + " has a style index out of range");
    }
    std::string attributes = attributesText(rowNode, {"r", "spans", "ht", "customHeight", "hidden", "s", "customFormat"});
    if (!attributes.empty()) cells_.setRowAttributes(data, std::move(attributes));
}

void SheetReader::readRow(const pugi::xml_node& rowNode) {
    const int32_t row = rowNumberOf(rowNode);
    RowData& data = cells_.rowForWrite(row);
    readRowAttributes(rowNode, row, data);
    size_t count = 0;
    for (pugi::xml_node c = rowNode.first_child(); c; c = c.next_sibling()) count += localName(c) == "c";
    if (cells_.cellCount() + count > kMaxCellsRead) fail("the sheet holds more cells than can be read");
    data.cells.reserve(data.cells.size() + count);
    // Cells an earlier row placed here by their own references (see below).
    const bool prefilled = !data.cells.empty();
    int32_t previousColumn = 0;
    for (pugi::xml_node c : rowNode.children()) {
        if (localName(c) != "c") continue;
        int32_t cellRow = row, column = previousColumn + 1;
        if (const pugi::xml_attribute ref = c.attribute("r")) {
            if (!parseCellReference(ref.value(), cellRow, column))
                fail("the cell reference '" + std::string(ref.value()) + "' is outside the sheet or malformed");
        }
        if (column > kMaxColumns) fail("a cell lies beyond the last column");
        // A cell whose reference names another row than its row element goes
        // where its reference says, as spreadsheet programs read it.
        const bool stray = cellRow != row;
        if (!stray && column <= previousColumn) fail("cell " + columnName(column) + std::to_string(row) + " is out of order");
        if (!stray) previousColumn = column;
        CellData cell;
        cell.column = static_cast<uint16_t>(column);
        readCell(c, cell, cellRow);
        cells_.addReadCell(cellRow, cell, !stray && !prefilled);
    }
}

std::string SheetReader::cellName(const CellData& cell, int32_t row) const {
    return "cell " + columnName(cell.column) + std::to_string(row);
}

void SheetReader::readCell(const pugi::xml_node& c, CellData& cell, int32_t row) {
    const long long style = c.attribute("s").as_llong(0);
    if (style < 0 || static_cast<size_t>(style) >= styleCount_) fail(cellName(cell, row) + " has a style index out of range");
    cell.style = static_cast<uint32_t>(style);
    if (const pugi::xml_node f = childNamed(c, "f")) {
        CellExtra& extra = cells_.extraForWrite(row, cell);
        extra.formula = serializeNode(f);
        if (std::string_view(f.attribute("t").value()) == "shared") {
            extra.sharedFormula = f.attribute("si").as_llong(-1);
            extra.sharedFormulaMaster = f.attribute("ref") && f.text().get()[0] != '\0';
        }
    }
    readValue(c, cell, row);
}

void SheetReader::readValue(const pugi::xml_node& c, CellData& cell, int32_t row) {
    const std::string_view type = c.attribute("t").value();
    const pugi::xml_node v = childNamed(c, "v");
    const std::string_view value = v.text().get();
    if (type == "s") {
        if (!v) return;
        const long long index = v.text().as_llong(-1);
        if (index < 0 || static_cast<size_t>(index) >= strings_.size())
            fail(cellName(cell, row) + " refers to a shared string out of range");
        cell.kind = CellKind::Shared;
        cell.shared = static_cast<uint32_t>(index);
    } else if (type == "inlineStr") {
        const pugi::xml_node is = childNamed(c, "is");
        cell.kind = CellKind::Inline;
        CellExtra& extra = cells_.extraForWrite(row, cell);
        extra.text = stringItemText(is);
        if (childNamed(is, "r")) extra.richInline = serializeNode(is);
    } else if (type == "b") {
        if (!v) return;
        cell.kind = CellKind::Boolean;
        cell.number = (value == "1" || value == "true") ? 1 : 0;
    } else if (type == "e") {
        cell.kind = CellKind::Error;
        cells_.extraForWrite(row, cell).text = std::string(value);
    } else if (type == "str") {
        cell.kind = CellKind::FormulaText;
        cells_.extraForWrite(row, cell).text = decodeEscapedText(value);
    } else if (type.empty() || type == "n" || type == "d") {
        if (!v || value.empty()) return;
        if (!parseDouble(value, cell.number))
            fail(cellName(cell, row) + " holds the malformed number '" + std::string(value) + "'");
        cell.kind = CellKind::Number;
    } else {
        fail(cellName(cell, row) + " has the unknown type '" + std::string(type) + "'");
    }
}

}  // namespace kbx::ooxml
