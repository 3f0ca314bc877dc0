#include "fillcommon/file_exists.h"

#include <sys/stat.h>

#include <filesystem>

namespace kbx::fillcommon {

bool FileExists(const std::string& path) {
    struct stat attributes {};
    if (path.empty() || ::stat(path.c_str(), &attributes) != 0) return false;
    return S_ISREG(attributes.st_mode) || S_ISDIR(attributes.st_mode);
}

bool SameFile(const std::string& first, const std::string& second) {
    std::error_code ec;
    if (std::filesystem::equivalent(first, second, ec)) return true;
    const std::filesystem::path a = std::filesystem::weakly_canonical(first, ec);
    if (ec) return first == second;
    const std::filesystem::path b = std::filesystem::weakly_canonical(second, ec);
    if (ec) return first == second;
    return a == b;
}

}  // namespace kbx::fillcommon
