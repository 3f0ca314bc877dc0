#include "ooxml/part_names.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace kbx::ooxml {

namespace {

std::string percentDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string directoryOf(const std::string& part) {
    const size_t slash = part.rfind('/');
    return slash == std::string::npos ? std::string() : part.substr(0, slash);
}

}  // namespace

std::string asciiLowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool isSafeEntryName(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        const size_t end = std::min(name.find('/', start), name.size());
        const std::string segment = name.substr(start, end - start);
        if (segment == ".." || segment == ".") return false;
        start = end + 1;
    }
    return name.find('\0') == std::string::npos;
}

std::optional<std::string> resolvedTarget(const std::string& sourcePart, const std::string& target) {
    const std::string decoded = percentDecode(target);
    std::string path = decoded;
    if (!decoded.empty() && decoded.front() == '/') {
        path = decoded.substr(1);
    } else {
        const std::string dir = directoryOf(sourcePart);
        path = dir.empty() ? decoded : dir + "/" + decoded;
    }
    std::vector<std::string> segments;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string segment = path.substr(start, end - start);
        if (segment == "..") {
            if (segments.empty()) return std::nullopt;
            segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& s : segments) result += (result.empty() ? "" : "/") + s;
    return result;
}

std::string relativeTarget(const std::string& sourcePart, const std::string& targetPart) {
    const std::string dir = directoryOf(sourcePart);
    if (dir.empty()) return targetPart;
    if (targetPart.rfind(dir + "/", 0) == 0) return targetPart.substr(dir.size() + 1);
    return "/" + targetPart;
}

}  // namespace kbx::ooxml
