#include "ooxml/sheet_model.h"

#include <algorithm>

#include "ooxml/relationships.h"
#include "ooxml/schema_order.h"
#include "ooxml/shared_strings.h"
#include "ooxml/sheet_reader.h"
#include "ooxml/sheet_writer.h"
#include "ooxml/stored_formula.h"
#include "ooxml/sheet_references.h"
#include "ooxml/styles.h"
#include "ooxml/xml_util.h"
#include "value/cell_reference.h"

namespace kbx::ooxml {

SheetModel::SheetModel(std::string partName, std::string fileName)
    : partName_(std::move(partName)), fileName_(std::move(fileName)) {
    geometry_.bind(cells_);
}

void SheetModel::load(const std::string& xml, const StyleSheet& styles, const SharedStrings& strings) {
    load([&xml](const PieceSink& sink) { sink(xml); }, styles, strings);
}

void SheetModel::load(const PieceReader& read, const StyleSheet& styles, const SharedStrings& strings) {
    SheetReader(cells_, geometry_, styles.cellFormatCount(), strings, partName_, fileName_).read(read, rest_);
}

void SheetModel::createEmpty() {
    startPart(rest_,
              "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
              "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
              "<dimension ref=\"A1\"/><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"
              "<sheetFormatPr defaultRowHeight=\"15\"/><sheetData/>"
              "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>"
              "</worksheet>");
    childNamed(root(), "sheetData").append_child(pugi::node_pcdata).set_value(sheetDataMarker().c_str());
    geometry_.readDefaults(childNamed(root(), "sheetFormatPr"));
    dirty_ = true;
}

void SheetModel::write(PieceBuffer& out) {
    updateSheetFrame(rest_, cells_, geometry_);
    writeSheet(rest_, cells_, out, partName_);
}

std::string SheetModel::serialize() {
    std::string xml;
    PieceBuffer buffer([&xml](std::string_view piece) { xml.append(piece); });
    write(buffer);
    return xml;
}

DeflatedPart SheetModel::serializeDeflated() {
    Deflater deflater;
    PieceBuffer buffer([&deflater](std::string_view piece) { deflater.write(piece); });
    write(buffer);
    return deflater.finish();
}

std::unique_ptr<SheetModel> SheetModel::clone() {
    updateSheetFrame(rest_, cells_, geometry_);
    auto copy = std::make_unique<SheetModel>(partName_, fileName_);
    copy->rest_.reset(rest_);
    copy->cells_ = cells_;
    copy->geometry_ = geometry_;
    copy->geometry_.bind(copy->cells_);
    return copy;
}

// The first cell of a shared formula holds its text: before a value replaces
// it, the next cell of the block takes the text over, moved to its place, so
// that the rest of the block keeps its formulas.
void SheetModel::handOnSharedFormula(int32_t row, int32_t column) {
    const CellExtra* extra = cells_.extraOf(row, column);
    if (extra == nullptr || !extra->sharedFormulaMaster || extra->sharedFormula < 0) return;
    const StoredFormula master = readStoredFormula(extra->formula);
    if (master.kind != StoredFormula::Kind::Shared || master.top == 0) return;
    const int64_t index = extra->sharedFormula;
    const std::string element = extra->formula.substr(1, extra->formula.find_first_of(" />") - 1);
    // The block's other cells: the first in reading order takes the text, and
    // the block's range shrinks to them.
    std::optional<std::pair<int32_t, int32_t>> successor;
    int32_t top = 0, left = 0, bottom = 0, right = 0;
    for (int32_t r = master.top; r <= master.bottom; ++r) {
        for (int32_t c = master.left; c <= master.right; ++c) {
            const CellExtra* other = cells_.extraOf(r, c);
            if ((r == row && c == column) || other == nullptr || other->sharedFormula != index) continue;
            if (!successor) {
                successor = {r, c};
                top = bottom = r;
                left = right = c;
            }
            top = std::min(top, r), bottom = std::max(bottom, r), left = std::min(left, c), right = std::max(right, c);
        }
    }
    if (!successor) return;
    const auto [r, c] = *successor;
    std::string xml = "<" + element + " t=\"shared\" ref=\"" + columnName(left) + std::to_string(top) + ":" +
                      columnName(right) + std::to_string(bottom) + "\" si=\"" + std::to_string(index) + "\">";
    appendEscaped(xml, shiftRelativeReferences(master.text, r - row, c - column), false);
    CellExtra& taker = cells_.extraForWrite(r, *cells_.existingCellForWrite(r, c));
    taker.formula = xml + "</" + element + ">";
    taker.sharedFormulaMaster = true;
}

void SheetModel::setValue(int32_t row, int32_t column, CellKind kind, double number, uint32_t shared) {
    handOnSharedFormula(row, column);
    CellData& cell = cellForWrite(row, column);
    cells_.dropExtra(row, cell);
    cell.kind = kind;
    if (kind == CellKind::Shared) {
        cell.shared = shared;
    } else {
        cell.number = number;
    }
}

namespace {

bool holdsValue(const CellData& cell, const CellExtra* extra, CellKind kind, double number, std::string_view text) {
    if (cell.kind != kind) return false;
    switch (kind) {
        case CellKind::Number:
        case CellKind::Boolean: return cell.number == number;
        case CellKind::FormulaText:
        case CellKind::Error: return extra != nullptr && extra->text == text;
        default: return true;
    }
}

}  // namespace

void SheetModel::setComputedValue(int32_t row, int32_t column, CellKind kind, double number, std::string_view text) {
    CellData* stored = cells_.existingCellForWrite(row, column);
    if (stored != nullptr && holdsValue(*stored, cells_.extraAt(row, *stored), kind, number, text)) return;
    CellData& cell = stored != nullptr ? *stored : cellForWrite(row, column);
    dirty_ = true;
    cell.kind = kind;
    cell.number = kind == CellKind::Number || kind == CellKind::Boolean ? number : 0;
    if (kind == CellKind::FormulaText || kind == CellKind::Error) {
        CellExtra& extra = cells_.extraForWrite(row, cell);
        extra.text = text;
        extra.richInline.clear();
    } else if (cell.hasExtra) {
        CellExtra& extra = cells_.extraForWrite(row, cell);
        extra.text.clear();
        extra.richInline.clear();
    }
}

void SheetModel::setColumnStyle(int32_t column, uint32_t style) {
    geometry_.setColumnStyle(column, style);
    dirty_ = true;
}

void SheetModel::setStoredColumnWidth(int32_t column, double width) {
    geometry_.setStoredColumnWidth(column, width);
    dirty_ = true;
}

void SheetModel::setRowHeight(int32_t row, double points) {
    RowData& r = cells_.rowForWrite(row);
    r.height = points;
    r.customHeight = true;
    r.hidden = points == 0;
    geometry_.noteSizedRow(row);
    dirty_ = true;
}

bool SheetModel::removeAutoFilter() {
    const pugi::xml_node filter = childNamed(root(), "autoFilter");
    if (!filter) return false;
    root().remove_child(filter);
    dirty_ = true;
    return true;
}

namespace {

pugi::xml_node firstSheetView(const pugi::xml_node& root) {
    return childNamed(childNamed(root, "sheetViews"), "sheetView");
}

}  // namespace

bool SheetModel::tabSelected() const { return firstSheetView(root()).attribute("tabSelected").as_bool(false); }

bool SheetModel::setTabSelected(bool selected) {
    pugi::xml_node view = firstSheetView(root());
    if (!view) return false;
    if (view.attribute("tabSelected").as_bool(false) == selected && (selected || !view.attribute("tabSelected")))
        return true;
    view.remove_attribute("tabSelected");
    if (selected) view.append_attribute("tabSelected") = "1";
    dirty_ = true;
    return true;
}

std::string SheetModel::drawingRelationshipId() const { return relationshipIdOf(childNamed(root(), "drawing")); }

bool SheetModel::hasDrawing() const { return childNamed(root(), "drawing"); }

void SheetModel::linkDrawing(const std::string& relationshipId) {
    setRelationshipId(childInSchemaOrder(root(), "drawing"), relationshipId);
    dirty_ = true;
}

void SheetModel::removeDrawing() {
    if (root().remove_child(childNamed(root(), "drawing"))) dirty_ = true;
}

std::vector<DroppedLink> SheetModel::dropDanglingLinks(Package& package) {
    std::vector<DroppedLink> dropped = dropDanglingRelationships(package, partName_, root());
    if (!dropped.empty()) dirty_ = true;
    return dropped;
}

}  // namespace kbx::ooxml
