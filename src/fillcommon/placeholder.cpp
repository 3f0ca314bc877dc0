#include "fillcommon/placeholder.h"

#include <exception>

#include "value/text_case.h"

namespace kbx::fillcommon {

std::optional<Placeholder> ParsePlaceholder(const std::string& text) {
    if (text.empty() || text.front() != '$') return std::nullopt;
    const std::string rest = text.substr(1);
    const size_t firstColon = rest.find(':');
    if (firstColon == std::string::npos) return std::nullopt;
    const size_t secondColon = rest.find(':', firstColon + 1);
    const size_t nameLength = secondColon == std::string::npos ? std::string::npos : secondColon - firstColon - 1;
    return Placeholder{lowerCase(rest.substr(0, firstColon)), lowerCase(rest.substr(firstColon + 1, nameLength))};
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

}  // namespace kbx::fillcommon
