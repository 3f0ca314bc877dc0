#pragma once
// Evaluates a parsed formula on an explicit value stack (no recursion per
// operand), with the program's operators, coercions and error propagation.

#include "formula/context.h"
#include "formula/program.h"
#include "formula/value.h"

namespace kbx::formula {

// The value of the formula at context's cell: a single value for a cell
// formula (a reference meets the cell's row or column, blank becomes 0), the
// array or reference as computed for an array formula. Throws NotComputed.
Value evaluate(const Formula& formula, Context& context);

// The raw result, references kept (used for defined names).
Value evaluateRaw(const Formula& formula, Context& context);

// The cells of a reference operand as seen from context's cell; #REF! when
// it lies outside the sheet or names a missing sheet.
Value resolveReference(const Formula& formula, const ReferenceOperand& operand, Context& context);

}  // namespace kbx::formula
