#include "value/data_set.h"

#include <gtest/gtest.h>

#include "value/runtime_error.h"

namespace kbx {
namespace {

Variant numbers(int count) {
    std::vector<Variant> v;
    for (int i = 0; i < count; ++i) v.emplace_back(int32_t{i});
    return Variant::array(std::move(v));
}

TEST(DataSet, StrideVisitsIncompleteLastGroup) {
    // Record size 3 and 7 values: three groups, the third holding only field 0.
    Variant vals = numbers(7);
    std::vector<int32_t> field0, field2;
    forEachFieldValue(vals, 0, 3, [&](int32_t j, const Variant&) { field0.push_back(j); });
    forEachFieldValue(vals, 2, 3, [&](int32_t j, const Variant&) { field2.push_back(j); });
    EXPECT_EQ(field0, (std::vector<int32_t>{0, 3, 6}));
    EXPECT_EQ(field2, (std::vector<int32_t>{2, 5}));
    EXPECT_DOUBLE_EQ(recordCount(vals, 3), 7.0 / 3.0);
}

TEST(DataSet, RecordCountFailsLikeTheDivision) {
    auto numberOf = [](const Variant& vals, int32_t size) {
        try {
            recordCount(vals, size);
        } catch (const RuntimeError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(numberOf(numbers(4), 0), err::DivisionByZero);
    EXPECT_EQ(numberOf(numbers(0), 0), err::Overflow);
    EXPECT_EQ(numberOf(Variant("no array"), 2), err::TypeMismatch);
    EXPECT_EQ(numberOf(Variant(), 2), err::TypeMismatch);
    EXPECT_EQ(numberOf(numbers(0), 2), 0);
}

TEST(DataSet, WrongLowerBoundFailsOnIndexZero) {
    Variant vals = Variant::array({Variant("a"), Variant("b")}, 1);
    EXPECT_THROW(vals.at(0), RuntimeError);
    // The upper bound still counts from 0, so the count reads one more element.
    EXPECT_EQ(elementCount(vals), 3);
}

}  // namespace
}  // namespace kbx
