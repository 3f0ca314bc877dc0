#pragma once
// ExportAsTxt / ExportAsTxt2: a copy of a workbook, or one sheet as text.

#include <cstdint>
#include <string>

namespace kbx::copyexport {

int16_t ExportAsTxt(const std::string& ExcelName, const std::string& TxtName);
int16_t ExportAsTxt2(const std::string& ExcelName, const std::string& TxtName, const std::string& SheetName);

}  // namespace kbx::copyexport
