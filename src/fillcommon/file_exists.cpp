#include "fillcommon/file_exists.h"

#include <sys/stat.h>

namespace kbx::fillcommon {

bool FileExists(const std::string& path) {
    struct stat attributes {};
    return !path.empty() && ::stat(path.c_str(), &attributes) == 0;
}

}  // namespace kbx::fillcommon
