#include "value/data_set.h"

#include "value/runtime_error.h"

namespace kbx {

int32_t elementCount(const Variant& array) { return array.upperBound() + 1; }

double recordCount(const Variant& posVals, int32_t recordSize) {
    const double count = elementCount(posVals);
    if (recordSize == 0) raise(count == 0 ? err::Overflow : err::DivisionByZero);
    return count / recordSize;
}

}  // namespace kbx
