#include "value/text_case.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>
#include <optional>

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

// Decodes the well-formed UTF-8 sequence at `at`; nullopt for a byte that
// starts none (it is kept as it is).
std::optional<char32_t> decodeAt(std::string_view text, size_t at, size_t& length) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (at + length > text.size()) return std::nullopt;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    return c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

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
        size_t length = 1;
        if (const std::optional<char32_t> c = decodeAt(text, at, length)) {
            appendUtf8(out, map(*c));
            at += length;
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
