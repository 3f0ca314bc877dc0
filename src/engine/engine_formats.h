#pragma once
// The workbook format a file name asks for, and the formats this engine does
// not read or write itself (.xls, .ods): the two places where the converter
// (format_bridge.h) plugs in.

#include <cstdint>
#include <string>

#include "xlsbridge/format_bridge.h"

namespace kbx::engine {

inline constexpr int32_t kFormatOpenDocument = 60;

// The file format a file name's extension names, in any case: .xlsx 51,
// .xlsm 52, .xls -4143, .ods 60; nullopt for every other extension.
std::optional<int32_t> fileFormatNamedBy(const std::string& path);
// The file format a foreign workbook file has (-4143 or 60), or nullopt for
// a file the engine reads itself.
std::optional<int32_t> foreignFileFormat(const std::string& path);
// Converts such a workbook into a temporary .xlsx that lives as long as the result.
xlsbridge::TemporaryXlsx importForeignWorkbook(const std::string& path);
// Writes the saved .xlsx `xlsxPath` as `target` in `fileFormat` (-4143 or 60).
void exportForeignFormat(const std::string& xlsxPath, const std::string& target, int32_t fileFormat);

}  // namespace kbx::engine
