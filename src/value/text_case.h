#pragma once
// Letter case of names compared without regard to case: sheet names, field
// names, placeholder names. Texts are UTF-8.

#include <string>
#include <string_view>

namespace kbx {

// Lower case: ASCII letters and the accented Latin-1 capitals (so "$POS:MAßE"
// and "$pos:maße" name the same field).
std::string lowerCase(std::string_view text);
// Upper case of the ASCII letters.
std::string upperCase(std::string_view text);
// Whether two names are equal when letter case is ignored.
bool equalIgnoringCase(std::string_view a, std::string_view b);

}  // namespace kbx
