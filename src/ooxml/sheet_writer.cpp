#include "ooxml/sheet_writer.h"

#include <charconv>
#include <optional>
#include <set>

#include "ooxml/cell_store.h"
#include "ooxml/schema_order.h"
#include "ooxml/sheet_geometry.h"
#include "ooxml/sheet_reader.h"
#include "ooxml/xml_util.h"
#include "value/cell_reference.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {

namespace {

void appendNumber(std::string& out, double value) {
    char buf[40];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, result.ptr);
}

void appendInteger(std::string& out, uint64_t value) {
    char buf[24];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, result.ptr);
}

void writeColumns(pugi::xml_node root, const SheetGeometry& geometry) {
    const std::string prefix = prefixOf(root);
    if (geometry.columns().empty()) {
        root.remove_child(childNamed(root, "cols"));
        return;
    }
    pugi::xml_node cols = childInSchemaOrder(root, "cols");
    while (cols.first_child()) cols.remove_child(cols.first_child());
    std::string xml;
    for (const auto& [first, data] : geometry.columns()) {
        xml += "<" + prefix + "col min=\"" + std::to_string(first) + "\" max=\"" + std::to_string(data.last) + "\"";
        xml += " width=\"";
        appendNumber(xml, data.width >= 0 ? data.width : geometry.storedColumnWidth(first));
        xml += "\"";
        if (data.style >= 0) xml += " style=\"" + std::to_string(data.style) + "\"";
        if (data.hidden) xml += " hidden=\"1\"";
        if (data.customWidth) xml += " customWidth=\"1\"";
        xml += data.extraAttributes + "/>";
    }
    cols.append_buffer(xml.data(), xml.size());
}

void writeDimension(pugi::xml_node root, const std::optional<CellBounds>& bounds) {
    pugi::xml_node dimension = childNamed(root, "dimension");
    if (!dimension) return;
    std::string ref = "A1";
    if (bounds) {
        const auto [top, left, bottom, right] = *bounds;
        ref = columnName(left) + std::to_string(top);
        if (top != bottom || left != right) ref += ":" + columnName(right) + std::to_string(bottom);
    }
    if (!dimension.attribute("ref")) dimension.append_attribute("ref");
    dimension.attribute("ref").set_value(ref.c_str());
}

// Writes the rows of a sheet, cell by cell, into a piece buffer.
class RowWriter {
public:
    RowWriter(const CellStore& cells, const std::string& prefix, PieceBuffer& buffer)
        : cells_(cells),
          masters_(cells.sharedFormulaMasters()),
          rowOpen_("<" + prefix + "row r=\""),
          rowClose_("</" + prefix + "row>"),
          cellOpen_("<" + prefix + "c r=\""),
          cellClose_("</" + prefix + "c>"),
          valueOpen_("<" + prefix + "v>"),
          valueClose_("</" + prefix + "v>"),
          inlineOpen_("<" + prefix + "is><" + prefix + "t xml:space=\"preserve\">"),
          inlineClose_("</" + prefix + "t></" + prefix + "is>"),
          buffer_(buffer),
          out_(buffer.text()) {}

    void row(int32_t number, const RowData& row) {
        const size_t length = static_cast<size_t>(std::to_chars(number_, number_ + sizeof number_, number).ptr - number_);
        const std::string_view numberText(number_, length);
        out_ += rowOpen_;
        out_ += numberText;
        out_ += '"';
        rowAttributes(row);
        if (row.cells.empty()) {
            out_ += "/>";
        } else {
            out_ += '>';
            for (const CellData& cell : row.cells) this->cell(number, numberText, cell);
            out_ += rowClose_;
        }
        buffer_.maybeFlush();
    }

private:
    void rowAttributes(const RowData& row) {
        if (row.style >= 0) {
            out_ += " s=\"";
            appendInteger(out_, static_cast<uint64_t>(row.style));
            out_ += "\" customFormat=\"1\"";
        }
        if (row.height >= 0) {
            out_ += " ht=\"";
            appendNumber(out_, row.height);
            out_ += '"';
        }
        if (row.customHeight) out_ += " customHeight=\"1\"";
        if (row.hidden) out_ += " hidden=\"1\"";
        if (row.extraAttributes != 0) out_ += cells_.rowAttributes(row);
    }

    // A shared formula whose master cell was overwritten cannot be read any
    // more: the cells that used it keep their last value without the formula.
    const std::string* formulaOf(const CellExtra* extra) const {
        if (extra == nullptr || extra->formula.empty()) return nullptr;
        if (masters_ && extra->sharedFormula >= 0 && !masters_->count(extra->sharedFormula)) return nullptr;
        return &extra->formula;
    }

    void cell(int32_t number, std::string_view numberText, const CellData& cell) {
        const CellExtra* extra = cells_.extraAt(number, cell);
        out_ += cellOpen_;
        out_ += columnNameRef(cell.column);
        out_ += numberText;
        out_ += '"';
        if (cell.style != 0) {
            out_ += " s=\"";
            appendInteger(out_, cell.style);
            out_ += '"';
        }
        out_ += typeAttribute(cell.kind);
        const std::string* formula = formulaOf(extra);
        if (cell.kind == CellKind::Empty && formula == nullptr) {
            out_ += "/>";
            return;
        }
        out_ += '>';
        if (formula != nullptr) out_ += *formula;
        value(cell, extra);
        out_ += cellClose_;
    }

    static std::string_view typeAttribute(CellKind kind) {
        switch (kind) {
            case CellKind::Shared: return " t=\"s\"";
            case CellKind::Inline: return " t=\"inlineStr\"";
            case CellKind::Boolean: return " t=\"b\"";
            case CellKind::Error: return " t=\"e\"";
            case CellKind::FormulaText: return " t=\"str\"";
            default: return {};
        }
    }

    void value(const CellData& cell, const CellExtra* extra) {
        static const std::string kNoText;
        const std::string& text = extra != nullptr ? extra->text : kNoText;
        switch (cell.kind) {
            case CellKind::Number: out_ += valueOpen_; appendNumber(out_, cell.number); out_ += valueClose_; break;
            case CellKind::Boolean: out_ += valueOpen_; out_ += cell.number != 0 ? '1' : '0'; out_ += valueClose_; break;
            case CellKind::Shared: out_ += valueOpen_; appendInteger(out_, cell.shared); out_ += valueClose_; break;
            case CellKind::Error:
            case CellKind::FormulaText:
                out_ += valueOpen_;
                appendEscaped(out_, text, false);
                out_ += valueClose_;
                break;
            case CellKind::Inline:
                if (extra != nullptr && !extra->richInline.empty()) {
                    out_ += extra->richInline;
                } else {
                    out_ += inlineOpen_;
                    appendEscaped(out_, text, false);
                    out_ += inlineClose_;
                }
                break;
            case CellKind::Empty: break;
        }
    }

    const CellStore& cells_;
    const std::optional<std::set<int64_t>> masters_;
    const std::string rowOpen_, rowClose_, cellOpen_, cellClose_, valueOpen_, valueClose_, inlineOpen_, inlineClose_;
    PieceBuffer& buffer_;
    std::string& out_;
    char number_[12] = {};
};

}  // namespace

void updateSheetFrame(pugi::xml_document& rest, const CellStore& cells, SheetGeometry& geometry) {
    if (geometry.columnsChanged()) {
        writeColumns(rest.document_element(), geometry);
        geometry.markColumnsWritten();
    }
    writeDimension(rest.document_element(), cells.usedBounds());
}

void writeSheet(const pugi::xml_document& rest, const CellStore& cells, PieceBuffer& out, const std::string& partName) {
    const std::string xml = serializeXml(rest);
    const std::string& marker = sheetDataMarker();
    const size_t at = xml.find(marker);
    if (at == std::string::npos)
        raiseSpreadsheet("The sheet part '" + partName + "' lost its cell data and cannot be saved.");
    out.text().append(xml, 0, at);
    RowWriter writer(cells, prefixOf(rest.document_element()), out);
    cells.forEachRow([&writer](int32_t number, const RowData& row) { writer.row(number, row); });
    out.text().append(xml, at + marker.size());
    out.flush();
}

}  // namespace kbx::ooxml
