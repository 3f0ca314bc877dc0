#pragma once
// The summary page builder: pages "Summary Page 1", "Summary Page 2", ...
// copied before the template sheet, one row per position, pictures sized
// into their cells.

#include <cstdint>

#include "sheet/worksheet.h"
#include "value/variant.h"

namespace kbx::summary {

inline constexpr const char* kSummaryPagePrefix = "Summary Page ";

// Makes and fills the pages until every record is placed. A page without a
// "$pos:" cell gets its header and no positions, and no page follows it.
// ExcelBook must hold the workbook of `templateSheet`; ExcelApp must be set.
void BuildSummaryPages(sheet::Worksheet& templateSheet, const Variant& PosNames, const Variant& HeadNames,
                       const Variant& PosVals, int32_t RecordSize, int32_t PosPerSheet);

// Fills the position rows of one page. False when the application version
// could not be read (the error is logged) and nothing was placed.
bool FillSummaryPage(int32_t& positionRow, sheet::Worksheet& page, int32_t RecordSize, const Variant& PosNames,
                     const Variant& PosVals, int32_t PosPerSheet, int32_t& nextRecord, int32_t& maxCol);

}  // namespace kbx::summary
