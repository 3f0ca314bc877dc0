#pragma once
// The placeholder engine of the template-fill export: replaces header
// placeholders and writes one row per position below the position row.

#include <cstdint>

#include "sheet/worksheet.h"
#include "value/variant.h"

namespace kbx::templatefill {

// The rectangle scanned for placeholders: rows 1..57, columns 1..50 (A..AX).
inline constexpr int32_t kScanLastRow = 57;
inline constexpr int32_t kScanLastColumn = 50;
inline constexpr const char* kTextFormat = "@";

// Fills `sheet` from the data set. Needs the process-wide ExcelApp (its
// ScreenUpdating is switched off around each row or column).
void FillTemplateSheet(sheet::Worksheet& sheet, const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize,
                       const Variant& PosNames, const Variant& PosVals, bool reverse);

// Mirrors rows 1..lastRow of columns 1..lastCol: the value, font and alignment
// of row r move to row lastRow + 1 - r. No cell outside the block is touched.
void ReverseRows(sheet::Worksheet& sheet, int32_t lastRow, int32_t lastCol);

}  // namespace kbx::templatefill
