#include "value/text_case.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>
#include <optional>

#include "value/utf8.h"

namespace kbx {

namespace {

// The C library's Unicode character classes: "C.UTF-8" ships with the C
// library on Debian (libc-bin) and maps every code point, not only ASCII.
locale_t unicodeLocale() {
    static const locale_t locale = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            if (locale_t found = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0))) return found;
        }
        return static_cast<locale_t>(0);
    }();
    return locale;
}

// Without such a locale: ASCII and the accented Latin-1 letters, U+00C0..U+00DE
// (but not U+00D7, the multiplication sign) against U+00E0..U+00FE.
char32_t latin1Lower(char32_t c) {
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    return c;
}

char32_t latin1Upper(char32_t c) {
    if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    return c;
}

char32_t lowerOf(char32_t c) {
    const locale_t locale = unicodeLocale();
    if (locale == static_cast<locale_t>(0)) return latin1Lower(c);
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale));
}

char32_t upperOf(char32_t c) {
    const locale_t locale = unicodeLocale();
    if (locale == static_cast<locale_t>(0)) return latin1Upper(c);
    return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale));
}

// Simple case folding: the lower case of the upper case, so that forms with
// one capital ("ς" and "σ", "ſ" and "s") fold together.
char32_t foldOf(char32_t c) { return lowerOf(upperOf(c)); }

// Maps every code point of the text; ASCII without a look-up, bytes that
// are not UTF-8 unchanged.
template <typename CharMap>
std::string mapCodePoints(std::string_view text, char32_t (*ascii)(char32_t), CharMap map) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        if (lead < 0x80) {
            out += static_cast<char>(ascii(lead));
            ++at;
            continue;
        }
        if (const std::optional<Utf8Char> c = decodeUtf8(text, at)) {
            appendUtf8(out, map(c->point));
            at += c->length;
        } else {
            out += text[at++];
        }
    }
    return out;
}

char32_t asciiLower(char32_t c) { return c >= U'A' && c <= U'Z' ? c + 0x20 : c; }
char32_t asciiUpper(char32_t c) { return c >= U'a' && c <= U'z' ? c - 0x20 : c; }

std::string foldCase(std::string_view text) { return mapCodePoints(text, asciiLower, foldOf); }

}  // namespace

std::string lowerCase(std::string_view text) { return mapCodePoints(text, asciiLower, lowerOf); }

std::string upperCase(std::string_view text) { return mapCodePoints(text, asciiUpper, upperOf); }

bool equalIgnoringCase(std::string_view a, std::string_view b) { return a == b || foldCase(a) == foldCase(b); }

}  // namespace kbx
