// What the reference workbooks cannot show: formulas that are not computed,
// the limits, cycles and iteration, volatile functions, the order of
// computing and incremental recalculation, whole columns, shared parsed forms,
// and the program's behaviour where LibreOffice differs from it.

#include <gtest/gtest.h>

#include <string>

#include "formula/memory_book.h"

namespace kbx::test {
namespace {

using formula::ErrorCode;
using formula::Value;

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

// A book with a few values: A1..A3 = 1, 2, 3, B1..B3 = "x", "y", "z".
struct SmallBook : MemoryBook {
    SmallBook() : MemoryBook({"Sheet1", "Other"}) {
        for (int r = 1; r <= 3; ++r) {
            set(0, "A" + std::to_string(r), double(r));
            set(0, "B" + std::to_string(r), std::string(1, char('w' + r)));
        }
    }
};

TEST(FormulaCalculator, FormulasItCannotComputeAreNotComputedAndNeverGuessed) {
    const std::string deepest = repeated("ABS(", 64) + "1" + repeated(")", 64);
    const std::string longest = "1" + repeated("+1", 4095) + " ";
    ASSERT_EQ(longest.size(), 8192u);
    struct Case {
        std::string formula;
        bool computed;
    };
    const Case cases[] = {
        {deepest, true},  {"ABS(" + deepest + ")", false},  {longest, true},  {longest + " ", false},
        {"FOO(1)", false}, {"SUM(", false}, {"1+", false}, {")", false}, {"\"abc", false}, {"{1,2;3}", false},
        {"[1]Sheet1!A1", false}, {"Sheet1:Other!A1", false}, {"Table1[Col]", false}, {"_xlfn.ANCHORARRAY(A1)", false},
        {"INDIRECT(\"R1C1\",FALSE)", false}, {"SUM(1,,2)", true}, {"A1:", false}, {"#BOGUS!", false},
        {"ROUND(1)", false}, {repeated("-", 65) + "1", false}, {"'Other'!A1", true}, {"Other!#REF!", true},
    };
    for (const Case& c : cases) {
        SmallBook book;
        book.setFormula(0, "Z1", c.formula);
        book.recalculate();
        EXPECT_EQ(book.notComputedReason(0, "Z1").empty(), c.computed) << c.formula.substr(0, 80);
    }
}

TEST(FormulaCalculator, ACellThatReadsANotComputedCellIsNotComputedEither) {
    SmallBook book;
    book.setFormula(0, "C1", "FOO(A1)");
    book.setFormula(0, "C2", "C1+1");
    book.setFormula(0, "C3", "SUM(C1:C2)");
    book.setFormula(0, "C4", "A1+1");
    book.recalculate();
    for (const char* cell : {"C1", "C2", "C3"}) EXPECT_NE(book.notComputedReason(0, cell), "") << cell;
    EXPECT_EQ(book.value(0, "C4"), Value(2.0));
}

TEST(FormulaCalculator, CyclesAreNotComputedUnlessIterationIsOn) {
    SmallBook book;
    book.setFormula(0, "D1", "D2/2+1");
    book.setFormula(0, "D2", "D1");
    book.setFormula(0, "D3", "D1*10");
    book.setFormula(0, "D4", "D4+1");
    book.setFormula(0, "D5", "SUM(D5:D6)");
    book.setFormula(0, "D7", "A1*5");
    book.recalculate();
    for (const char* cell : {"D1", "D2", "D3", "D4", "D5"}) EXPECT_NE(book.notComputedReason(0, cell), "") << cell;
    EXPECT_EQ(book.value(0, "D7"), Value(5.0));

    book.calculator.setIteration({true, 1, 0.001});
    book.calculator.markAllDirty();
    book.recalculate();
    // One round from the stored blanks: D1 = 0/2+1, then D2 = D1.
    EXPECT_EQ(book.value(0, "D1"), Value(1.0));
    EXPECT_EQ(book.value(0, "D2"), Value(1.0));

    book.calculator.setIteration({true, 100, 0.0001});
    book.calculator.markAllDirty();
    book.recalculate();
    EXPECT_NEAR(book.value(0, "D1").number(), 2.0, 0.001);
    EXPECT_NEAR(book.value(0, "D3").number(), 20.0, 0.01);
    EXPECT_EQ(book.notComputedReason(0, "D1"), "");
}

TEST(FormulaCalculator, AChainOfAMillionCellsIsComputedWithoutDeepRecursionAndSharesOneParsedForm) {
    MemoryBook book({"Sheet1"});
    book.set(0, "A1", 1.0);
    const int last = 1'000'000;
    // Registered from the bottom up, so that the order has to be worked out.
    for (int row = last; row >= 2; --row) book.setFormula(0, "A" + std::to_string(row), "A1+1", "A2");
    book.recalculate();
    EXPECT_EQ(book.value(0, "A" + std::to_string(last)), Value(double(last)));
    EXPECT_EQ(book.calculator.parsedFormCount(), 1u);
}

TEST(FormulaCalculator, RunningRangesOverFormulaCellsAndCopiedFormulasShareParsedForms) {
    MemoryBook book({"Sheet1"});
    const int rows = 1000;
    for (int row = 1; row <= rows; ++row) {
        const std::string r = std::to_string(row);
        book.setFormula(0, "A" + r, "ROW()");
        book.setFormula(0, "B" + r, "SUM(A$1:A" + r + ")");
    }
    book.recalculate();
    EXPECT_EQ(book.value(0, "B" + std::to_string(rows)), Value(double(rows) * (rows + 1) / 2));
    EXPECT_EQ(book.value(0, "B1"), Value(1.0));
    EXPECT_EQ(book.calculator.parsedFormCount(), 2u);
}

TEST(FormulaCalculator, OnlyChangedCellsTheirDependantsAndVolatileFormulasAreComputedAgain) {
    SmallBook book;
    book.setFormula(0, "C1", "A1*2");
    book.setFormula(0, "C2", "C1+A1");
    book.setFormula(0, "C3", "SUM(A1:A3)");
    book.setFormula(0, "C4", "B1&\"!\"");
    book.setFormula(0, "C5", "RAND()");
    book.setFormula(0, "C6", "C5*0+1");
    book.recalculate();
    EXPECT_EQ(book.computedCount, 6);

    book.computedCount = 0;
    book.recalculate();
    // The volatile RAND() is computed again, and C6 that reads it, but C6
    // keeps 1, which the sink has: only RAND()'s new value is reported.
    EXPECT_EQ(book.computedCount, 1);

    book.computedCount = 0;
    book.set(0, "A1", 5.0);
    book.recalculate();
    EXPECT_EQ(book.computedCount, 4);  // C1, C2, C3 and RAND(); not C4, nor C6 (still 1)
    EXPECT_EQ(book.value(0, "C2"), Value(15.0));
    EXPECT_EQ(book.value(0, "C3"), Value(10.0));

    book.set(0, "A2", Value(std::string("7")));  // a text now: SUM skips it
    book.recalculate();
    EXPECT_EQ(book.value(0, "C3"), Value(8.0));
}

TEST(FormulaCalculator, ReferencesFoundOnlyWhileComputingAreComputedFirst) {
    SmallBook book;
    book.setFormula(0, "E1", "INDIRECT(\"E2\")*2");
    book.setFormula(0, "E2", "OFFSET(A1,2,0)+1");
    book.setFormula(0, "E3", "INDIRECT(\"E4\")");
    book.setFormula(0, "E4", "INDIRECT(\"E3\")");
    book.recalculate();
    EXPECT_EQ(book.value(0, "E1"), Value(8.0));
    EXPECT_NE(book.notComputedReason(0, "E3"), "");
    EXPECT_NE(book.notComputedReason(0, "E4"), "");
}

TEST(FormulaCalculator, WholeColumnsVisitOnlyTheCellsThatExist) {
    MemoryBook book({"Sheet1"});
    book.set(0, "A1", 2.0);
    book.set(0, "A1048576", 3.0);
    book.setFormula(0, "B1", "SUM(A:A)");
    book.setFormula(0, "B2", "COUNTBLANK(A:A)");
    book.setFormula(0, "B3", "COUNTIF(A:A,\"<>2\")");
    book.setFormula(0, "B4", "SUMIF(A:A,\">2\",A:A)");
    book.setFormula(0, "B5", "MATCH(3,A:A,0)");
    book.setFormula(0, "B6", "A1048576+1");
    book.setFormula(0, "B7", "A1048577");
    book.recalculate();
    EXPECT_EQ(book.value(0, "B1"), Value(5.0));
    EXPECT_EQ(book.value(0, "B2"), Value(1048574.0));
    EXPECT_EQ(book.value(0, "B3"), Value(1048575.0));
    EXPECT_EQ(book.value(0, "B4"), Value(3.0));
    EXPECT_EQ(book.value(0, "B5"), Value(1048576.0));
    EXPECT_EQ(book.value(0, "B6"), Value(4.0));
    EXPECT_EQ(book.value(0, "B7"), Value(ErrorCode::Name));  // past the last row: a name, and none is defined
}

TEST(FormulaCalculator, ArrayFormulasFillTheirRange) {
    SmallBook book;
    book.calculator.setArrayFormula({0, 1, 6}, 4, 1, "A1:A3*2");
    book.calculator.setArrayFormula({0, 1, 7}, 1, 1, "SUM(IF(A1:A3>1,A1:A3))");
    book.setFormula(0, "H1", "SUM(F1:F3)");
    book.recalculate();
    EXPECT_EQ(book.value(0, "F3"), Value(6.0));
    EXPECT_EQ(book.value(0, "F4"), Value(ErrorCode::NA));
    EXPECT_EQ(book.value(0, "G1"), Value(5.0));
    EXPECT_EQ(book.value(0, "H1"), Value(12.0));
    // At most 1,000,000 cells: exactly that many are filled, one more column is refused.
    for (const int32_t columns : {1000, 1001}) {
        SmallBook big;
        big.calculator.setArrayFormula({0, 1, 9}, 1000, columns, "ROW()");
        big.recalculate();
        EXPECT_EQ(big.notComputedReason(0, "I1").empty(), columns == 1000) << columns;
    }
}

TEST(FormulaCalculator, SubtotalLeavesOutHiddenRowsAndOtherSubtotals) {
    SmallBook book;
    book.hiddenRows.push_back({0, 2});
    book.setFormula(0, "A4", "SUBTOTAL(9,A1:A3)");
    book.setFormula(0, "C1", "SUBTOTAL(9,A1:A4)");
    book.setFormula(0, "C2", "SUBTOTAL(109,A1:A4)");
    book.recalculate();
    EXPECT_EQ(book.value(0, "C1"), Value(6.0));
    EXPECT_EQ(book.value(0, "C2"), Value(4.0));
}

// Where LibreOffice, the reference program, computes differently (see
// tests/data/make_formulas.py) or lacks the function: the values the
// program's documentation gives.
TEST(FormulaCalculator, TheProgramsOwnResultsWhereTheReferenceDiffers) {
    SmallBook book;
    book.set(0, "C1", true);
    const std::pair<const char*, Value> cases[] = {
        {"SUM(A1:A3,C1)", 6.0}, {"SUM(1,\"5\",TRUE)", 7.0}, {"COUNT(C1,A1)", 1.0}, {"\"a\"&TRUE", "aTRUE"},
        {"TRUE=1", false}, {"2>TRUE", false}, {"\"a\"<TRUE", true}, {"TYPE(TRUE)", 4.0},
        {"SQRT(-1)", ErrorCode::Num}, {"LOG(10,1)", ErrorCode::Div0}, {"LOG(0,1)", ErrorCode::Num},
        {"DATE(9999,12,32)", ErrorCode::Num}, {"MROUND(10,-3)", ErrorCode::Num},
        {"POWER(0,0)", ErrorCode::Num}, {"VLOOKUP(2,A1:B3,3,FALSE)", ErrorCode::Ref}, {"INDEX(A1:A3,4)", ErrorCode::Ref},
        {"OFFSET(A1,-1,0)", ErrorCode::Ref}, {"RANK(7,A1:A3)", ErrorCode::NA}, {"DATE(1900,1,1)", 1.0},
        {"DATE(1900,2,29)", 60.0}, {"DATE(1900,3,1)", 61.0}, {"WEEKDAY(1)", 1.0}, {"1E+20&\"\"", "1E+20"},
        {"DOLLAR(-1234.567)", "($1,234.57)"}, {"MINUTE(0.7541666)", 6.0}, {"WEEKNUM(DATE(2024,12,31))", 53.0},
        {"XLOOKUP(2,A1:A3,B1:B3)", "y"}, {"XLOOKUP(9,A1:A3,B1:B3,\"none\")", "none"},
        {"XLOOKUP(2.5,A1:A3,B1:B3,,-1)", "y"}, {"XLOOKUP(2.5,A1:A3,B1:B3,,1)", "z"}, {"XLOOKUP(\"?\",B1:B3,A1:A3,,2,-1)", 3.0},
        {"XMATCH(3,A1:A3)", 3.0}, {"XMATCH(0,A1:A3)", ErrorCode::NA}, {"XMATCH(2,A1:A3,0,2)", 2.0},
    };
    for (const auto& [formula, expected] : cases) {
        book.setFormula(0, "Z1", formula);
        book.recalculate();
        EXPECT_EQ(book.value(0, "Z1"), expected) << formula;
    }
}

}  // namespace
}  // namespace kbx::test
