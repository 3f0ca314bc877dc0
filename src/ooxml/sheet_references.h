#pragma once
// References to a sheet by its name: in formulas, defined names, chart series
// and pivot cache sources. They follow the sheet when it is renamed, and a
// sheet's copy gets its own.

#include <cstdint>
#include <string>
#include <string_view>

namespace kbx::ooxml {

class Package;

// Rewrites the references to sheet `from` in a formula (quoted or not,
// compared without regard to case) into references to sheet `to`. Text in
// string literals and references to other sheets or workbooks stay as they are.
std::string repointSheetReferences(std::string_view formula, const std::string& from, const std::string& to);

// The same for a formula stored as an XML element (<f>...</f>); the element
// unchanged when it names no such sheet.
std::string repointSheetReferencesInXml(const std::string& element, const std::string& from, const std::string& to);

// A formula written for one cell as it reads in a cell `rows` below and
// `columns` right of it: relative parts of references ("A1", "A$1", "A:C",
// "2:5") move, absolute ones ("$A$1") stay; a reference moved off the sheet
// becomes #REF!. String literals, quoted names and bracketed parts stay.
std::string shiftRelativeReferences(std::string_view formula, int32_t rows, int32_t columns);

// Renames sheet `from` to `to` in the chart series references (c:f) and
// pivot cache sources of the package; parts that name no such sheet stay as
// they are.
void renameSheetInCharts(Package& package, const std::string& from, const std::string& to);

}  // namespace kbx::ooxml
