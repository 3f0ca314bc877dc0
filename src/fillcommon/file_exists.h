#pragma once
// The file check of the fills: existence before a picture is placed.

#include <string>

namespace kbx::fillcommon {

// Whether `path` names a file or a folder. A named pipe, device or socket
// answers false, so a picture path naming one is skipped like a missing
// file instead of being read. Never raises.
bool FileExists(const std::string& path);

}  // namespace kbx::fillcommon
