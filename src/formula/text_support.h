#pragma once
// Text as the text functions see it: a sequence of characters (code points
// of UTF-8), and the wildcard patterns of SEARCH, MATCH and the criteria.

#include <string>
#include <string_view>

namespace kbx::formula {

std::u32string toCharacters(std::string_view utf8);
std::string toUtf8(std::u32string_view characters);

// Whether text matches a pattern in which "*" stands for any run of
// characters, "?" for one, and "~" makes the next character literal;
// letter case is ignored.
bool wildcardMatch(std::string_view pattern, std::string_view text);
// The first position (from 0) at or after `from` where the pattern matches a
// part of the text, or npos.
size_t wildcardSearch(std::u32string_view pattern, std::u32string_view text, size_t from);
// Whether the text holds a wildcard character.
bool hasWildcards(std::string_view pattern);

// Lower case of characters, for comparisons without regard to case.
std::u32string foldCase(std::u32string_view characters);

}  // namespace kbx::formula
