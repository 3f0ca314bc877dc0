// The Font of a cell or a whole column: read from its cell format's font,
// written by interning a font with the property changed.

#include <algorithm>
#include <cctype>
#include <functional>

#include "engine/engine_range.h"
#include "value/runtime_error.h"

namespace kbx::engine {

namespace {

using sheet::FontProperty;
namespace xl = sheet::xl;
using ooxml::ColorSpec;
using ooxml::FontSpec;

constexpr uint32_t kFontColorLimit = 0xFFFFFF;

int32_t bgrOf(uint32_t rgb) {
    return static_cast<int32_t>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
}

// The palette entry (1..56) nearest to a colour.
int32_t nearestPaletteIndex(uint32_t rgb) {
    const auto& palette = ooxml::standardPalette();
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

constexpr NamedConstant kUnderlines[] = {
    {xl::UnderlineStyleNone, ""},
    {xl::UnderlineStyleSingle, "single"},
    {xl::UnderlineStyleDouble, "double"},
    {xl::UnderlineStyleSingleAccounting, "singleAccounting"},
    {xl::UnderlineStyleDoubleAccounting, "doubleAccounting"},
};

// The font's flag a True/False property reads and writes, or nullptr.
bool FontSpec::*flagOf(FontProperty property) {
    switch (property) {
        case FontProperty::Bold: return &FontSpec::bold;
        case FontProperty::Italic: return &FontSpec::italic;
        case FontProperty::OutlineFont: return &FontSpec::outline;
        case FontProperty::Shadow: return &FontSpec::shadow;
        case FontProperty::Strikethrough: return &FontSpec::strike;
        default: return nullptr;
    }
}

[[noreturn]] void refuse(const char* property) {
    raiseSpreadsheet(std::string("Unable to set the ") + property + " property of the Font class");
}

Variant colorIndexOf(const ooxml::StyleSheet& styles, const ColorSpec& color) {
    switch (color.kind) {
        case ColorSpec::Kind::None:
        case ColorSpec::Kind::Auto: return Variant(xl::ColorIndexAutomatic);
        case ColorSpec::Kind::Indexed:
            if (color.index >= 8 && color.index < 64) return Variant(int32_t{color.index - 7});
            if (color.index >= 0 && color.index < 8) return Variant(int32_t{color.index + 1});
            return Variant(xl::ColorIndexAutomatic);
        default: return Variant(nearestPaletteIndex(styles.resolveRgb(color)));
    }
}

Variant fontStyleOf(const FontSpec& font) {
    if (font.bold && font.italic) return Variant("Bold Italic");
    if (font.bold) return Variant("Bold");
    if (font.italic) return Variant("Italic");
    return Variant("Regular");
}

Variant underlineOf(const FontSpec& font) {
    // An underline the automation model has no constant for reads as single.
    for (const NamedConstant& u : kUnderlines)
        if (font.underline == u.name) return Variant(u.constant);
    return Variant(xl::UnderlineStyleSingle);
}

using FontChange = std::function<void(FontSpec&)>;

FontChange colorChange(const Variant& value) {
    const int32_t bgr = toLong(value);
    if (bgr < 0 || static_cast<uint32_t>(bgr) > kFontColorLimit) refuse("Color");
    const uint32_t rgb = static_cast<uint32_t>(bgrOf(static_cast<uint32_t>(bgr)));
    return [rgb](FontSpec& f) { f.color = ColorSpec{ColorSpec::Kind::Rgb, 0xFF000000u | rgb, 0, 0}; };
}

FontChange colorIndexChange(const Variant& value) {
    const int32_t index = toLong(value);
    if (index == xl::ColorIndexAutomatic || index == -4142) return [](FontSpec& f) { f.color = ColorSpec{}; };
    if (index < 1 || index > 56) refuse("ColorIndex");
    return [index](FontSpec& f) { f.color = ColorSpec{ColorSpec::Kind::Indexed, 0, index + 7, 0}; };
}

FontChange fontStyleChange(const Variant& value) {
    if (!value.isString()) raise(err::TypeMismatch);
    std::string style = value.asString();
    std::transform(style.begin(), style.end(), style.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto has = [&style](const char* word) { return style.find(word) != std::string::npos; };
    const bool bold = has("bold");
    const bool italic = has("italic") || has("oblique");
    if (!bold && !italic && !has("regular") && !has("normal") && !has("standard")) refuse("FontStyle");
    return [bold, italic](FontSpec& f) {
        f.bold = bold;
        f.italic = italic;
    };
}

FontChange underlineChange(const Variant& value) {
    const int32_t constant = value.type() == VarType::Boolean
                                 ? (value.asBoolean() ? xl::UnderlineStyleSingle : xl::UnderlineStyleNone)
                                 : toLong(value);
    const NamedConstant* entry = entryOf(kUnderlines, constant);
    if (entry == nullptr) refuse("Underline");
    const std::string name = entry->name;
    return [name](FontSpec& f) { f.underline = name; };
}

FontChange scriptChange(FontProperty property, const Variant& value) {
    const bool on = toBoolean(value);
    const std::string mode = property == FontProperty::Subscript ? "subscript" : "superscript";
    return [on, mode](FontSpec& f) {
        if (on)
            f.vertAlign = mode;
        else if (f.vertAlign == mode)
            f.vertAlign.clear();
    };
}

// What setting a property to a value changes in a font; nothing for the
// background, which cell fonts do not store.
FontChange changeOf(FontProperty property, const Variant& value) {
    if (bool FontSpec::*flag = flagOf(property)) {
        const bool on = toBoolean(value);
        return [flag, on](FontSpec& f) { f.*flag = on; };
    }
    switch (property) {
        case FontProperty::Background: {
            const int32_t mode = toLong(value);
            if (mode != xl::BackgroundAutomatic && mode != xl::BackgroundOpaque && mode != xl::BackgroundTransparent)
                refuse("Background");
            return nullptr;
        }
        case FontProperty::Subscript:
        case FontProperty::Superscript: return scriptChange(property, value);
        case FontProperty::Color: return colorChange(value);
        case FontProperty::ColorIndex: return colorIndexChange(value);
        case FontProperty::FontStyle: return fontStyleChange(value);
        case FontProperty::Size: {
            const double size = toDouble(value);
            if (!(size >= 1 && size <= 409)) refuse("Size");
            return [size](FontSpec& f) { f.size = size; };
        }
        case FontProperty::Underline: return underlineChange(value);
        default: raise(err::InvalidCall);
    }
}

}  // namespace

const FontSpec& FontHandle::current(EngineWorksheet& sheet) const {
    return sheet.workbook().styles().font(sheet.formatAt(row_, column_).fontId);
}

std::string FontHandle::Name() const { return current(sheet_.sheet()).name; }

Variant FontHandle::Get(FontProperty property) const {
    EngineWorksheet& sheet = sheet_.sheet();
    const FontSpec& font = current(sheet);
    if (bool FontSpec::*flag = flagOf(property)) return Variant(font.*flag);
    const ooxml::StyleSheet& styles = sheet.workbook().styles();
    switch (property) {
        case FontProperty::Background: return Variant(xl::BackgroundAutomatic);
        case FontProperty::Color: return Variant(bgrOf(styles.resolveRgb(font.color)));
        case FontProperty::ColorIndex: return colorIndexOf(styles, font.color);
        case FontProperty::FontStyle: return fontStyleOf(font);
        case FontProperty::Size: return Variant(font.size);
        case FontProperty::Subscript: return Variant(font.vertAlign == "subscript");
        case FontProperty::Superscript: return Variant(font.vertAlign == "superscript");
        case FontProperty::Underline: return underlineOf(font);
        default: raise(err::InvalidCall);
    }
}

void FontHandle::Set(FontProperty property, const Variant& value) {
    EngineWorksheet& sheet = sheet_.sheet();
    setThroughTransitions(sheet, row_, column_, static_cast<uint8_t>(property), value,
                          [&] { apply(sheet, property, value); });
}

void FontHandle::apply(EngineWorksheet& sheet, FontProperty property, const Variant& value) {
    if (Get(property) == value) return;
    if (const FontChange change = changeOf(property, value)) sheet.changeFont(row_, column_, change);
}

}  // namespace kbx::engine
