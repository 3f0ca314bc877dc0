#pragma once
// Parses formula text as a workbook stores it (no leading "=", English
// function names, "_xlfn." prefixes, A1 references) into its parsed form.

#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "formula/program.h"

namespace kbx::formula {

// The longest formula text and the deepest nesting of parentheses and
// function calls that are computed.
inline constexpr size_t kMaxFormulaLength = 8192;
inline constexpr int kMaxNesting = 64;

// Why a formula is not computed.
struct ParseFailure {
    std::string reason;
};

// Parses the formula of the cell at (row, column); relative references become
// offsets from that cell. An array formula evaluates everything element by element.
std::variant<std::shared_ptr<const Formula>, ParseFailure> parseFormula(std::string_view text, int32_t row,
                                                                         int32_t column, bool arrayFormula = false);

// A key equal for two parsed forms exactly when they compute the same thing
// at every cell (used to share one parsed form between cells).
std::string formulaKey(const Formula& formula);

}  // namespace kbx::formula
