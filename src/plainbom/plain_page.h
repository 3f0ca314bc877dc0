#pragma once
// Page fill of the plain export: writes position records onto one sheet, one
// row per position, with gap rows, pictures and the shortfall mark.

#include <cstdint>
#include <limits>

#include "sheet/worksheet.h"
#include "value/variant.h"

namespace kbx::plainbom {

// A row limit that is never reached: the whole remainder goes on one sheet.
inline constexpr int32_t kNoRowLimit = std::numeric_limits<int32_t>::max();
// The position row is processed in columns 50 down to 1.
inline constexpr int32_t kFilledColumns = 50;

// Writes records from recOffset onwards starting at posRow until PosPerSheet
// rows (positions and gap rows) are on the sheet. True: the sheet is full.
// False: the records are exhausted or the sheet has no position row.
bool FillPlainPage(int32_t& posRow, sheet::Worksheet& sheet, int32_t RecordSize, const Variant& PosNames,
                   const Variant& PosVals, int32_t Company, int32_t PosPerSheet, int32_t& written,
                   int32_t& recOffset, int32_t& maxCol, bool InsertEmptyRows, const Variant& HeadNames,
                   const Variant& HeadVals);

// Writes one gap row at posRow carrying the number written + 1 and moves the
// position row one down; after the first gap row only columns up to the
// rightmost "$pos:" placeholder are touched.
void InsertGapRow(sheet::Worksheet& sheet, int32_t& posRow, int32_t written, int32_t& gapCols);

// Puts "!" before the warn cell's text when both usages together fall short
// of the quantity. Without a warn column there is nothing to mark.
void MarkShortfall(sheet::Worksheet& sheet, int32_t posRow, int32_t warnCol, int32_t usage1, int32_t usage2,
                   int32_t quantity);

}  // namespace kbx::plainbom
