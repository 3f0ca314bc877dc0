#pragma once
// References to a sheet by its name: in formulas, defined names, chart series
// and pivot cache sources. They follow the sheet when it is renamed, and a
// sheet's copy gets its own.

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

// Renames sheet `from` to `to` in the chart series references (c:f) and
// pivot cache sources of the package; parts that name no such sheet stay as
// they are.
void renameSheetInCharts(Package& package, const std::string& from, const std::string& to);

}  // namespace kbx::ooxml
