#pragma once
// The Font object of a cell.

#include <array>

#include "value/variant.h"

namespace kbx::sheet {

// The font properties a cell copy transfers, in the order they are copied.
enum class FontProperty {
    Background,     // Long: 1 automatic, 2 opaque, 3 transparent (xlBackground*)
    Bold,           // Boolean
    Color,          // Long: BGR as red + green * 256 + blue * 65536
    ColorIndex,     // Long: 1..56 into the palette, -4105 automatic
    FontStyle,      // String: "Regular", "Bold", "Italic", "Bold Italic"
    Italic,         // Boolean
    OutlineFont,    // Boolean
    Shadow,         // Boolean
    Size,           // Double, points
    Strikethrough,  // Boolean
    Subscript,      // Boolean
    Superscript,    // Boolean
    Underline,      // Long: -4142 none, 2 single, -4119 double, 4 single accounting, 5 double accounting
};

inline constexpr std::array<FontProperty, 13> kCopiedFontProperties = {
    FontProperty::Background, FontProperty::Bold,          FontProperty::Color,     FontProperty::ColorIndex,
    FontProperty::FontStyle,  FontProperty::Italic,        FontProperty::OutlineFont, FontProperty::Shadow,
    FontProperty::Size,       FontProperty::Strikethrough, FontProperty::Subscript, FontProperty::Superscript,
    FontProperty::Underline};

// Constants the font properties use.
namespace xl {
inline constexpr int32_t UnderlineStyleNone = -4142;
inline constexpr int32_t UnderlineStyleSingle = 2;
inline constexpr int32_t UnderlineStyleDouble = -4119;
inline constexpr int32_t UnderlineStyleSingleAccounting = 4;
inline constexpr int32_t UnderlineStyleDoubleAccounting = 5;
inline constexpr int32_t ColorIndexAutomatic = -4105;
inline constexpr int32_t BackgroundAutomatic = 1;
inline constexpr int32_t BackgroundOpaque = 2;
inline constexpr int32_t BackgroundTransparent = 3;
}  // namespace xl

class Font {
public:
    virtual ~Font() = default;
    // Reads a property; raises a run-time error where the font cannot answer.
    virtual Variant Get(FontProperty property) const = 0;
    // Writes a property; a value of the wrong kind raises "Type mismatch" or 1004.
    // Writing the value the property already reports changes nothing.
    virtual void Set(FontProperty property, const Variant& value) = 0;

    // The font's name: read for information; cell copies never transfer it.
    virtual std::string Name() const = 0;
};

}  // namespace kbx::sheet
