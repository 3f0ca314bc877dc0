#include "templatefill/placeholder.h"

#include <exception>

namespace kbx::templatefill {

std::optional<Placeholder> ParsePlaceholder(const std::string& text) {
    if (text.empty() || text.front() != '$') return std::nullopt;
    const std::string rest = text.substr(1);
    const size_t firstColon = rest.find(':');
    if (firstColon == std::string::npos) return std::nullopt;
    const size_t secondColon = rest.find(':', firstColon + 1);
    const size_t nameLength = secondColon == std::string::npos ? std::string::npos : secondColon - firstColon - 1;
    return Placeholder{LowerCase(rest.substr(0, firstColon)), LowerCase(rest.substr(firstColon + 1, nameLength))};
}

std::string LowerCase(const std::string& text) {
    std::string lower = text;
    for (size_t i = 0; i < lower.size(); ++i) {
        const auto byte = static_cast<unsigned char>(lower[i]);
        if (byte >= 'A' && byte <= 'Z') {
            lower[i] = static_cast<char>(byte - 'A' + 'a');
        } else if (byte == 0xC3 && i + 1 < lower.size()) {
            // U+00C0..U+00DE (but not U+00D7, the multiplication sign) lower by 0x20.
            const auto next = static_cast<unsigned char>(lower[i + 1]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97) lower[i + 1] = static_cast<char>(next + 0x20);
            ++i;
        }
    }
    return lower;
}

std::string ReadCellText(sheet::Range& cell) {
    std::string text;
    try {
        text = toText(cell.Value());
    } catch (const std::exception&) {
        text.clear();
    }
    return text;
}

bool FieldNameMatches(const Variant& fieldName, const std::string& placeholderName) {
    if (fieldName.isNull()) return false;
    return toText(fieldName) == placeholderName;
}

}  // namespace kbx::templatefill
