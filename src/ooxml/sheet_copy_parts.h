#pragma once
// The package side of a sheet copy: the copy's name, its own copies of the
// parts the sheet refers to, and its sheet-local names.

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace kbx::ooxml {

class Package;

inline constexpr size_t kMaxSheetNameLength = 31;

// The name a copy of sheet `name` gets: "Name (2)", or "Name (3)" and so on
// when taken; a name that already ends in " (n)" counts on from it. The base
// is shortened so the result stays within 31 characters.
std::string sheetCopyName(const std::string& name, const std::function<bool(const std::string&)>& isTaken);

// Rewrites the references to sheet `from` in a formula (quoted or not,
// compared without regard to case) into references to sheet `to`. Text in
// string literals and references to other sheets stay as they are.
std::string repointSheetReferences(std::string_view formula, const std::string& from, const std::string& to);

// The same for a formula stored as an XML element (<f>...</f>); the element
// unchanged when it names no such sheet.
std::string repointSheetReferencesInXml(const std::string& element, const std::string& from, const std::string& to);

// Renames sheet `from` to `to` in the chart series references (c:f) and
// pivot cache sources of the package; parts that name no such sheet stay as
// they are.
void renameSheetInCharts(Package& package, const std::string& from, const std::string& to);

// Gives the new sheet part `targetSheetPart` its own copies of every part
// the source sheet refers to (drawings, charts, comments, VML drawings,
// tables, printer settings, ...), recursively, keeping the relationship ids.
// Pictures' media and pivot caches are shared, not copied. Tables get a new
// name, unique among `reservedNames` (lower-case) and all tables, and a new id.
void copySheetRelatedParts(Package& package, const std::string& sourceSheetPart, const std::string& targetSheetPart,
                           const std::set<std::string>& reservedNames);

// Gives every defined name local to the sheet at `sourceIndex` a twin local
// to its copy at `copyIndex` (tab order from 0) that refers to the copy.
void addLocalNamesForSheetCopy(pugi::xml_document& workbook, int32_t sourceIndex, int32_t copyIndex,
                               const std::string& sourceName, const std::string& copyName);

// The lower-case names of a workbook part's defined names.
std::set<std::string> definedNamesOf(const pugi::xml_document& workbook);

}  // namespace kbx::ooxml
