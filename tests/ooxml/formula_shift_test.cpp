// A shared formula's text moved to another cell of its block: relative parts
// move, absolute parts, literals, names, functions and bracketed parts stay,
// and a reference moved off the sheet becomes #REF!.
#include <gtest/gtest.h>

#include "ooxml/sheet_references.h"

namespace kbx::test {
namespace {

TEST(FormulaShift, RelativePartsMoveByTheOffset) {
    struct Row {
        const char* formula;
        int32_t rows, columns;
        const char* moved;
    };
    const Row rows[] = {
        {"A1*2", 1, 0, "A2*2"},
        {"$A$1+A$1+$A1+a1", 2, 1, "$A$1+B$1+$A3+B3"},
        {"SUM(A1:B2)+SUM(A:A)+SUM(1:2)+SUM($C:C)", 1, 1, "SUM(B2:C3)+SUM(B:B)+SUM(2:3)+SUM($C:D)"},
        {"'My Sheet'!A1&Data!B2&\"A1\"", 1, 0, "'My Sheet'!A2&Data!B3&\"A1\""},
        {"LOG10(A1)+Rate+TRUE+1E+20+1.5+12", 1, 0, "LOG10(A2)+Rate+TRUE+1E+20+1.5+12"},
        {"_xlfn.XLOOKUP(A1,Table1[Key],[1]Other!B1)", 0, 1, "_xlfn.XLOOKUP(B1,Table1[Key],[1]Other!C1)"},
        // The edges of the sheet: the last row and column, and one past them.
        {"A1048575+XFC1", 1, 1, "B1048576+XFD2"},
        {"A1048576+B1", 1, 0, "#REF!+B2"},
        {"XFD1", 0, 1, "#REF!"},
        {"B2", -1, -1, "A1"},
        {"A1", -1, 0, "#REF!"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ooxml::shiftRelativeReferences(row.formula, row.rows, row.columns), row.moved) << row.formula;
}

}  // namespace
}  // namespace kbx::test
