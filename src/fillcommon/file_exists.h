#pragma once
// File checks of the fills: existence before a picture is placed, and whether
// an output path would replace the template.

#include <string>

namespace kbx::fillcommon {

// Whether `path` names a file or a folder. A named pipe, device or socket
// answers false, so a picture path naming one is skipped like a missing
// file instead of being read. Never raises.
bool FileExists(const std::string& path);

// Whether two paths name the same file: the same inode, or the same path once
// both are made absolute and normalised. Never raises.
bool SameFile(const std::string& first, const std::string& second);

}  // namespace kbx::fillcommon
