#pragma once
// Header fill: scans the top-left 60 x 60 block of a sheet once, text-formats
// its columns, fills "$head:" placeholders and finds the position row.

#include <cstdint>

#include "sheet/worksheet.h"
#include "value/variant.h"

namespace kbx::fillcommon {

inline constexpr int32_t kHeaderScanRows = 60;
inline constexpr int32_t kHeaderScanColumns = 60;

// Writes values[i], as text, into every "$head:" cell whose name equals
// names[i]; raises maxCol to the column of every placeholder met. Returns the
// last row holding a "$pos:" placeholder, or -1 when there is none.
int32_t FillHeader(sheet::Worksheet& sheet, const Variant& names, const Variant& values, int32_t& maxCol);

}  // namespace kbx::fillcommon
