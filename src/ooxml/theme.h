#pragma once
// What the engine takes from the workbook's theme part and fonts: the theme's
// colours, and the width of a font's digits that column widths are counted in.

#include <pugixml.hpp>

#include <cstdint>
#include <vector>

namespace kbx::ooxml {

struct FontSpec;

// The colours of a theme part's colour scheme as 0xRRGGBB, in the order of
// the theme indexes of cell colours (light 1, dark 1, light 2, dark 2, the
// accents, the hyperlink colours).
std::vector<uint32_t> themeColorsOf(const pugi::xml_document& theme);

// The maximum digit width in pixels at 96 dpi of a font, from its name and size.
double maxDigitWidthOf(const FontSpec& font);

}  // namespace kbx::ooxml
