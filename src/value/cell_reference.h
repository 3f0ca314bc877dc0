#pragma once
// A1-style cell references and the sheet's size limits.

#include <cstdint>
#include <string>
#include <string_view>

namespace kbx {

inline constexpr int32_t kMaxRows = 1048576;
inline constexpr int32_t kMaxColumns = 16384;

// The letters of a column ("A" for 1, "XFD" for 16384); empty outside the sheet.
std::string columnName(int32_t column);
// The same text without a copy; valid for the life of the program.
const std::string& columnNameRef(int32_t column);
// A column given by letters ("A" … "XFD", either case), or 0.
int32_t columnOfLetters(std::string_view letters);
// A row given by digits ("1" … "1048576", no leading zero), or 0.
int32_t rowOfDigits(std::string_view digits);

// Reads "B12" as row 12, column 2 (letters in either case, no '$'); false for
// a malformed reference or one outside the sheet.
bool parseCellReference(std::string_view ref, int32_t& row, int32_t& column);

}  // namespace kbx
