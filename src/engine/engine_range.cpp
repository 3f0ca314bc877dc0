#include "engine/engine_range.h"

#include <cmath>
#include <cstring>

#include "engine/engine_calculation.h"
#include "engine/engine_document.h"
#include "value/cell_reference.h"
#include "value/number_format.h"
#include "value/runtime_error.h"
#include "value/utf8.h"

namespace kbx::engine {

namespace {

using namespace sheet;

constexpr NamedConstant kHorizontal[] = {
    {xl::HAlignGeneral, ""},
    {xl::HAlignLeft, "left"},
    {xl::HAlignCenter, "center"},
    {xl::HAlignRight, "right"},
    {xl::HAlignFill, "fill"},
    {xl::HAlignJustify, "justify"},
    {xl::HAlignCenterAcrossSelection, "centerContinuous"},
    {xl::HAlignDistributed, "distributed"},
};
constexpr NamedConstant kVertical[] = {
    {xl::VAlignBottom, ""},
    {xl::VAlignTop, "top"},
    {xl::VAlignCenter, "center"},
    {xl::VAlignJustify, "justify"},
    {xl::VAlignDistributed, "distributed"},
};

template <size_t N>
std::string alignmentNamed(const NamedConstant (&table)[N], const Variant& value, const char* property) {
    const NamedConstant* entry = entryOf(table, toLong(value));
    if (entry == nullptr) raiseSpreadsheet(std::string("Unable to set the ") + property + " property of the Range class");
    return entry->name;
}

// Transition keys of the alignments, apart from those of the font properties.
constexpr uint8_t kHorizontalProperty = 100;
constexpr uint8_t kVerticalProperty = 101;

// A cell holds at most this many characters (UTF-16 code units, as the
// spreadsheet counts them).
constexpr size_t kMaxCellCharacters = 32767;

// Characters of valid UTF-8 text as UTF-16 code units: one per sequence,
// two for a sequence beyond the basic plane (four bytes).
size_t utf16Length(std::string_view text) {
    size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) ++units;
        if (byte >= 0xF0) ++units;
    }
    return units;
}

// The shared-string index of a text a cell is given; refuses a text longer
// than a cell holds. Valid text is interned without a copy.
uint32_t internCellText(ooxml::SharedStrings& strings, const std::string& text) {
    // A UTF-16 unit takes at most three bytes, so a longer text is refused before it is read.
    const bool tooLong = text.size() > 3 * kMaxCellCharacters;
    std::string repaired;
    std::string_view stored = text;
    if (!tooLong && !isValidUtf8(text)) stored = repaired = repairUtf8(text);
    if (tooLong || utf16Length(stored) > kMaxCellCharacters) {
        raiseSpreadsheet("The text is longer than the " + std::to_string(kMaxCellCharacters) +
                         " characters a cell can hold.");
    }
    return strings.intern(stored);
}

}  // namespace

std::optional<std::pair<uint8_t, uint64_t>> transitionValue(const Variant& value) {
    switch (value.type()) {
        case VarType::Boolean: return std::pair<uint8_t, uint64_t>{1, value.asBoolean() ? 1 : 0};
        case VarType::Integer: return std::pair<uint8_t, uint64_t>{2, static_cast<uint64_t>(value.asInteger())};
        case VarType::Long: return std::pair<uint8_t, uint64_t>{2, static_cast<uint64_t>(value.asLong())};
        case VarType::Double: {
            uint64_t bits;
            const double d = value.asDouble();
            std::memcpy(&bits, &d, sizeof bits);
            return std::pair<uint8_t, uint64_t>{3, bits};
        }
        case VarType::String: {
            static const char* kStyles[] = {"Regular", "Bold", "Italic", "Bold Italic"};
            for (uint64_t i = 0; i < 4; ++i)
                if (value.asString() == kStyles[i]) return std::pair<uint8_t, uint64_t>{4, i};
            return std::nullopt;
        }
        default: return std::nullopt;
    }
}

EngineWorksheet& RangeHandle::cellSheet(const char* member) const {
    EngineWorksheet& worksheet = sheet();
    worksheet.model();
    if (row_ == 0) raiseSpreadsheet(std::string(member) + " is not available for a whole column.");
    return worksheet;
}

Variant RangeHandle::Value() const {
    const Variant raw = Value2();
    if (raw.type() == VarType::Double) {
        EngineWorksheet& worksheet = sheet();
        ooxml::StyleSheet& styles = worksheet.workbook().styles();
        const std::string code = styles.numberFormatCode(styles.cellFormat(worksheet.model().styleAt(row_, column_)).numFmtId);
        // A number beyond the days a Date can name stays a number.
        if (isDateFormat(code) && isValidDateSerial(raw.asDouble())) return Variant(Date{raw.asDouble()});
    }
    return raw;
}

Variant RangeHandle::Value2() const {
    EngineWorksheet& worksheet = cellSheet("Value");
    const ooxml::CellData* cell = worksheet.model().findCell(row_, column_);
    if (cell == nullptr) return Variant();
    switch (cell->kind) {
        case ooxml::CellKind::Empty: return Variant();
        case ooxml::CellKind::Number: return Variant(cell->number);
        case ooxml::CellKind::Boolean: return Variant(cell->number != 0);
        case ooxml::CellKind::Shared: return Variant(std::string(worksheet.workbook().strings().text(cell->shared)));
        case ooxml::CellKind::Inline:
        case ooxml::CellKind::Error:
        case ooxml::CellKind::FormulaText: {
            const ooxml::CellExtra* extra = worksheet.model().extraOf(row_, column_);
            return Variant(extra != nullptr ? extra->text : std::string());
        }
    }
    return Variant();
}

void RangeHandle::store(const Variant& value, bool applyDateFormat) {
    EngineWorksheet& worksheet = cellSheet("Value");
    ooxml::CellKind kind = ooxml::CellKind::Empty;
    double number = 0;
    uint32_t shared = 0;
    switch (value.type()) {
        case VarType::Empty:
        case VarType::Null: break;
        case VarType::Boolean:
            kind = ooxml::CellKind::Boolean;
            number = value.asBoolean() ? 1 : 0;
            break;
        case VarType::Integer:
        case VarType::Long:
        case VarType::Double:
        case VarType::Currency:
        case VarType::Date:
            number = value.type() == VarType::Date ? value.asDate().serial : toDouble(value);
            if (!std::isfinite(number)) raiseSpreadsheet("The value is not a finite number.");
            kind = ooxml::CellKind::Number;
            break;
        case VarType::String:
            if (value.asString().empty()) break;
            kind = ooxml::CellKind::Shared;
            shared = internCellText(worksheet.workbook().strings(), value.asString());
            break;
        case VarType::Array: raise(err::TypeMismatch);
    }
    worksheet.model().setValue(row_, column_, kind, number, shared);
    worksheet.workbook().calculation().cellChanged(worksheet, row_, column_);
    if (applyDateFormat && value.type() == VarType::Date && NumberFormat() == "General") {
        const double serial = value.asDate().serial;
        SetNumberFormat(serial != std::floor(serial) ? "m/d/yyyy h:mm" : "m/d/yyyy");
    }
}

std::string RangeHandle::Text() const { return cellSheet("Text").cellText(row_, column_); }

std::string RangeHandle::NumberFormat() const {
    EngineWorksheet& worksheet = sheet();
    return worksheet.workbook().styles().numberFormatCode(worksheet.formatAt(row_, column_).numFmtId);
}

void RangeHandle::SetNumberFormat(const std::string& format) {
    EngineWorksheet& worksheet = sheet();
    worksheet.model();
    if (format.size() > 255 || !isValidUtf8(format))
        raiseSpreadsheet("Unable to set the NumberFormat property of the Range class");
    worksheet.setNumberFormat(row_, column_, format);
}

Variant RangeHandle::HorizontalAlignment() const {
    return Variant(constantNamed(kHorizontal, sheet().formatAt(row_, column_).horizontal));
}

void RangeHandle::SetHorizontalAlignment(const Variant& alignment) { setAlignment(kHorizontalProperty, alignment); }

Variant RangeHandle::VerticalAlignment() const {
    return Variant(constantNamed(kVertical, sheet().formatAt(row_, column_).vertical));
}

void RangeHandle::SetVerticalAlignment(const Variant& alignment) { setAlignment(kVerticalProperty, alignment); }

void RangeHandle::setAlignment(uint8_t property, const Variant& alignment) {
    EngineWorksheet& worksheet = sheet();
    setThroughTransitions(worksheet, row_, column_, property, alignment, [&] {
        if (property == kHorizontalProperty) {
            const std::string name = alignmentNamed(kHorizontal, alignment, "HorizontalAlignment");
            worksheet.changeFormat(row_, column_, [&](ooxml::XfSpec& spec) { spec.horizontal = name; });
        } else {
            const std::string name = alignmentNamed(kVertical, alignment, "VerticalAlignment");
            worksheet.changeFormat(row_, column_, [&](ooxml::XfSpec& spec) { spec.vertical = name; });
        }
    });
}

std::shared_ptr<sheet::Font> RangeHandle::GetFont() {
    sheet().model();
    return std::make_shared<FontHandle>(sheet_, row_, column_);
}

void RangeHandle::Select() {
    EngineWorksheet& worksheet = sheet();
    sheet_.root().activate(worksheet);
    worksheet.setSelectedCell(Row(), column_);
    sheet_.root().select({worksheet.workbook().id(), worksheet.id(), row_, column_, std::nullopt});
}

double RangeHandle::RowHeight() const {
    const ooxml::SheetModel& model = sheet().model();
    return row_ == 0 ? model.defaultRowHeight() : model.rowHeightPoints(row_);
}

void RangeHandle::SetRowHeight(double points) {
    EngineWorksheet& worksheet = cellSheet("RowHeight");
    if (!(points >= 0 && points <= 409)) raiseSpreadsheet("Unable to set the RowHeight property of the Range class");
    worksheet.model().setRowHeight(row_, points);
}

double RangeHandle::ColumnWidth() const {
    const ooxml::SheetModel& model = sheet().model();
    const double pixels = model.columnWidthPixels(column_);
    if (pixels <= 0) return 0;
    return std::round((pixels - 5) / model.maxDigitWidth() * 100) / 100;
}

void RangeHandle::SetColumnWidth(double characters) {
    ooxml::SheetModel& model = sheet().model();
    if (!(characters >= 0 && characters <= 255))
        raiseSpreadsheet("Unable to set the ColumnWidth property of the Range class");
    const double digit = model.maxDigitWidth();
    const double width = characters == 0 ? 0 : std::trunc((characters * digit + 5) / digit * 256) / 256;
    model.setStoredColumnWidth(column_, width);
}

double RangeHandle::Width() const { return sheet().model().columnWidthPoints(column_); }

double RangeHandle::Height() const {
    const ooxml::SheetModel& model = sheet().model();
    return row_ == 0 ? model.rowTop(kMaxRows + 1) : model.rowHeightPoints(row_);
}

double RangeHandle::Left() const { return sheet().model().columnLeft(column_); }

double RangeHandle::Top() const { return row_ == 0 ? 0 : sheet().model().rowTop(row_); }

void RangeHandle::Calculate() {
    EngineWorksheet& worksheet = sheet();
    worksheet.model();
    // What changed, and the volatile formulas of this sheet only: a paged
    // export calculates each page and should not compute every page's again.
    worksheet.workbook().calculate(worksheet.id());
}

void RangeHandle::Cut() {
    // Cutting a range without a destination only marks it for a later paste;
    // the engine has no clipboard, so the sheet stays as it is.
    sheet().model();
}

void RangeHandle::SetPlacement(int32_t) { raise(err::MemberNotSupported); }

std::shared_ptr<sheet::Range> rangeHandle(const SheetRef& sheet, int32_t row, int32_t column) {
    return std::make_shared<RangeHandle>(sheet, row, column);
}

}  // namespace kbx::engine
