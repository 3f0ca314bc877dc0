#pragma once
// The plain workbook builder: pages over copies of the template sheet, or
// fills one target sheet, with the application's interactive features off.

#include <cstdint>
#include <string>

#include "sheet/worksheet.h"
#include "value/variant.h"

namespace kbx::plainbom {

inline constexpr const char* kKeptTemplateSheetName = "Template";

// Paging mode (empty TargetSheetName): the template sheet is renamed
// "Template" and copies named after it (name, name2, name3, ...) take the
// records, PosPerSheet rows each (0 or less: no limit). Target-sheet mode:
// every record goes onto `sheet` itself. ExcelApp and ExcelBook must be set.
void BuildPlainWorkbook(sheet::Worksheet& sheet, const Variant& HeadNames, const Variant& HeadVals,
                        int32_t RecordSize, const Variant& PosNames, const Variant& PosVals, int32_t Company,
                        int32_t PosPerSheet, bool InsertEmptyRows, const std::string& TargetSheetName);

}  // namespace kbx::plainbom
