#pragma once
// Part names of a package ("xl/worksheets/sheet1.xml"): how they compare,
// and how a relationship's target names a part relative to its source.

#include <optional>
#include <string>

namespace kbx::ooxml {

// Part names compare without regard to ASCII letter case.
std::string asciiLowerCase(std::string text);

// Whether a zip entry name is a safe part name: relative, without "." or
// ".." segments, backslashes or NUL.
bool isSafeEntryName(const std::string& name);

// The part a relative target of `sourcePart` names ("" for the package's
// own relationships); nullopt when the target leaves the package.
std::optional<std::string> resolvedTarget(const std::string& sourcePart, const std::string& target);
// The target by which `sourcePart` names `targetPart`.
std::string relativeTarget(const std::string& sourcePart, const std::string& targetPart);

}  // namespace kbx::ooxml
