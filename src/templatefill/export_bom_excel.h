#pragma once
// ExportBomExcel: fills one sheet of a workbook in place.

#include <cstdint>
#include <string>

#include "value/variant.h"

namespace kbx::templatefill {

int32_t ExportBomExcel(const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize, const Variant& PosNames,
                       const Variant& PosVals, std::string& ExcelFileName, int32_t Language,
                       const std::string& KestDBDir, int32_t EmBed, const std::string& Profile, int32_t reverse,
                       const std::string& templte, int32_t Clos, const std::string& SheetName);

}  // namespace kbx::templatefill
