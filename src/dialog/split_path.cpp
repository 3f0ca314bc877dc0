#include "dialog/split_path.h"

namespace kbx::dialog {

PathParts SplitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const bool hasSlash = slash != std::string::npos;
    const bool hasDot = dot != std::string::npos;
    PathParts parts;
    if (hasSlash && hasDot && dot > slash) {
        parts.directory = path.substr(0, slash + 1);
        parts.fileName = path.substr(slash + 1);
    } else if (hasSlash) {
        parts.directory = path;
    } else if (hasDot) {
        parts.fileName = path;
    }
    return parts;
}

}  // namespace kbx::dialog
