// A sheet of an open workbook: its model, name, formats and the text of its cells.

#include <unordered_map>

#include "engine/engine_document.h"
#include "value/number_format.h"
#include "value/runtime_error.h"
#include "value/text_case.h"

namespace kbx::engine {

namespace {

size_t utf8Length(const std::string& text) {
    size_t n = 0;
    for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

}  // namespace

EngineWorksheet::EngineWorksheet(EngineWorkbook& book, SheetId id, std::string name,
                                 std::unique_ptr<ooxml::SheetModel> model)
    : book_(book),
      useClock_(&book.useClock()),
      id_(id),
      name_(std::move(name)),
      model_(std::move(model)),
      isWorksheet_(model_ != nullptr) {}

ooxml::SheetModel& EngineWorksheet::loadModel() {
    if (!isWorksheet_) raiseSpreadsheet("The sheet '" + name_ + "' is not a worksheet and holds no cells.");
    ooxml::Package& package = book_.package();
    auto model = std::make_unique<ooxml::SheetModel>(partName_, package.fileName());
    model->setMaxDigitWidth(maxDigitWidth_);
    model->load(package.pieceReader(partName_), book_.styles(), book_.strings());
    model_ = std::move(model);
    book_.noteModelLoaded(*this);
    lastUse_ = ++*useClock_;
    return *model_;
}

ooxml::SheetDrawing& EngineWorksheet::drawing() {
    if (!drawing_) drawing_ = std::make_unique<ooxml::SheetDrawing>();
    return *drawing_;
}

void EngineWorksheet::flushDrawing() {
    if (drawing_) drawing_->flush(book_.package());
}

void EngineWorksheet::releaseModel() {
    if (!model_) return;
    flushDrawing();
    if (model_->dirty()) {
        book_.package().writeDeflatedPart(model_->partName(), model_->serializeDeflated());
        releasedChanges_ = true;
    }
    partName_ = model_->partName();
    maxDigitWidth_ = model_->maxDigitWidth();
    // Its row-format count starts again with the next model.
    uniformColumnFormat_.clear();
    model_.reset();
}

void EngineWorksheet::rename(const std::string& name) {
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
    if (!equalIgnoringCase(name, name_) && book_.sheetNamed(name) != nullptr) refuse("another sheet already has it");
    book_.renameSheet(*this, name);
    name_ = name;
}

void EngineWorksheet::activate() { book_.setActiveSheet(book_.positionOf(*this)); }

void EngineWorksheet::setAutoFilterMode(bool on) {
    if (on) raiseSpreadsheet("AutoFilterMode can only be switched off.");
    if (model().removeAutoFilter()) book_.workbookPart().removeFilterDatabaseName(book_.positionOf(*this));
}

std::string EngineWorksheet::cellText(int32_t row, int32_t column) {
    ooxml::SheetModel& sheet = model();
    const ooxml::CellData* cell = sheet.findCell(row, column);
    if (cell == nullptr) return {};
    switch (cell->kind) {
        case ooxml::CellKind::Empty: return {};
        case ooxml::CellKind::Shared: return std::string(book_.strings().text(cell->shared));
        case ooxml::CellKind::Inline:
        case ooxml::CellKind::Error:
        case ooxml::CellKind::FormulaText: {
            const ooxml::CellExtra* extra = sheet.extraOf(row, column);
            return extra != nullptr ? extra->text : std::string();
        }
        case ooxml::CellKind::Boolean: return cell->number != 0 ? "TRUE" : "FALSE";
        case ooxml::CellKind::Number: {
            const ooxml::XfSpec& format = book_.styles().cellFormat(cell->style);
            return formatNumber(cell->number, book_.styles().numberFormatCode(format.numFmtId), book_.date1904());
        }
    }
    return {};
}

const ooxml::XfSpec& EngineWorksheet::formatAt(int32_t row, int32_t column) {
    ooxml::SheetModel& sheet = model();
    if (row == 0) {
        const int32_t style = sheet.columnStyle(column);
        return book_.styles().cellFormat(style >= 0 ? static_cast<uint32_t>(style) : 0);
    }
    return book_.styles().cellFormat(sheet.styleAt(row, column));
}

void EngineWorksheet::changeFormat(int32_t row, int32_t column,
                                   const std::function<void(ooxml::XfSpec&)>& change) {
    ooxml::SheetModel& sheet = model();
    ooxml::StyleSheet& styles = book_.styles();
    ooxml::XfSpec next = formatAt(row, column);
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
    sheet.forEachCellInColumn(column, [&](ooxml::CellData& cell) {
        const auto it = converted.find(cell.style);
        if (it != converted.end()) {
            cell.style = it->second;
            return;
        }
        ooxml::XfSpec spec = styles.cellFormat(cell.style);
        change(spec);
        const uint32_t index = styles.internCellFormat(spec);
        converted.emplace(cell.style, index);
        cell.style = index;
    });
}

void EngineWorksheet::changeFont(int32_t row, int32_t column,
                                 const std::function<void(ooxml::FontSpec&)>& change) {
    ooxml::StyleSheet& styles = book_.styles();
    const ooxml::FontSpec& current = styles.font(formatAt(row, column).fontId);
    ooxml::FontSpec next = current;
    change(next);
    if (next == current) return;
    const int fontId = styles.internFont(next);
    if (row != 0) {
        changeFormat(row, column, [&](ooxml::XfSpec& spec) { spec.fontId = fontId; });
        return;
    }
    changeFormat(row, column, [&](ooxml::XfSpec& spec) {
        ooxml::FontSpec font = styles.font(spec.fontId);
        change(font);
        spec.fontId = styles.internFont(font);
    });
}

void EngineWorksheet::setNumberFormat(int32_t row, int32_t column, const std::string& format) {
    const uint64_t rowFormatted = model().cellsTakingRowFormat();
    if (row == 0) {
        // Setting a whole column to the format all its cells already have is free.
        const auto it = uniformColumnFormat_.find(column);
        if (it != uniformColumnFormat_.end() && it->second.first == format && it->second.second == rowFormatted)
            return;
    }
    const int id = book_.styles().internNumberFormat(format);
    changeFormat(row, column, [id](ooxml::XfSpec& spec) { spec.numFmtId = id; });
    if (row == 0) {
        uniformColumnFormat_[column] = {format, rowFormatted};
    } else if (const auto it = uniformColumnFormat_.find(column);
               it != uniformColumnFormat_.end() && it->second.first != format) {
        uniformColumnFormat_.erase(it);
    }
}

}  // namespace kbx::engine
