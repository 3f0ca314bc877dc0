#pragma once
// Placeholder cells of BOM templates: "$kind:name[:ignored...]". Shared by
// every template engine; each engine scans its own area of the sheet.

#include <optional>
#include <string>

#include "sheet/range.h"
#include "value/variant.h"

namespace kbx::fillcommon {

inline constexpr const char* kPositionKind = "pos";
inline constexpr const char* kHeaderKind = "head";

struct Placeholder {
    std::string kind;  // lower case
    std::string name;  // lower case
};

// A placeholder when the text starts with "$" and the rest, split at every
// ":", gives at least two pieces; kind and name are the first two pieces in
// lower case.
std::optional<Placeholder> ParsePlaceholder(const std::string& text);

// The cell's value converted to text; a value that cannot be read or
// converted reads as the empty string.
std::string ReadCellText(sheet::Range& cell);

// Whether a data-set field name matches a (lower-case) placeholder name: the
// name must equal it exactly, so a field name with an upper-case letter never
// matches. Null never matches; an array raises "Type mismatch".
bool FieldNameMatches(const Variant& fieldName, const std::string& placeholderName);

}  // namespace kbx::fillcommon
