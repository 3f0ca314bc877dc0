#pragma once
// UTF-8 as every layer reads and writes it: one decoder that refuses overlong
// forms, surrogates and code points past U+10FFFF, one encoder.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kbx {

// The code point of the well-formed sequence at text[at] (ASCII included) and
// its length in bytes; nullopt when the bytes there start none.
struct Utf8Char {
    char32_t point;
    size_t length;
};
std::optional<Utf8Char> decodeUtf8(std::string_view text, size_t at);

void appendUtf8(std::string& out, char32_t point);

bool isValidUtf8(std::string_view text);
// Each byte that starts no well-formed sequence becomes U+FFFD.
std::string repairUtf8(std::string_view text);

}  // namespace kbx
