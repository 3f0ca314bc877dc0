#include "ooxml/sheet_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <set>

#include "ooxml/shared_strings.h"
#include "ooxml/sheet_xml_splitter.h"
#include "ooxml/styles.h"
#include "ooxml/xml_util.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {

namespace {

constexpr const char* kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

void appendNumber(std::string& out, double value) {
    char buf[40];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, result.ptr);
}

bool parseDouble(std::string_view text, double& out) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(out);
}

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

SheetModel::SheetModel(std::string partName, std::string fileName)
    : partName_(std::move(partName)), fileName_(std::move(fileName)) {}

void SheetModel::fail(const std::string& what) const { raiseBadFile(fileName_, "in '" + partName_ + "', " + what); }

void SheetModel::load(const std::string& xml, const StyleSheet& styles, const SharedStrings& strings) {
    load([&xml](const PieceSink& sink) { sink(xml); }, styles, strings);
}

void SheetModel::load(const PieceReader& read, const StyleSheet& styles, const SharedStrings& strings) {
    SheetXmlSplitter splitter([&](std::string_view batch) { loadCells(batch, styles, strings); },
                              [&](const std::string& what) { fail("the part " + what); });
    read([&splitter](std::string_view piece) { splitter.write(piece); });
    parseXml(doc_, splitter.finish(), fileName_, partName_);
    const pugi::xml_node root = doc_.document_element();
    if (localName(root) != "worksheet") fail("the root element is not a worksheet");
    pugi::xml_node sheetData = childNamed(root, "sheetData");
    if (!sheetData) fail("the worksheet has no sheetData");
    loadColumns(childNamed(root, "cols"), styles.cellFormatCount());
    while (sheetData.first_child()) sheetData.remove_child(sheetData.first_child());
    sheetData.append_child(pugi::node_pcdata).set_value(splicingMarker().c_str());
}

void SheetModel::createEmpty() {
    static const char* kEmpty =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
        "<dimension ref=\"A1\"/><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"
        "<sheetFormatPr defaultRowHeight=\"15\"/><sheetData/>"
        "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>"
        "</worksheet>";
    (void)kMainNs;
    doc_.load_string(kEmpty, pugi::parse_full | pugi::parse_ws_pcdata);
    childNamed(doc_.document_element(), "sheetData")
        .append_child(pugi::node_pcdata)
        .set_value(splicingMarker().c_str());
    dirty_ = true;
}

void SheetModel::loadColumns(const pugi::xml_node& cols, size_t styleCount) {
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
            if (index < 0 || static_cast<size_t>(index) >= styleCount) {
                fail("the columns " + columnName(first) + ":" + columnName(last) + " have a style index out of range");
            }
            data.style = static_cast<int32_t>(index);
        }
        data.extraAttributes = attributesText(col, {"min", "max", "width", "customWidth", "hidden", "style"});
        columns_[first] = std::move(data);
    }
}

void SheetModel::loadCells(std::string_view batch, const StyleSheet& styles, const SharedStrings& strings) {
    if (!isValidUtf8(batch)) raiseBadFile(fileName_, "the part '" + partName_ + "' is not valid UTF-8");
    pugi::xml_document rows;
    const pugi::xml_parse_result result =
        rows.load_buffer(batch.data(), batch.size(), pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
    if (!result) {
        raiseBadFile(fileName_, "the part '" + partName_ + "' is not well-formed XML (" + result.description() +
                                    " in its cell data)");
    }
    const size_t styleCount = styles.cellFormatCount();
    for (pugi::xml_node rowNode : rows.children()) {
        if (rowNode.type() == pugi::node_element && localName(rowNode) == "row") loadRow(rowNode, styleCount, strings);
    }
}

void SheetModel::loadRow(const pugi::xml_node& rowNode, size_t styleCount, const SharedStrings& strings) {
    int32_t r = lastRowRead_ + 1;
    if (const pugi::xml_attribute attr = rowNode.attribute("r")) {
        const long long value = attr.as_llong(0);
        if (value < 1 || value > kMaxRows) fail("row number '" + std::string(attr.value()) + "' is outside the sheet");
        r = static_cast<int32_t>(value);
    }
    if (r <= lastRowRead_) fail("row " + std::to_string(r) + " is out of order");
    lastRowRead_ = r;
    RowData* rowData = &rowForWrite(r);
    RowData& row = *rowData;
    if (rowNode.attribute("ht")) row.height = rowNode.attribute("ht").as_double(-1);
    row.customHeight = rowNode.attribute("customHeight").as_bool(false);
    row.hidden = rowNode.attribute("hidden").as_bool(false);
    if (row.height >= 0 || row.hidden) sizedRows_.insert(r);
    if (rowNode.attribute("customFormat").as_bool(false)) {
        row.style = rowNode.attribute("s").as_int(0);
        if (row.style < 0 || static_cast<size_t>(row.style) >= styleCount) fail("row " + std::to_string(r) + " has a style index out of range");
    }
    std::string attributes = attributesText(rowNode, {"r", "spans", "ht", "customHeight", "hidden", "s", "customFormat"});
    if (!attributes.empty()) {
        rowAttributes_.push_back(std::move(attributes));
        row.extraAttributes = static_cast<uint32_t>(rowAttributes_.size());
    }
    size_t count = 0;
    for (pugi::xml_node c = rowNode.first_child(); c; c = c.next_sibling()) count += localName(c) == "c";
    if (cellCount_ + count > kMaxCellsRead) fail("the sheet holds more cells than can be read");
    row.cells.reserve(row.cells.size() + count);
    // Cells an earlier row placed here by their own references (see below).
    const bool prefilled = !row.cells.empty();
    int32_t previousColumn = 0;
    for (pugi::xml_node c : rowNode.children()) {
        if (localName(c) != "c") continue;
        int32_t cellRow = r, column = previousColumn + 1;
        if (const pugi::xml_attribute ref = c.attribute("r")) {
            if (!parseCellReference(ref.value(), cellRow, column)) fail("the cell reference '" + std::string(ref.value()) + "' is outside the sheet or malformed");
        }
        if (column > kMaxColumns) fail("a cell lies beyond the last column");
        // A cell whose reference names another row than its row element goes
        // where its reference says, as spreadsheet programs read it.
        const bool stray = cellRow != r;
        if (!stray && column <= previousColumn)
            fail("cell " + columnName(column) + std::to_string(r) + " is out of order");
        if (!stray) previousColumn = column;
        CellData cell;
        cell.column = static_cast<uint16_t>(column);
        const long long style = c.attribute("s").as_llong(0);
        if (style < 0 || static_cast<size_t>(style) >= styleCount)
            fail("cell " + columnName(column) + std::to_string(cellRow) + " has a style index out of range");
        cell.style = static_cast<uint32_t>(style);
        const std::string_view type = c.attribute("t").value();
        const pugi::xml_node v = childNamed(c, "v");
        if (const pugi::xml_node f = childNamed(c, "f")) {
            CellExtra& extra = extraForWrite(cellRow, cell);
            extra.formula = serializeNode(f);
            if (std::string_view(f.attribute("t").value()) == "shared") {
                extra.sharedFormula = f.attribute("si").as_llong(-1);
                extra.sharedFormulaMaster = f.attribute("ref") && f.text().get()[0] != '\0';
            }
        }
        const std::string_view value = v.text().get();
        if (type == "s") {
            if (v) {
                const long long index = v.text().as_llong(-1);
                if (index < 0 || static_cast<size_t>(index) >= strings.size())
                    fail("cell " + columnName(column) + std::to_string(cellRow) +
                         " refers to a shared string out of range");
                cell.kind = CellKind::Shared;
                cell.shared = static_cast<uint32_t>(index);
            }
        } else if (type == "inlineStr") {
            const pugi::xml_node is = childNamed(c, "is");
            cell.kind = CellKind::Inline;
            CellExtra& extra = extraForWrite(cellRow, cell);
            extra.text = stringItemText(is);
            if (childNamed(is, "r")) extra.richInline = serializeNode(is);
        } else if (type == "b") {
            if (v) {
                cell.kind = CellKind::Boolean;
                cell.number = (value == "1" || value == "true") ? 1 : 0;
            }
        } else if (type == "e") {
            cell.kind = CellKind::Error;
            extraForWrite(cellRow, cell).text = std::string(value);
        } else if (type == "str") {
            cell.kind = CellKind::FormulaText;
            extraForWrite(cellRow, cell).text = decodeEscapedText(value);
        } else if (type.empty() || type == "n" || type == "d") {
            if (v && !value.empty()) {
                if (!parseDouble(value, cell.number))
                    fail("cell " + columnName(column) + std::to_string(cellRow) + " holds the malformed number '" +
                         std::string(value) + "'");
                cell.kind = CellKind::Number;
            }
        } else {
            fail("cell " + columnName(column) + std::to_string(cellRow) + " has the unknown type '" +
                 std::string(type) + "'");
        }
        if (stray || prefilled) {
            placeStrayCell(cellRow, cell);
            rowData = findRow(r);  // placing may have moved the rows
        } else {
            rowData->cells.push_back(cell);
            ++cellCount_;
        }
        extendUsedBounds(cellRow, column);
    }
}

CellExtra& SheetModel::extraForWrite(int32_t row, CellData& cell) {
    cell.hasExtra = true;
    return extras_[extraKey(row, cell.column)];
}

RowData* SheetModel::findRow(int32_t row) const {
    if (row < 1 || static_cast<size_t>(row) >= rowSlots_.size()) return nullptr;
    const uint32_t slot = rowSlots_[static_cast<size_t>(row)];
    return slot == 0 ? nullptr : &rows_[slot - 1];
}

RowData& SheetModel::rowForWrite(int32_t row) {
    if (RowData* existing = findRow(row)) return *existing;
    if (static_cast<size_t>(row) >= rowSlots_.size()) rowSlots_.resize(static_cast<size_t>(row) + 1, 0);
    rows_.emplace_back();
    rowSlots_[static_cast<size_t>(row)] = static_cast<uint32_t>(rows_.size());
    return rows_.back();
}

namespace {

// The cell of a column in a row sorted by column, or where it would go.
std::vector<CellData>::iterator cellPosition(std::vector<CellData>& cells, int32_t column) {
    // Cells are mostly written left to right: the last one first.
    if (cells.empty() || cells.back().column < column) return cells.end();
    return std::lower_bound(cells.begin(), cells.end(), column,
                            [](const CellData& cell, int32_t c) { return cell.column < c; });
}

}  // namespace

// Puts a cell read out of its row's order into its row; it replaces a cell
// read before it at the same place (the later one in the file counts).
void SheetModel::placeStrayCell(int32_t row, const CellData& cell) {
    std::vector<CellData>& cells = rowForWrite(row).cells;
    const auto at = cellPosition(cells, cell.column);
    if (at != cells.end() && at->column == cell.column) {
        if (at->hasExtra && !cell.hasExtra) extras_.erase(extraKey(row, cell.column));
        *at = cell;
        return;
    }
    cells.insert(at, cell);
    ++cellCount_;
}

CellData* SheetModel::lookup(int32_t row, int32_t column) const {
    for (const RecentCell& recent : recent_) {
        if (recent.cell != nullptr && recent.row == row && recent.column == column) return recent.cell;
    }
    RowData* r = findRow(row);
    if (r == nullptr) return nullptr;
    const auto c = cellPosition(r->cells, column);
    if (c == r->cells.end() || c->column != column) return nullptr;
    CellData* cell = &*c;
    recent_[nextRecent_] = {row, column, cell};
    nextRecent_ = (nextRecent_ + 1) % recent_.size();
    return cell;
}

const CellData* SheetModel::findCell(int32_t row, int32_t column) const { return lookup(row, column); }

const CellExtra* SheetModel::extraOf(int32_t row, int32_t column) const {
    const CellData* cell = lookup(row, column);
    if (cell == nullptr || !cell->hasExtra) return nullptr;
    const auto it = extras_.find(extraKey(row, column));
    return it == extras_.end() ? nullptr : &it->second;
}

CellData& SheetModel::cellForWrite(int32_t row, int32_t column) {
    dirty_ = true;
    if (CellData* existing = lookup(row, column)) return *existing;
    RowData& r = rowForWrite(row);
    CellData cell;
    cell.column = static_cast<uint16_t>(column);
    const int32_t columnFormat = columnStyle(column);
    cell.style = r.style >= 0 ? static_cast<uint32_t>(r.style) : columnFormat >= 0 ? static_cast<uint32_t>(columnFormat) : 0;
    if (r.style >= 0) ++cellsTakingRowFormat_;
    CellData& created = *r.cells.insert(cellPosition(r.cells, column), cell);
    ++cellCount_;
    extendUsedBounds(row, column);
    // The row's cells may have moved: forget the cells remembered in it.
    for (RecentCell& recent : recent_) {
        if (recent.row == row) recent = RecentCell{};
    }
    recent_[nextRecent_] = {row, column, &created};
    nextRecent_ = (nextRecent_ + 1) % recent_.size();
    return created;
}

void SheetModel::setValue(int32_t row, int32_t column, CellKind kind, double number, uint32_t shared) {
    CellData& cell = cellForWrite(row, column);
    if (cell.hasExtra) {
        extras_.erase(extraKey(row, column));
        cell.hasExtra = false;
    }
    cell.kind = kind;
    if (kind == CellKind::Shared) {
        cell.shared = shared;
    } else {
        cell.number = number;
    }
}

uint32_t SheetModel::styleAt(int32_t row, int32_t column) const {
    if (const CellData* cell = lookup(row, column)) return cell->style;
    const RowData* r = findRow(row);
    if (r != nullptr && r->style >= 0) return static_cast<uint32_t>(r->style);
    const int32_t columnFormat = columnStyle(column);
    return columnFormat >= 0 ? static_cast<uint32_t>(columnFormat) : 0;
}

void SheetModel::forEachFormula(const std::function<bool(std::string&)>& edit) {
    for (auto& [key, extra] : extras_)
        if (!extra.formula.empty() && edit(extra.formula)) dirty_ = true;
}

void SheetModel::forEachCellInColumn(int32_t column, const std::function<void(CellData&)>& f) {
    for (RowData& row : rows_) {
        const auto c = cellPosition(row.cells, column);
        if (c != row.cells.end() && c->column == column) {
            f(*c);
            dirty_ = true;
        }
    }
}

size_t SheetModel::cellMemoryBytes() const {
    size_t bytes = rows_.capacity() * sizeof(RowData) + rowSlots_.capacity() * sizeof(uint32_t);
    for (const RowData& row : rows_) bytes += row.cells.capacity() * sizeof(CellData);
    return bytes;
}

std::optional<std::array<int32_t, 4>> SheetModel::usedBounds() const { return usedBounds_; }

void SheetModel::extendUsedBounds(int32_t row, int32_t column) {
    if (!usedBounds_) {
        usedBounds_ = std::array<int32_t, 4>{row, column, row, column};
        return;
    }
    auto& b = *usedBounds_;
    b[0] = std::min(b[0], row);
    b[1] = std::min(b[1], column);
    b[2] = std::max(b[2], row);
    b[3] = std::max(b[3], column);
}

const ColumnData* SheetModel::findColumn(int32_t column) const {
    auto it = columns_.upper_bound(column);
    if (it == columns_.begin()) return nullptr;
    --it;
    return it->second.last >= column ? &it->second : nullptr;
}

ColumnData& SheetModel::isolateColumn(int32_t column) {
    columnsDirty_ = true;
    dirty_ = true;
    auto it = columns_.upper_bound(column);
    if (it != columns_.begin()) {
        --it;
        if (it->second.last >= column) {
            const int32_t first = it->first;
            ColumnData whole = it->second;
            if (first < column) {
                it->second.last = column - 1;
            } else {
                columns_.erase(it);
            }
            if (whole.last > column) {
                ColumnData after = whole;
                columns_[column + 1] = after;
            }
            whole.last = column;
            return columns_[column] = whole;
        }
    }
    ColumnData fresh;
    fresh.last = column;
    return columns_[column] = fresh;
}

int32_t SheetModel::columnStyle(int32_t column) const {
    const ColumnData* data = findColumn(column);
    return data ? data->style : -1;
}

void SheetModel::setColumnStyle(int32_t column, uint32_t style) {
    isolateColumn(column).style = static_cast<int32_t>(style);
}

double SheetModel::storedColumnWidth(int32_t column) const {
    const ColumnData* data = findColumn(column);
    if (data && data->width >= 0) return data->width;
    const pugi::xml_node format = childNamed(doc_.document_element(), "sheetFormatPr");
    if (const pugi::xml_attribute w = format.attribute("defaultColWidth")) return w.as_double(8.43);
    // Without a default width the standard width is the base width plus
    // padding, rounded up to a multiple of 8 pixels.
    const double base = format.attribute("baseColWidth").as_double(8);
    const double pixels = std::ceil((base * maxDigitWidth_ + 5) / 8) * 8;
    return std::trunc(pixels / maxDigitWidth_ * 256) / 256;
}

void SheetModel::setStoredColumnWidth(int32_t column, double width) {
    ColumnData& data = isolateColumn(column);
    data.width = width;
    data.customWidth = true;
    data.hidden = width == 0;
}

double SheetModel::columnWidthPixels(int32_t column) const {
    const ColumnData* data = findColumn(column);
    if (data && data->hidden) return 0;
    const double width = storedColumnWidth(column);
    return std::trunc((256 * width + std::trunc(128 / maxDigitWidth_)) / 256 * maxDigitWidth_);
}

double SheetModel::defaultRowHeight() const {
    const pugi::xml_node format = childNamed(doc_.document_element(), "sheetFormatPr");
    return format.attribute("defaultRowHeight").as_double(15);
}

double SheetModel::rowHeightPoints(int32_t row) const {
    const RowData* r = findRow(row);
    if (r == nullptr) return defaultRowHeight();
    if (r->hidden) return 0;
    return r->height >= 0 ? r->height : defaultRowHeight();
}

void SheetModel::setRowHeight(int32_t row, double points) {
    RowData& r = rowForWrite(row);
    sizedRows_.insert(row);
    topOffsetsStale_ = true;
    r.height = points;
    r.customHeight = true;
    r.hidden = points == 0;
    dirty_ = true;
}

double SheetModel::columnLeft(int32_t column) const {
    double left = 0;
    for (int32_t c = 1; c < column; ++c) {
        const ColumnData* data = findColumn(c);
        if (data == nullptr) {
            // A run of columns without their own entry: all of default width.
            const auto next = columns_.upper_bound(c);
            const int32_t end = next == columns_.end() ? column : std::min(column, next->first);
            left += columnWidthPoints(c) * (end - c);
            c = end - 1;
        } else {
            const int32_t end = std::min(column, data->last + 1);
            left += columnWidthPoints(c) * (end - c);
            c = end - 1;
        }
    }
    return left;
}

double SheetModel::rowTop(int32_t row) const {
    const double standard = defaultRowHeight();
    if (topOffsetsStale_ || standard != topOffsetsStandard_) rebuildTopOffsets(standard);
    const auto above = std::lower_bound(topOffsets_.begin(), topOffsets_.end(), row,
                                        [](const std::pair<int32_t, double>& e, int32_t r) { return e.first < r; });
    const double offset = above == topOffsets_.begin() ? 0 : std::prev(above)->second;
    return (row - 1) * standard + offset;
}

void SheetModel::rebuildTopOffsets(double standard) const {
    topOffsets_.clear();
    double sum = 0;
    for (const int32_t r : sizedRows_) {
        sum += rowHeightPoints(r) - standard;
        topOffsets_.emplace_back(r, sum);
    }
    topOffsetsStandard_ = standard;
    topOffsetsStale_ = false;
}

void SheetModel::writeColumns() {
    pugi::xml_node root = doc_.document_element();
    pugi::xml_node cols = childNamed(root, "cols");
    const std::string prefix = prefixOf(root);
    if (!cols) {
        pugi::xml_node anchor = childNamed(root, "sheetData");
        cols = root.insert_child_before((prefix + "cols").c_str(), anchor);
    }
    while (cols.first_child()) cols.remove_child(cols.first_child());
    std::string xml;
    for (const auto& [first, data] : columns_) {
        xml += "<" + prefix + "col min=\"" + std::to_string(first) + "\" max=\"" + std::to_string(data.last) + "\"";
        const double width = data.width >= 0 ? data.width : storedColumnWidth(first);
        xml += " width=\"";
        appendNumber(xml, width);
        xml += "\"";
        if (data.style >= 0) xml += " style=\"" + std::to_string(data.style) + "\"";
        if (data.hidden) xml += " hidden=\"1\"";
        if (data.customWidth) xml += " customWidth=\"1\"";
        xml += data.extraAttributes + "/>";
    }
    if (columns_.empty()) {
        root.remove_child(cols);
    } else {
        cols.append_buffer(xml.data(), xml.size());
    }
    columnsDirty_ = false;
}

void SheetModel::writeDimension() {
    pugi::xml_node dimension = childNamed(doc_.document_element(), "dimension");
    if (!dimension) return;
    const auto bounds = usedBounds();
    std::string ref = "A1";
    if (bounds) {
        ref = columnName((*bounds)[1]) + std::to_string((*bounds)[0]);
        if ((*bounds)[0] != (*bounds)[2] || (*bounds)[1] != (*bounds)[3]) {
            ref += ":" + columnName((*bounds)[3]) + std::to_string((*bounds)[2]);
        }
    }
    if (!dimension.attribute("ref")) dimension.append_attribute("ref");
    dimension.attribute("ref").set_value(ref.c_str());
}

namespace {

void appendInteger(std::string& out, uint64_t value) {
    char buf[24];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, result.ptr);
}

}  // namespace

void SheetModel::writeRows(PieceBuffer& buffer) const {
    // A shared formula whose master cell was overwritten cannot be read any
    // more: the cells that used it keep their last value without the formula.
    std::set<int64_t> masters;
    bool anyShared = false;
    for (const auto& [key, extra] : extras_) {
        if (extra.sharedFormula < 0) continue;
        anyShared = true;
        if (extra.sharedFormulaMaster) masters.insert(extra.sharedFormula);
    }
    const std::string prefix = prefixOf(doc_.document_element());
    const std::string rowOpen = "<" + prefix + "row r=\"", rowClose = "</" + prefix + "row>";
    const std::string cellOpen = "<" + prefix + "c r=\"", cellClose = "</" + prefix + "c>";
    const std::string vOpen = "<" + prefix + "v>", vClose = "</" + prefix + "v>";
        std::string& out = buffer.text();
    char rowNumber[12];
    for (size_t number = 1; number < rowSlots_.size(); ++number) {
        if (rowSlots_[number] == 0) continue;
        const RowData& row = rows_[rowSlots_[number] - 1];
        const size_t rowNumberLength = static_cast<size_t>(std::to_chars(rowNumber, rowNumber + sizeof rowNumber, number).ptr - rowNumber);
        const std::string_view rowText(rowNumber, rowNumberLength);
        out += rowOpen;
        out += rowText;
        out += '"';
        if (row.style >= 0) {
            out += " s=\"";
            appendInteger(out, static_cast<uint64_t>(row.style));
            out += "\" customFormat=\"1\"";
        }
        if (row.height >= 0) {
            out += " ht=\"";
            appendNumber(out, row.height);
            out += '"';
        }
        if (row.customHeight) out += " customHeight=\"1\"";
        if (row.hidden) out += " hidden=\"1\"";
        if (row.extraAttributes != 0) out += rowAttributes_[row.extraAttributes - 1];
        if (row.cells.empty()) {
            out += "/>";
            buffer.maybeFlush();
            continue;
        }
        out += '>';
        for (const CellData& cell : row.cells) {
            const CellExtra* extra = nullptr;
            if (cell.hasExtra) {
                const auto it = extras_.find(extraKey(static_cast<int32_t>(number), cell.column));
                if (it != extras_.end()) extra = &it->second;
            }
            out += cellOpen;
            out += columnNameRef(cell.column);
            out += rowText;
            out += '"';
            if (cell.style != 0) {
                out += " s=\"";
                appendInteger(out, cell.style);
                out += '"';
            }
            switch (cell.kind) {
                case CellKind::Shared: out += " t=\"s\""; break;
                case CellKind::Inline: out += " t=\"inlineStr\""; break;
                case CellKind::Boolean: out += " t=\"b\""; break;
                case CellKind::Error: out += " t=\"e\""; break;
                case CellKind::FormulaText: out += " t=\"str\""; break;
                default: break;
            }
            const std::string* formula = nullptr;
            if (extra != nullptr && !extra->formula.empty() &&
                !(anyShared && extra->sharedFormula >= 0 && !masters.count(extra->sharedFormula))) {
                formula = &extra->formula;
            }
            if (cell.kind == CellKind::Empty && formula == nullptr) {
                out += "/>";
                continue;
            }
            out += '>';
            if (formula != nullptr) out += *formula;
            static const std::string kNoText;
            const std::string& text = extra != nullptr ? extra->text : kNoText;
            switch (cell.kind) {
                case CellKind::Number: out += vOpen; appendNumber(out, cell.number); out += vClose; break;
                case CellKind::Boolean: out += vOpen; out += cell.number != 0 ? '1' : '0'; out += vClose; break;
                case CellKind::Shared: out += vOpen; appendInteger(out, cell.shared); out += vClose; break;
                case CellKind::Error:
                case CellKind::FormulaText:
                    out += vOpen;
                    appendEscaped(out, text, false);
                    out += vClose;
                    break;
                case CellKind::Inline:
                    if (extra != nullptr && !extra->richInline.empty()) {
                        out += extra->richInline;
                    } else {
                        out += "<" + prefix + "is><" + prefix + "t xml:space=\"preserve\">";
                        appendEscaped(out, text, false);
                        out += "</" + prefix + "t></" + prefix + "is>";
                    }
                    break;
                case CellKind::Empty: break;
            }
            out += cellClose;
        }
        out += rowClose;
        buffer.maybeFlush();
    }
}

void SheetModel::writeXml(PieceBuffer& out) {
    if (columnsDirty_) writeColumns();
    writeDimension();
    const std::string xml = serializeXml(doc_);
    const std::string& marker = splicingMarker();
    const size_t at = xml.find(marker);
    if (at == std::string::npos) {
        raiseSpreadsheet("The sheet part '" + partName_ + "' lost its cell data and cannot be saved.");
    }
    out.text().append(xml, 0, at);
    writeRows(out);
    out.text().append(xml, at + marker.size());
    out.flush();
}

std::unique_ptr<SheetModel> SheetModel::clone() {
    if (columnsDirty_) writeColumns();
    writeDimension();
    auto copy = std::make_unique<SheetModel>(partName_, fileName_);
    copy->doc_.reset(doc_);
    copy->rows_ = rows_;
    copy->rowSlots_ = rowSlots_;
    copy->rowAttributes_ = rowAttributes_;
    copy->extras_ = extras_;
    copy->cellCount_ = cellCount_;
    copy->lastRowRead_ = lastRowRead_;
    copy->usedBounds_ = usedBounds_;
    copy->sizedRows_ = sizedRows_;
    copy->columns_ = columns_;
    copy->maxDigitWidth_ = maxDigitWidth_;
    return copy;
}

std::string SheetModel::serialize() {
    std::string xml;
    PieceBuffer buffer([&xml](std::string_view piece) { xml.append(piece); });
    writeXml(buffer);
    return xml;
}

DeflatedPart SheetModel::serializeDeflated() {
    Deflater deflater;
    PieceBuffer buffer([&deflater](std::string_view piece) { deflater.write(piece); });
    writeXml(buffer);
    return deflater.finish();
}

}  // namespace kbx::ooxml
