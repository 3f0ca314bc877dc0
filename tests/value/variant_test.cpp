#include "value/variant.h"

#include <gtest/gtest.h>

#include "value/runtime_error.h"

namespace kbx {
namespace {

int errorNumberOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

TEST(VariantText, WritesNumbersBooleansAndDates) {
    EXPECT_EQ(toText(Variant()), "");
    EXPECT_EQ(toText(Variant(int32_t{42})), "42");
    EXPECT_EQ(toText(Variant(int16_t{-7})), "-7");
    EXPECT_EQ(toText(Variant(1.5)), "1.5");
    EXPECT_EQ(toText(Variant(0.1 + 0.2)), "0.3");
    EXPECT_EQ(toText(Variant(100.0)), "100");
    EXPECT_EQ(toText(Variant(1e20)), "1E+20");
    EXPECT_EQ(toText(Variant(true)), "True");
    EXPECT_EQ(toText(Variant(false)), "False");
    EXPECT_EQ(toText(Variant(Currency{12345})), "1.2345");
    EXPECT_EQ(toText(Variant(Currency{-5000})), "-0.5");
    EXPECT_EQ(toText(Variant(Date{45000})), "2023-03-15");
    EXPECT_EQ(toText(Variant(Date{45000.5})), "2023-03-15 12:00:00");
    EXPECT_EQ(errorNumberOf([] { toText(Variant::null()); }), err::InvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([] { toText(Variant::array({})); }), err::TypeMismatch);
}

TEST(VariantLong, RoundsHalfToEvenAndOverflows) {
    EXPECT_EQ(toLong(Variant(2.5)), 2);
    EXPECT_EQ(toLong(Variant(3.5)), 4);
    EXPECT_EQ(toLong(Variant(-2.5)), -2);
    EXPECT_EQ(toLong(Variant(2.4999)), 2);
    EXPECT_EQ(toLong(Variant("17")), 17);
    EXPECT_EQ(toLong(Variant(" 6.5 ")), 6);
    EXPECT_EQ(toLong(Variant(true)), -1);
    EXPECT_EQ(toLong(Variant()), 0);
    EXPECT_EQ(toLong(Variant(2147483647.0)), 2147483647);
    EXPECT_EQ(errorNumberOf([] { toLong(Variant(2147483647.5)); }), err::Overflow);
    EXPECT_EQ(errorNumberOf([] { toLong(Variant(-2147483649.0)); }), err::Overflow);
    EXPECT_EQ(errorNumberOf([] { toLong(Variant("abc")); }), err::TypeMismatch);
    EXPECT_EQ(errorNumberOf([] { toLong(Variant("")); }), err::TypeMismatch);
    EXPECT_EQ(errorNumberOf([] { toLong(Variant::null()); }), err::InvalidUseOfNull);
}

TEST(VariantNumeric, AcceptsNumbersAndNumericText) {
    EXPECT_TRUE(isNumeric(Variant(int32_t{1})));
    EXPECT_TRUE(isNumeric(Variant("3.25")));
    EXPECT_TRUE(isNumeric(Variant(" -4 ")));
    EXPECT_TRUE(isNumeric(Variant("1e3")));
    EXPECT_TRUE(isNumeric(Variant()));
    EXPECT_FALSE(isNumeric(Variant("")));
    EXPECT_FALSE(isNumeric(Variant("12a")));
    EXPECT_FALSE(isNumeric(Variant("nan")));
    EXPECT_FALSE(isNumeric(Variant::null()));
    EXPECT_FALSE(isNumeric(Variant::array({})));
}

TEST(VariantArray, HonoursBoundsAndRefusesNonArrays) {
    Variant a = Variant::array({Variant("x"), Variant(int32_t{2})});
    EXPECT_EQ(a.lowerBound(), 0);
    EXPECT_EQ(a.upperBound(), 1);
    EXPECT_EQ(a.at(0), Variant("x"));
    EXPECT_EQ(errorNumberOf([&] { a.at(2); }), err::SubscriptOutOfRange);
    EXPECT_EQ(errorNumberOf([&] { a.at(-1); }), err::SubscriptOutOfRange);

    Variant oneBased = Variant::array({Variant("a")}, 1);
    EXPECT_EQ(errorNumberOf([&] { oneBased.at(0); }), err::SubscriptOutOfRange);

    Variant notArray("text");
    EXPECT_EQ(errorNumberOf([&] { notArray.at(0); }), err::TypeMismatch);
    EXPECT_EQ(errorNumberOf([&] { notArray.upperBound(); }), err::TypeMismatch);

    Variant empty = Variant::array({});
    EXPECT_EQ(empty.upperBound(), -1);
}

}  // namespace
}  // namespace kbx
