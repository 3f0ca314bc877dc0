#pragma once
// File checks of the fills: existence before a picture is placed, and whether
// an output path would replace the template.

#include <string>

namespace kbx::fillcommon {

// Whether the file system knows `path` (a file or a folder). Never raises.
bool FileExists(const std::string& path);

// Whether two paths name the same file: the same inode, or the same path once
// both are made absolute and normalised. Never raises.
bool SameFile(const std::string& first, const std::string& second);

}  // namespace kbx::fillcommon
