#pragma once
// ExportBomExcel: fills one sheet of a workbook in place.

#include <cstdint>
#include <string>

#include "sheet/workbook.h"
#include "value/variant.h"

namespace kbx::templatefill {

inline constexpr const char* kNoApplicationMessage = "Failed to obtain COM object from Excel.Application";
inline constexpr const char* kNoSheetMessage = "Failed to obtain sheet object from Excel (Wrong Sheetname?)";

int32_t ExportBomExcel(const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize, const Variant& PosNames,
                       const Variant& PosVals, std::string& ExcelFileName, int32_t Language,
                       const std::string& KestDBDir, int32_t EmBed, const std::string& Profile, int32_t reverse,
                       const std::string& templte, int32_t Clos, const std::string& SheetName);

// Activates the first sheet whose name equals `name` exactly (case-sensitive).
// False for an empty name (the workbook is not asked) or when none matches.
bool ActivateSheet(sheet::Workbook& workbook, const std::string& name);

}  // namespace kbx::templatefill
