#include "files/paths.h"

#include <cstdlib>
#include <filesystem>

namespace kbx::files {

std::string temporaryDirectory() {
    for (const char* name : {"TEMP", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return "/tmp";
}

bool sameFile(const std::string& first, const std::string& second) {
    std::error_code ec;
    if (std::filesystem::equivalent(first, second, ec)) return true;
    const std::filesystem::path a = std::filesystem::weakly_canonical(first, ec);
    if (ec) return first == second;
    const std::filesystem::path b = std::filesystem::weakly_canonical(second, ec);
    if (ec) return first == second;
    return a == b;
}

}  // namespace kbx::files
