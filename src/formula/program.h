#pragma once
// The parsed form of a formula: postfix code for a small stack machine.
// References that are relative in the text are stored as offsets from the
// formula's own cell, so that every cell holding the same relative formula
// (a shared formula expanded by its offset, a column of copied formulas)
// shares one parsed form.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formula/value.h"

namespace kbx::formula {

// One row or column bound of a reference: an offset from the formula's cell
// when relative, a position counted from 1 when absolute.
struct Bound {
    int32_t position = 1;
    bool relative = false;
    bool operator==(const Bound&) const = default;
};

// A cell or an area as written: sheet -1 is the formula's own sheet, else an
// index into Formula::sheetNames. A reference whose sheet or target was
// deleted ("#REF!") is invalid.
struct ReferenceOperand {
    int32_t sheet = -1;
    Bound row1, column1, row2, column2;
    bool invalid = false;
    bool operator==(const ReferenceOperand&) const = default;
};

enum class Op : uint8_t {
    Number, Text, Boolean, Error, Missing, Reference, ArrayConstant, Name,
    Negate, Plus, Percent,
    Add, Subtract, Multiply, Divide, Power, Concat,
    Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual,
    Range, Union, Intersect,
    Call,
    // IF: pops the condition; jumps to target when it is false.
    JumpIfFalse,
    // Unconditional jump to target.
    Jump,
    // IFERROR / IFNA: when the value on top is no error (no #N/A), jumps to
    // target keeping it; otherwise pops it and goes on with the alternative.
    JumpUnlessError, JumpUnlessNA,
};

struct Instruction {
    Op op = Op::Number;
    // Operators and calls inside an argument that the program evaluates as
    // arrays (SUMPRODUCT's, or anywhere in an array formula) work element by element.
    bool arrayMode = false;
    uint16_t count = 0;  // arguments of a call
    int32_t index = 0;   // constant, reference, function or jump target
    double number = 0;
    bool operator==(const Instruction&) const = default;
};

struct Formula {
    std::vector<Instruction> code;
    std::vector<std::string> texts;  // text constants and names
    std::vector<ReferenceOperand> references;
    std::vector<std::shared_ptr<const Array>> arrays;
    std::vector<std::string> sheetNames;
    bool isVolatile = false;  // NOW, RAND, OFFSET, INDIRECT …
    bool usesNames = false;
    bool usesSubtotal = false;
    bool arrayFormula = false;
};

}  // namespace kbx::formula
