#pragma once
// The plain workbook builder: pages over copies of the template sheet, or
// fills one target sheet, with the application's interactive features off.

#include <cstdint>
#include <string>

#include "sheet/worksheet.h"
#include "value/variant.h"

namespace kbx::plainbom {

inline constexpr const char* kKeptTemplateSheetName = "Template";
// One export writes at most this many list rows (positions and gap rows,
// all sheets together: as many as one sheet can hold) on this many sheets.
inline constexpr int64_t kMaxListRows = 1048576;
inline constexpr int64_t kMaxListSheets = 10000;

// Paging mode (empty TargetSheetName): the template sheet is renamed
// "Template" and copies named after it (name, name2, name3, ...) take the
// records, PosPerSheet rows each (0 or less: no limit). Target-sheet mode:
// every record goes onto `sheet` itself. ExcelApp and ExcelBook must be set.
// A list larger than the limits above is refused (error 5) before any sheet
// is touched.
void BuildPlainWorkbook(sheet::Worksheet& sheet, const Variant& HeadNames, const Variant& HeadVals,
                        int32_t RecordSize, const Variant& PosNames, const Variant& PosVals, int32_t Company,
                        int32_t PosPerSheet, bool InsertEmptyRows, const std::string& TargetSheetName);

}  // namespace kbx::plainbom
