#pragma once
// Cell format transfer shared by every template engine: a repeated model cell
// looks like its model (raw value, font, alignment), property by property.

#include "sheet/font.h"
#include "sheet/range.h"

namespace kbx::fillcommon {

// Copies Value2, the thirteen font properties and the horizontal and vertical
// alignment from `source` onto `destination`. Nothing else is transferred (not
// the font name, number format, borders, fill or sizes). The first property
// the destination refuses ends the copy with its run-time error.
void CopyCell(sheet::Range& destination, sheet::Range& source);

// Copies the font properties of kCopiedFontProperties in their order.
void CopyFont(sheet::Font& destination, sheet::Font& source);

}  // namespace kbx::fillcommon
