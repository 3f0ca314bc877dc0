#pragma once
// Letter case of names compared without regard to case: sheet names, field
// names, placeholder names. Texts are UTF-8; each code point is mapped on
// its own (simple case mapping, so "ß" stays one letter), and bytes that are
// not UTF-8 pass through unchanged.

#include <string>
#include <string_view>

namespace kbx {

// Lower case ("$POS:MAßE" and "$pos:maße" name the same field).
std::string lowerCase(std::string_view text);
// Upper case ("Stückliste" becomes "STÜCKLISTE").
std::string upperCase(std::string_view text);
// Whether two names are equal when letter case is ignored (simple case folding).
bool equalIgnoringCase(std::string_view a, std::string_view b);

}  // namespace kbx
