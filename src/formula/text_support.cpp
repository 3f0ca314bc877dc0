#include "formula/text_support.h"

#include "value/text_case.h"
#include "value/utf8.h"

namespace kbx::formula {

namespace {

// Matches pattern[p…] against text[t…] without recursion: the last "*" is
// remembered and retried one character further on a mismatch.
bool matchFrom(std::u32string_view pattern, std::u32string_view text, bool anchoredEnd, size_t* end) {
    size_t p = 0, t = 0, starP = std::u32string_view::npos, starT = 0;
    for (;;) {
        if (p == pattern.size() && (!anchoredEnd || t == text.size())) {
            if (end) *end = t;
            return true;
        }
        if (p < pattern.size() && pattern[p] == U'*') {
            starP = p++;
            starT = t;
            continue;
        }
        if (t < text.size() && p < pattern.size()) {
            char32_t want = pattern[p];
            bool literal = false;
            if (want == U'~' && p + 1 < pattern.size() && (pattern[p + 1] == U'*' || pattern[p + 1] == U'?' || pattern[p + 1] == U'~')) {
                want = pattern[p + 1];
                literal = true;
            }
            if ((!literal && want == U'?') || want == text[t]) {
                p += literal ? 2 : 1;
                ++t;
                continue;
            }
        }
        if (starP == std::u32string_view::npos || starT >= text.size()) return false;
        p = starP + 1;
        t = ++starT;
    }
}

}  // namespace

std::u32string toCharacters(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto c = decodeUtf8(utf8, i);
        if (c) {
            out += c->point;
            i += c->length;
        } else {
            out += U'\uFFFD';
            ++i;
        }
    }
    return out;
}

std::string toUtf8(std::u32string_view characters) {
    std::string out;
    out.reserve(characters.size());
    for (const char32_t c : characters) appendUtf8(out, c);
    return out;
}

std::u32string foldCase(std::u32string_view characters) { return toCharacters(lowerCase(toUtf8(characters))); }

bool hasWildcards(std::string_view pattern) { return pattern.find_first_of("*?~") != std::string_view::npos; }

bool wildcardMatch(std::string_view pattern, std::string_view text) {
    const std::u32string p = toCharacters(lowerCase(pattern));
    const std::u32string t = toCharacters(lowerCase(text));
    return matchFrom(p, t, true, nullptr);
}

size_t wildcardSearch(std::u32string_view pattern, std::u32string_view text, size_t from) {
    for (size_t start = from; start <= text.size(); ++start) {
        if (matchFrom(pattern, text.substr(start), false, nullptr)) return start;
    }
    return std::u32string_view::npos;
}

}  // namespace kbx::formula
