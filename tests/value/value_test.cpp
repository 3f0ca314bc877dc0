// Conversions of the run-time value, the data set's record arithmetic and A1 references.

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "value/cell_reference.h"
#include "value/data_set.h"

namespace kbx::test {
namespace {

TEST(Variant, TextOfEveryKind) {
    const std::pair<Variant, std::string> rows[] = {{Variant(), ""},
                                                    {Variant(int32_t{42}), "42"},
                                                    {Variant(int16_t{-7}), "-7"},
                                                    {Variant(1.5), "1.5"},
                                                    {Variant(0.1 + 0.2), "0.3"},
                                                    {Variant(100.0), "100"},
                                                    {Variant(1e20), "1E+20"},
                                                    {Variant(true), "True"},
                                                    {Variant(Currency{12345}), "1.2345"},
                                                    {Variant(Currency{-5000}), "-0.5"},
                                                    {Variant(Date{45000}), "2023-03-15"},
                                                    {Variant(Date{45000.5}), "2023-03-15 12:00:00"}};
    for (const auto& [value, text] : rows) {
        EXPECT_EQ(toText(value), text);
        EXPECT_EQ(value.isNumber(), value.type() != VarType::Empty) << text;
    }
    // Month and year edges, no 1900 leap day, the first and the last day.
    const std::pair<double, const char*> dates[] = {
        {44967, "2023-02-10"}, {45351, "2024-02-29"},           {45352, "2024-03-01"},
        {45291, "2023-12-31"}, {45291.999999999, "2024-01-01"}, {60, "1900-02-28"},
        {61, "1900-03-01"},    {-657434, "0100-01-01"},         {2958465.5, "9999-12-31 12:00:00"},
    };
    for (const auto& [serial, text] : dates) EXPECT_EQ(toText(Variant(Date{serial})), text);
    EXPECT_EQ(errorOf([] { toText(Variant(Date{2958466})); }).number(), err::Overflow);
    EXPECT_EQ(errorOf([] { toText(Variant::null()); }).number(), err::InvalidUseOfNull);
    EXPECT_EQ(errorOf([] { toText(Variant::array({})); }).number(), err::TypeMismatch);
}

TEST(Variant, LongRoundsHalfToEvenAndRefusesWhatDoesNotFit) {
    const std::pair<Variant, int32_t> rows[] = {
        {Variant(2.5), 2},   {Variant(3.5), 4},     {Variant(-2.5), -2},   {Variant(2.4999), 2},
        {Variant("17"), 17}, {Variant(" 6.5 "), 6}, {Variant(true), -1},   {Variant(2147483647.0), 2147483647},
        {Variant(0.5), 0},   {Variant("&H1f"), 31}, {Variant("&o17"), 15}, {Variant(-2147483648.5), INT32_MIN},
    };
    for (const auto& [value, number] : rows) EXPECT_EQ(toLong(value), number) << toText(value);
    const std::pair<Variant, int> failures[] = {
        {Variant(2147483647.5), err::Overflow},   {Variant(-2147483649.0), err::Overflow},
        {Variant("abc"), err::TypeMismatch},      {Variant(""), err::TypeMismatch},
        {Variant::null(), err::InvalidUseOfNull},
    };
    for (const auto& [value, number] : failures) EXPECT_EQ(errorOf([&] { toLong(value); }).number(), number);
    for (const char* numeric : {"3.25", " -4 ", "1e3"}) EXPECT_TRUE(isNumeric(Variant(numeric))) << numeric;
    for (const char* other : {"", "12a", "nan", "&H"}) EXPECT_FALSE(isNumeric(Variant(other))) << other;
    EXPECT_FALSE(isNumeric(Variant::null()));
    std::string truths;
    for (const char* text : {" TRUE ", "False", "-1", "0", "0.5"}) truths += toBoolean(Variant(text)) ? "1" : "0";
    EXPECT_EQ(truths, "10101");
    EXPECT_EQ(errorOf([] { toBoolean(Variant("yes")); }).number(), err::TypeMismatch);
}

TEST(DataSet, RecordsOfAStrideAndTheirCount) {
    std::vector<Variant> values;
    for (int32_t i = 0; i < 7; ++i) values.emplace_back(i);
    const Variant seven = Variant::array(values);
    std::vector<int32_t> field0, field2;
    forEachFieldValue(seven, 0, 3, [&](int32_t j, const Variant&) { field0.push_back(j); });
    forEachFieldValue(seven, 2, 3, [&](int32_t j, const Variant&) { field2.push_back(j); });
    EXPECT_EQ(field0, (std::vector<int32_t>{0, 3, 6}));  // the incomplete last record holds field 0 only
    EXPECT_EQ(field2, (std::vector<int32_t>{2, 5}));
    EXPECT_DOUBLE_EQ(recordCount(seven, 3), 7.0 / 3.0);
    EXPECT_EQ(errorOf([&] { recordCount(seven, 0); }).number(), err::DivisionByZero);
    EXPECT_EQ(errorOf([] { recordCount(Variant::array({}), 0); }).number(), err::Overflow);
    EXPECT_EQ(errorOf([] { recordCount(Variant("no array"), 2); }).number(), err::TypeMismatch);
    // A lower bound of 1 still counts from 0: one element more than it holds.
    const Variant fromOne = Variant::array({Variant("a"), Variant("b")}, 1);
    EXPECT_EQ(elementCount(fromOne), 3);
    EXPECT_EQ(toText(fromOne.at(1)) + toText(fromOne.at(2)), "ab");
    for (int32_t outside : {0, 3}) EXPECT_EQ(errorOf([&] { fromOne.at(outside); }).number(), err::SubscriptOutOfRange);
}

TEST(CellReference, TheSheetsFirstAndLastRowAndColumn) {
    std::string seen;
    for (const char* ref : {"A1", "xfd1048576", "XFE1", "A1048577", "A0", "AAAA1", "A", "1"}) {
        int32_t row = 0, column = 0;
        seen += parseCellReference(ref, row, column) ? columnName(column) + std::to_string(row) + " " : "- ";
    }
    EXPECT_EQ(seen, "A1 XFD1048576 - - - - - - ");
    EXPECT_EQ(columnName(26) + columnName(27) + columnName(702) + columnName(703), "ZAAZZAAA");
    EXPECT_EQ(columnName(0) + columnName(16385), "");
}

}  // namespace
}  // namespace kbx::test
