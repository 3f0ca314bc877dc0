#include "engine/engine_range.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <optional>

#include "value/number_format.h"
#include "ooxml/xml_util.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {

namespace {

using namespace sheet;

struct AlignmentName {
    int32_t constant;
    const char* name;
};

constexpr AlignmentName kHorizontal[] = {
    {xl::HAlignGeneral, ""},
    {xl::HAlignLeft, "left"},
    {xl::HAlignCenter, "center"},
    {xl::HAlignRight, "right"},
    {xl::HAlignFill, "fill"},
    {xl::HAlignJustify, "justify"},
    {xl::HAlignCenterAcrossSelection, "centerContinuous"},
    {xl::HAlignDistributed, "distributed"},
};
constexpr AlignmentName kVertical[] = {
    {xl::VAlignBottom, ""},
    {xl::VAlignTop, "top"},
    {xl::VAlignCenter, "center"},
    {xl::VAlignJustify, "justify"},
    {xl::VAlignDistributed, "distributed"},
};

template <size_t N>
int32_t constantOf(const AlignmentName (&table)[N], const std::string& name) {
    for (const AlignmentName& a : table) {
        if (name == a.name) return a.constant;
    }
    return table[0].constant;
}

template <size_t N>
std::string nameOf(const AlignmentName (&table)[N], const Variant& value, const char* property) {
    const int32_t constant = toLong(value);
    for (const AlignmentName& a : table) {
        if (a.constant == constant) return a.name;
    }
    raiseSpreadsheet(std::string("Unable to set the ") + property + " property of the Range class");
}

constexpr uint32_t kFontColorLimit = 0xFFFFFF;

int32_t bgrOf(uint32_t rgb) {
    return static_cast<int32_t>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
}

// The palette entry (1..56) nearest to a colour.
int32_t nearestPaletteIndex(uint32_t rgb) {
    const auto& palette = standardPalette();
    int32_t best = 1;
    long bestDistance = -1;
    for (size_t i = 0; i < palette.size(); ++i) {
        const long dr = static_cast<long>((rgb >> 16) & 0xFF) - static_cast<long>((palette[i] >> 16) & 0xFF);
        const long dg = static_cast<long>((rgb >> 8) & 0xFF) - static_cast<long>((palette[i] >> 8) & 0xFF);
        const long db = static_cast<long>(rgb & 0xFF) - static_cast<long>(palette[i] & 0xFF);
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int32_t>(i + 1);
        }
    }
    return best;
}

struct UnderlineName {
    int32_t constant;
    const char* name;
};
constexpr UnderlineName kUnderlines[] = {
    {xl::UnderlineStyleNone, ""},
    {xl::UnderlineStyleSingle, "single"},
    {xl::UnderlineStyleDouble, "double"},
    {xl::UnderlineStyleSingleAccounting, "singleAccounting"},
    {xl::UnderlineStyleDoubleAccounting, "doubleAccounting"},
};

constexpr uint8_t kHorizontalProperty = 100;
constexpr uint8_t kVerticalProperty = 101;

// The value as a transition key, or nullopt when it is not worth remembering.
std::optional<std::pair<uint8_t, uint64_t>> transitionValue(const Variant& value) {
    switch (value.type()) {
        case VarType::Boolean:
            return std::pair<uint8_t, uint64_t>{1, value.asBoolean() ? 1 : 0};
        case VarType::Integer:
            return std::pair<uint8_t, uint64_t>{2, static_cast<uint64_t>(value.asInteger())};
        case VarType::Long:
            return std::pair<uint8_t, uint64_t>{2, static_cast<uint64_t>(value.asLong())};
        case VarType::Double: {
            uint64_t bits;
            const double d = value.asDouble();
            std::memcpy(&bits, &d, sizeof bits);
            return std::pair<uint8_t, uint64_t>{3, bits};
        }
        case VarType::String: {
            static const char* kStyles[] = {"Regular", "Bold", "Italic", "Bold Italic"};
            for (uint64_t i = 0; i < 4; ++i) {
                if (value.asString() == kStyles[i]) return std::pair<uint8_t, uint64_t>{4, i};
            }
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

// Runs `set` unless the same change was made on the same format before, and
// remembers where it led. Only for single cells.
template <typename F>
void setThroughTransitions(EngineWorksheet& sheet, int32_t row, int32_t column, uint8_t property, const Variant& value,
                           F&& set) {
    const auto key = row != 0 ? transitionValue(value) : std::nullopt;
    if (!key) {
        set();
        return;
    }
    SheetModel& model = sheet.model();
    StyleSheet& styles = sheet.workbook().styles();
    const StyleTransition transition{model.styleAt(row, column), property, key->first, key->second};
    if (const uint32_t* to = styles.findTransition(transition)) {
        if (*to != transition.from) model.cellForWrite(row, column).style = *to;
        return;
    }
    set();
    styles.rememberTransition(transition, model.styleAt(row, column));
}

[[noreturn]] void refuseFont(const char* property) {
    raiseSpreadsheet(std::string("Unable to set the ") + property + " property of the Font class");
}

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

}  // namespace

EngineRange::EngineRange(std::shared_ptr<EngineWorksheet> sheet, int32_t row, int32_t column)
    : sheet_(std::move(sheet)), row_(row), column_(column) {}

void EngineRange::requireCell(const char* member) const {
    sheet_->model();
    if (row_ == 0) raiseSpreadsheet(std::string(member) + " is not available for a whole column.");
}

Variant EngineRange::Value() const {
    const Variant raw = Value2();
    if (raw.type() == VarType::Double) {
        StyleSheet& styles = sheet_->workbook().styles();
        const std::string code =
            styles.numberFormatCode(styles.cellFormat(sheet_->model().styleAt(row_, column_)).numFmtId);
        // A number beyond the days a Date can name stays a number.
        if (isDateFormat(code) && isValidDateSerial(raw.asDouble())) return Variant(Date{raw.asDouble()});
    }
    return raw;
}

Variant EngineRange::Value2() const {
    requireCell("Value");
    const CellData* cell = sheet_->model().findCell(row_, column_);
    if (cell == nullptr) return Variant();
    switch (cell->kind) {
        case CellKind::Empty: return Variant();
        case CellKind::Number: return Variant(cell->number);
        case CellKind::Boolean: return Variant(cell->number != 0);
        case CellKind::Shared: return Variant(std::string(sheet_->workbook().strings().text(cell->shared)));
        case CellKind::Inline:
        case CellKind::Error:
        case CellKind::FormulaText: {
            const CellExtra* extra = sheet_->model().extraOf(row_, column_);
            return Variant(extra != nullptr ? extra->text : std::string());
        }
    }
    return Variant();
}

void EngineRange::SetValue(const Variant& value) { store(value, true); }

void EngineRange::SetValue2(const Variant& value) { store(value, false); }

void EngineRange::store(const Variant& value, bool applyDateFormat) {
    requireCell("Value");
    SheetModel& model = sheet_->model();
    CellKind kind = CellKind::Empty;
    double number = 0;
    uint32_t shared = 0;
    switch (value.type()) {
        case VarType::Empty:
        case VarType::Null:
            break;
        case VarType::Boolean:
            kind = CellKind::Boolean;
            number = value.asBoolean() ? 1 : 0;
            break;
        case VarType::Integer:
        case VarType::Long:
        case VarType::Double:
        case VarType::Currency:
        case VarType::Date: {
            number = value.type() == VarType::Date ? value.asDate().serial : toDouble(value);
            if (!std::isfinite(number)) raiseSpreadsheet("The value is not a finite number.");
            kind = CellKind::Number;
            break;
        }
        case VarType::String: {
            const std::string& text = value.asString();
            if (text.empty()) break;
            // A UTF-16 unit takes at most three bytes, so a longer text is
            // refused before it is read; valid text is interned without a copy.
            const bool tooLong = text.size() > 3 * kMaxCellCharacters;
            std::string repaired;
            std::string_view stored = text;
            if (!tooLong && !isValidUtf8(text)) stored = repaired = repairUtf8(text);
            if (tooLong || utf16Length(stored) > kMaxCellCharacters) {
                raiseSpreadsheet("The text is longer than the " + std::to_string(kMaxCellCharacters) +
                                 " characters a cell can hold.");
            }
            kind = CellKind::Shared;
            shared = sheet_->workbook().strings().intern(stored);
            break;
        }
        case VarType::Array:
            raise(err::TypeMismatch);
    }
    model.setValue(row_, column_, kind, number, shared);
    if (applyDateFormat && value.type() == VarType::Date && NumberFormat() == "General") {
        const double serial = value.asDate().serial;
        SetNumberFormat(serial != std::floor(serial) ? "m/d/yyyy h:mm" : "m/d/yyyy");
    }
}

std::string EngineRange::Text() const {
    requireCell("Text");
    return sheet_->cellText(row_, column_);
}

std::string EngineRange::NumberFormat() const {
    StyleSheet& styles = sheet_->workbook().styles();
    return styles.numberFormatCode(sheet_->formatAt(row_, column_).numFmtId);
}

void EngineRange::SetNumberFormat(const std::string& format) {
    sheet_->model();
    if (format.size() > 255 || !isValidUtf8(format)) {
        raiseSpreadsheet("Unable to set the NumberFormat property of the Range class");
    }
    auto& uniform = sheet_->uniformColumnFormat_;
    const uint64_t rowFormatted = sheet_->model().cellsTakingRowFormat();
    if (row_ == 0) {
        // Setting a whole column to the format all its cells already have is free.
        const auto it = uniform.find(column_);
        if (it != uniform.end() && it->second.first == format && it->second.second == rowFormatted) return;
    }
    const int id = sheet_->workbook().styles().internNumberFormat(format);
    sheet_->changeFormat(row_, column_, [id](XfSpec& spec) { spec.numFmtId = id; });
    if (row_ == 0) {
        uniform[column_] = {format, rowFormatted};
    } else if (const auto it = uniform.find(column_); it != uniform.end() && it->second.first != format) {
        uniform.erase(it);
    }
}

Variant EngineRange::HorizontalAlignment() const {
    return Variant(constantOf(kHorizontal, sheet_->formatAt(row_, column_).horizontal));
}

void EngineRange::SetHorizontalAlignment(const Variant& alignment) { setAlignment(kHorizontalProperty, alignment); }

void EngineRange::setAlignment(uint8_t property, const Variant& alignment) {
    setThroughTransitions(*sheet_, row_, column_, property, alignment, [&] {
        if (property == kHorizontalProperty) {
            const std::string name = nameOf(kHorizontal, alignment, "HorizontalAlignment");
            sheet_->changeFormat(row_, column_, [&](XfSpec& spec) { spec.horizontal = name; });
        } else {
            const std::string name = nameOf(kVertical, alignment, "VerticalAlignment");
            sheet_->changeFormat(row_, column_, [&](XfSpec& spec) { spec.vertical = name; });
        }
    });
}

Variant EngineRange::VerticalAlignment() const {
    return Variant(constantOf(kVertical, sheet_->formatAt(row_, column_).vertical));
}

void EngineRange::SetVerticalAlignment(const Variant& alignment) { setAlignment(kVerticalProperty, alignment); }

std::shared_ptr<sheet::Font> EngineRange::GetFont() {
    sheet_->model();
    return std::make_shared<EngineFont>(sheet_, row_, column_);
}

void EngineRange::Select() {
    sheet_->Activate();
    sheet_->setSelectedCell(Row(), column_);
    sheet_->workbook().application().setSelection(shared_from_this(), &sheet_->workbook());
}

double EngineRange::RowHeight() const {
    SheetModel& model = sheet_->model();
    return row_ == 0 ? model.defaultRowHeight() : model.rowHeightPoints(row_);
}

void EngineRange::SetRowHeight(double points) {
    requireCell("RowHeight");
    if (!(points >= 0 && points <= 409)) raiseSpreadsheet("Unable to set the RowHeight property of the Range class");
    sheet_->model().setRowHeight(row_, points);
}

double EngineRange::ColumnWidth() const {
    const SheetModel& model = sheet_->model();
    const double pixels = model.columnWidthPixels(column_);
    if (pixels <= 0) return 0;
    return std::round((pixels - 5) / model.maxDigitWidth() * 100) / 100;
}

void EngineRange::SetColumnWidth(double characters) {
    SheetModel& model = sheet_->model();
    if (!(characters >= 0 && characters <= 255)) {
        raiseSpreadsheet("Unable to set the ColumnWidth property of the Range class");
    }
    const double digit = model.maxDigitWidth();
    const double width = characters == 0 ? 0 : std::trunc((characters * digit + 5) / digit * 256) / 256;
    model.setStoredColumnWidth(column_, width);
}

double EngineRange::Width() const { return sheet_->model().columnWidthPoints(column_); }

double EngineRange::Height() const {
    SheetModel& model = sheet_->model();
    return row_ == 0 ? model.rowTop(kMaxRows + 1) : model.rowHeightPoints(row_);
}

double EngineRange::Left() const { return sheet_->model().columnLeft(column_); }

double EngineRange::Top() const { return row_ == 0 ? 0 : sheet_->model().rowTop(row_); }

void EngineRange::Calculate() {
    sheet_->model();
    sheet_->workbook().requestFullCalculation();
}

void EngineRange::Cut() {
    // Cutting a range without a destination only marks it for a later paste;
    // the engine has no clipboard, so the sheet stays as it is.
    sheet_->model();
}

void EngineRange::SetPlacement(int32_t) { raise(err::MemberNotSupported); }

const FontSpec& EngineFont::current() const {
    return sheet_->workbook().styles().font(sheet_->formatAt(row_, column_).fontId);
}

std::string EngineFont::Name() const { return current().name; }

Variant EngineFont::Get(FontProperty property) const {
    const FontSpec& font = current();
    StyleSheet& styles = sheet_->workbook().styles();
    switch (property) {
        case FontProperty::Background:
            return Variant(xl::BackgroundAutomatic);
        case FontProperty::Bold:
            return Variant(font.bold);
        case FontProperty::Color:
            return Variant(bgrOf(styles.resolveRgb(font.color)));
        case FontProperty::ColorIndex:
            switch (font.color.kind) {
                case ColorSpec::Kind::None:
                case ColorSpec::Kind::Auto:
                    return Variant(xl::ColorIndexAutomatic);
                case ColorSpec::Kind::Indexed:
                    if (font.color.index >= 8 && font.color.index < 64) return Variant(int32_t{font.color.index - 7});
                    if (font.color.index >= 0 && font.color.index < 8) return Variant(int32_t{font.color.index + 1});
                    return Variant(xl::ColorIndexAutomatic);
                default:
                    return Variant(nearestPaletteIndex(styles.resolveRgb(font.color)));
            }
        case FontProperty::FontStyle:
            if (font.bold && font.italic) return Variant("Bold Italic");
            if (font.bold) return Variant("Bold");
            if (font.italic) return Variant("Italic");
            return Variant("Regular");
        case FontProperty::Italic:
            return Variant(font.italic);
        case FontProperty::OutlineFont:
            return Variant(font.outline);
        case FontProperty::Shadow:
            return Variant(font.shadow);
        case FontProperty::Size:
            return Variant(font.size);
        case FontProperty::Strikethrough:
            return Variant(font.strike);
        case FontProperty::Subscript:
            return Variant(font.vertAlign == "subscript");
        case FontProperty::Superscript:
            return Variant(font.vertAlign == "superscript");
        case FontProperty::Underline:
            for (const UnderlineName& u : kUnderlines) {
                if (font.underline == u.name) return Variant(u.constant);
            }
            return Variant(xl::UnderlineStyleSingle);
    }
    raise(err::InvalidCall);
}

void EngineFont::Set(FontProperty property, const Variant& value) {
    setThroughTransitions(*sheet_, row_, column_, static_cast<uint8_t>(property), value,
                          [&] { apply(property, value); });
}

void EngineFont::apply(FontProperty property, const Variant& value) {
    if (Get(property) == value) return;
    std::function<void(FontSpec&)> change;
    switch (property) {
        case FontProperty::Background: {
            const int32_t mode = toLong(value);
            if (mode != xl::BackgroundAutomatic && mode != xl::BackgroundOpaque && mode != xl::BackgroundTransparent) {
                refuseFont("Background");
            }
            return;  // cell fonts have no background mode in the file; nothing to store
        }
        case FontProperty::Bold: {
            const bool on = toBoolean(value);
            change = [on](FontSpec& f) { f.bold = on; };
            break;
        }
        case FontProperty::Italic: {
            const bool on = toBoolean(value);
            change = [on](FontSpec& f) { f.italic = on; };
            break;
        }
        case FontProperty::OutlineFont: {
            const bool on = toBoolean(value);
            change = [on](FontSpec& f) { f.outline = on; };
            break;
        }
        case FontProperty::Shadow: {
            const bool on = toBoolean(value);
            change = [on](FontSpec& f) { f.shadow = on; };
            break;
        }
        case FontProperty::Strikethrough: {
            const bool on = toBoolean(value);
            change = [on](FontSpec& f) { f.strike = on; };
            break;
        }
        case FontProperty::Subscript:
        case FontProperty::Superscript: {
            const bool on = toBoolean(value);
            const std::string mode = property == FontProperty::Subscript ? "subscript" : "superscript";
            change = [on, mode](FontSpec& f) {
                if (on)
                    f.vertAlign = mode;
                else if (f.vertAlign == mode)
                    f.vertAlign.clear();
            };
            break;
        }
        case FontProperty::Color: {
            const int32_t bgr = toLong(value);
            if (bgr < 0 || static_cast<uint32_t>(bgr) > kFontColorLimit) refuseFont("Color");
            const uint32_t rgb = static_cast<uint32_t>(bgrOf(static_cast<uint32_t>(bgr)));
            change = [rgb](FontSpec& f) { f.color = ColorSpec{ColorSpec::Kind::Rgb, 0xFF000000u | rgb, 0, 0}; };
            break;
        }
        case FontProperty::ColorIndex: {
            const int32_t index = toLong(value);
            if (index == xl::ColorIndexAutomatic || index == -4142) {
                change = [](FontSpec& f) { f.color = ColorSpec{}; };
            } else if (index >= 1 && index <= 56) {
                change = [index](FontSpec& f) { f.color = ColorSpec{ColorSpec::Kind::Indexed, 0, index + 7, 0}; };
            } else {
                refuseFont("ColorIndex");
            }
            break;
        }
        case FontProperty::FontStyle: {
            if (!value.isString()) raise(err::TypeMismatch);
            std::string style = value.asString();
            std::transform(style.begin(), style.end(), style.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            const bool bold = style.find("bold") != std::string::npos;
            const bool italic = style.find("italic") != std::string::npos || style.find("oblique") != std::string::npos;
            if (!bold && !italic && style.find("regular") == std::string::npos &&
                style.find("normal") == std::string::npos && style.find("standard") == std::string::npos) {
                refuseFont("FontStyle");
            }
            change = [bold, italic](FontSpec& f) {
                f.bold = bold;
                f.italic = italic;
            };
            break;
        }
        case FontProperty::Size: {
            const double size = toDouble(value);
            if (!(size >= 1 && size <= 409)) refuseFont("Size");
            change = [size](FontSpec& f) { f.size = size; };
            break;
        }
        case FontProperty::Underline: {
            int32_t constant = value.type() == VarType::Boolean
                                   ? (value.asBoolean() ? xl::UnderlineStyleSingle : xl::UnderlineStyleNone)
                                   : toLong(value);
            const UnderlineName* match = nullptr;
            for (const UnderlineName& u : kUnderlines) {
                if (u.constant == constant) match = &u;
            }
            if (match == nullptr) refuseFont("Underline");
            const std::string name = match->name;
            change = [name](FontSpec& f) { f.underline = name; };
            break;
        }
    }
    if (change) sheet_->changeFont(row_, column_, change);
}

}  // namespace kbx::ooxml
