#pragma once
// The BOM data set a host hands over: header names and values, the record
// size and the flat position values with their field names.

#include <cstdint>

#include "value/variant.h"

namespace kbx {

struct BomDataSet {
    Variant HeadNames;
    Variant HeadVals;
    int32_t RecordSize = 1;
    Variant PosNames;
    Variant PosVals;
};

// Number of elements of an array Variant (its upper bound + 1, read from
// index 0); raises "Type mismatch" for a Variant that holds no array.
int32_t elementCount(const Variant& array);

// Element count of PosVals divided by RecordSize in floating point. A
// RecordSize of 0 raises "Division by zero", or "Overflow" when PosVals is
// empty as well (0 / 0); a PosVals that holds no array raises "Type mismatch".
double recordCount(const Variant& posVals, int32_t recordSize);

// Visits the elements of one field: index field, field + stride, ... up to the
// upper bound of `values`. The last, incomplete group is visited for the fields
// it covers.
template <typename Visit>
void forEachFieldValue(const Variant& values, int32_t field, int32_t stride, Visit visit) {
    const int32_t upper = values.upperBound();
    for (int64_t j = field; j <= upper; j += stride) visit(static_cast<int32_t>(j), values.at(static_cast<int32_t>(j)));
}

}  // namespace kbx
