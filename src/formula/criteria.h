#pragma once
// The criteria of COUNTIF, SUMIF and their relatives: a value or a text such
// as ">=5", "<>x", "ab*" or "" that tests each cell.

#include <string>

#include "formula/value.h"

namespace kbx::formula {

class Criterion {
public:
    Criterion(const Value& criterion, bool date1904);
    bool matches(const CellView& cell) const;
    // Whether an empty cell meets it ("", "<>x", "<>" does not …).
    bool matchesBlank() const { return matchesBlank_; }

private:
    enum class Compare { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };
    Compare compare_ = Compare::Equal;
    Value operand_;
    bool wildcards_ = false;
    bool matchesBlank_ = false;
    bool emptyOperand_ = false;
    bool bareEmpty_ = false;  // the criterion "" ("=" finds empty cells only)
    bool orderResult(int c) const;
};

}  // namespace kbx::formula
