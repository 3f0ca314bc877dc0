#pragma once
// Small builders shared by the template-fill tests.

#include <initializer_list>
#include <vector>

#include "value/variant.h"

namespace kbx::test {

inline Variant Array(std::initializer_list<Variant> elements) { return Variant::array(std::vector<Variant>(elements)); }

inline Variant Numbers(int32_t count) {
    std::vector<Variant> values;
    for (int32_t i = 0; i < count; ++i) values.emplace_back(i);
    return Variant::array(std::move(values));
}

}  // namespace kbx::test
