#pragma once
// The package side of a sheet copy: the copy's name and its own copies of
// the parts the sheet refers to.

#include <cstdint>
#include <functional>
#include <set>
#include <string>

namespace kbx::ooxml {

class Package;

inline constexpr size_t kMaxSheetNameLength = 31;

// The name a copy of sheet `name` gets: "Name (2)", or "Name (3)" and so on
// when taken; a name that already ends in " (n)" counts on from it. The base
// is shortened so the result stays within 31 characters.
std::string sheetCopyName(const std::string& name, const std::function<bool(const std::string&)>& isTaken);

// Gives the new sheet part `targetSheetPart` its own copies of every part
// the source sheet refers to (drawings, charts, comments, VML drawings,
// tables, printer settings, ...), recursively, keeping the relationship ids.
// Pictures' media and pivot caches are shared, not copied. Tables get a new
// name, unique among `reservedNames` (lower-case) and all tables, and a new id.
void copySheetRelatedParts(Package& package, const std::string& sourceSheetPart, const std::string& targetSheetPart,
                           const std::set<std::string>& reservedNames);

}  // namespace kbx::ooxml
