#include "value/text_case.h"

namespace kbx {

std::string lowerCase(std::string_view text) {
    std::string lower(text);
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

std::string upperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) { return lowerCase(a) == lowerCase(b); }

}  // namespace kbx
