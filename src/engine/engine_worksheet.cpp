#include <algorithm>
#include <unordered_map>

#include "engine/engine_hooks.h"
#include "engine/engine_objects.h"
#include "engine/engine_range.h"
#include "value/number_format.h"
#include "ooxml/xml_util.h"
#include "value/runtime_error.h"
#include "value/text_case.h"

namespace kbx::ooxml {

namespace {

size_t utf8Length(const std::string& text) {
    size_t n = 0;
    for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

}  // namespace

EngineWorksheet::EngineWorksheet(EngineWorkbook& book, std::string name, std::unique_ptr<SheetModel> model)
    : book_(book), name_(std::move(name)), model_(std::move(model)), isWorksheet_(model_ != nullptr) {}

std::shared_ptr<EngineWorksheet> EngineWorksheet::selfPointer() {
    return std::shared_ptr<EngineWorksheet>(book_.shared_from_this(), this);
}

SheetModel& EngineWorksheet::loadModel() {
    book_.checkOpen();
    if (!model_) {
        if (!isWorksheet_) raiseSpreadsheet("The sheet '" + name_ + "' is not a worksheet and holds no cells.");
        Package& package = book_.package();
        auto model = std::make_unique<SheetModel>(partName_, package.fileName());
        model->setMaxDigitWidth(maxDigitWidth_);
        model->load(package.pieceReader(partName_), book_.styles(), book_.strings());
        model_ = std::move(model);
        book_.noteModelLoaded(*this);
    }
    lastUse_ = book_.nextUse();
    return *model_;
}

void EngineWorksheet::releaseModel() {
    if (!model_) return;
    flushPictures(*this);
    Package& package = book_.package();
    if (model_->dirty()) {
        package.writeDeflatedPart(model_->partName(), model_->serializeDeflated());
        releasedChanges_ = true;
    }
    partName_ = model_->partName();
    maxDigitWidth_ = model_->maxDigitWidth();
    // Its row-format count starts again with the next model.
    uniformColumnFormat_.clear();
    model_.reset();
}

void EngineWorksheet::SetName(const std::string& name) {
    book_.checkOpen();
    const auto refuse = [&](const std::string& why) {
        raiseSpreadsheet("The sheet name '" + name + "' is not allowed: " + why + ".");
    };
    if (name == name_) return;
    if (name.empty() || name.find_first_not_of(' ') == std::string::npos) refuse("it is blank");
    if (!isValidUtf8(name)) refuse("it is not valid text");
    if (utf8Length(name) > 31) refuse("it is longer than 31 characters");
    if (name.find_first_of("[]:*?/\\") != std::string::npos) refuse("it holds one of [ ] : * ? / \\");
    if (name.front() == '\'' || name.back() == '\'') refuse("it starts or ends with an apostrophe");
    if (equalIgnoringCase(name, "history")) refuse("the name is reserved");
    if (!equalIgnoringCase(name, name_) && book_.hasSheetNamed(name)) refuse("another sheet already has it");
    book_.renameSheet(*this, name);
    name_ = name;
}

void EngineWorksheet::Activate() {
    book_.checkOpen();
    book_.setActiveSheetIndex(book_.indexOf(*this));
    book_.application().activate(&book_);
}

void EngineWorksheet::Copy(sheet::Worksheet& before) {
    book_.checkOpen();
    auto* target = dynamic_cast<EngineWorksheet*>(&before);
    if (target == nullptr) raise(err::TypeMismatch);
    copySheetBefore(*this, *target);
}

void EngineWorksheet::SetAutoFilterMode(bool on) {
    if (on) raiseSpreadsheet("AutoFilterMode can only be switched off.");
    SheetModel& sheet = model();
    pugi::xml_node root = sheet.xml().document_element();
    if (pugi::xml_node filter = childNamed(root, "autoFilter")) {
        root.remove_child(filter);
        sheet.markDirty();
        book_.removeFilterDatabaseName(book_.indexOf(*this));
    }
}

std::shared_ptr<sheet::Range> EngineWorksheet::Cells(int32_t row, int32_t column) {
    model();
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns) {
        raiseSpreadsheet("Cells(" + std::to_string(row) + ", " + std::to_string(column) + ") lies outside the sheet.");
    }
    return std::make_shared<EngineRange>(selfPointer(), row, column);
}

std::shared_ptr<sheet::Range> EngineWorksheet::Columns(int32_t column) {
    model();
    if (column < 1 || column > kMaxColumns) {
        raiseSpreadsheet("Columns(" + std::to_string(column) + ") lies outside the sheet.");
    }
    return std::make_shared<EngineRange>(selfPointer(), 0, column);
}

std::shared_ptr<sheet::Range> EngineWorksheet::UsedRange() {
    const auto bounds = model().usedBounds();
    const int32_t row = bounds ? (*bounds)[0] : 1, column = bounds ? (*bounds)[1] : 1;
    return std::make_shared<EngineRange>(selfPointer(), row, column);
}

sheet::Pictures& EngineWorksheet::GetPictures() {
    model();
    if (!pictures_) pictures_ = createPictures(*this);
    return *pictures_;
}

sheet::Shapes& EngineWorksheet::GetShapes() {
    model();
    if (!shapes_) shapes_ = createShapes(*this);
    return *shapes_;
}

std::string EngineWorksheet::cellText(int32_t row, int32_t column) {
    SheetModel& sheet = model();
    const CellData* cell = sheet.findCell(row, column);
    if (cell == nullptr) return {};
    switch (cell->kind) {
        case CellKind::Empty: return {};
        case CellKind::Shared: return std::string(book_.strings().text(cell->shared));
        case CellKind::Inline:
        case CellKind::Error:
        case CellKind::FormulaText: {
            const CellExtra* extra = sheet.extraOf(row, column);
            return extra != nullptr ? extra->text : std::string();
        }
        case CellKind::Boolean: return cell->number != 0 ? "TRUE" : "FALSE";
        case CellKind::Number: {
            const XfSpec& format = book_.styles().cellFormat(cell->style);
            return formatNumber(cell->number, book_.styles().numberFormatCode(format.numFmtId), book_.date1904());
        }
    }
    return {};
}

const XfSpec& EngineWorksheet::formatAt(int32_t row, int32_t column) {
    SheetModel& sheet = model();
    if (row == 0) {
        const int32_t style = sheet.columnStyle(column);
        return book_.styles().cellFormat(style >= 0 ? static_cast<uint32_t>(style) : 0);
    }
    return book_.styles().cellFormat(sheet.styleAt(row, column));
}

void EngineWorksheet::changeFormat(int32_t row, int32_t column, const std::function<void(XfSpec&)>& change) {
    SheetModel& sheet = model();
    StyleSheet& styles = book_.styles();
    XfSpec next = formatAt(row, column);
    change(next);
    if (row != 0) {
        if (next == styles.cellFormat(sheet.styleAt(row, column))) return;
        const uint32_t index = styles.internCellFormat(next);
        sheet.cellForWrite(row, column).style = index;
        return;
    }
    // A whole column: its own format, then every existing cell of it.
    sheet.setColumnStyle(column, styles.internCellFormat(next));
    std::unordered_map<uint32_t, uint32_t> converted;
    sheet.forEachCellInColumn(column, [&](CellData& cell) {
        const auto it = converted.find(cell.style);
        if (it != converted.end()) {
            cell.style = it->second;
            return;
        }
        XfSpec spec = styles.cellFormat(cell.style);
        change(spec);
        const uint32_t index = styles.internCellFormat(spec);
        converted.emplace(cell.style, index);
        cell.style = index;
    });
}

void EngineWorksheet::changeFont(int32_t row, int32_t column, const std::function<void(FontSpec&)>& change) {
    StyleSheet& styles = book_.styles();
    const FontSpec& current = styles.font(formatAt(row, column).fontId);
    FontSpec next = current;
    change(next);
    if (next == current) return;
    const int fontId = styles.internFont(next);
    if (row != 0) {
        changeFormat(row, column, [&](XfSpec& spec) { spec.fontId = fontId; });
        return;
    }
    changeFormat(row, column, [&](XfSpec& spec) {
        FontSpec font = styles.font(spec.fontId);
        change(font);
        spec.fontId = styles.internFont(font);
    });
}

}  // namespace kbx::ooxml
