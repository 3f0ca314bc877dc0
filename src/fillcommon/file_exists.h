#pragma once
// The existence check the fills make before placing a picture.

#include <string>

namespace kbx::fillcommon {

// Whether the file system knows `path` (a file or a folder). Never raises.
bool FileExists(const std::string& path);

}  // namespace kbx::fillcommon
