#pragma once
// Workbook formats this engine does not read or write itself (.xls, .ods):
// the two places where a converter plugs in.

#include <cstdint>
#include <string>

namespace kbx::ooxml {

// Whether a file name asks for a format other than Office Open XML.
bool isForeignWorkbookFile(const std::string& path);
// Converts such a workbook into a temporary .xlsx file and returns its path.
std::string importForeignWorkbook(const std::string& path);
// Writes the saved .xlsx `xlsxPath` as `target` in `fileFormat` (-4143).
void exportForeignFormat(const std::string& xlsxPath, const std::string& target, int32_t fileFormat);

}  // namespace kbx::ooxml
