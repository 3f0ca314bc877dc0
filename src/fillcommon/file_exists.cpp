#include "fillcommon/file_exists.h"

#include <sys/stat.h>

namespace kbx::fillcommon {

bool FileExists(const std::string& path) {
    struct stat attributes {};
    if (path.empty() || ::stat(path.c_str(), &attributes) != 0) return false;
    return S_ISREG(attributes.st_mode) || S_ISDIR(attributes.st_mode);
}

}  // namespace kbx::fillcommon
