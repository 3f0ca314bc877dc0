#pragma once
// The value model of the automation interface: a Variant holds one of the
// automation types, or an array of Variants with a lower and upper bound.

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace kbx {

class Variant;

enum class VarType { Empty, Null, Boolean, Integer, Long, Double, Currency, Date, String, Array };

// A one-dimensional array with its own lower bound.
struct VariantArray {
    int32_t lowerBound = 0;
    std::vector<Variant> elements;
    int32_t upperBound() const;
};

// Currency: a fixed-point number with four decimals, stored scaled by 10,000.
struct Currency {
    int64_t scaled = 0;
    bool operator==(const Currency&) const = default;
};

// Date: days since 30 December 1899, time as the fraction of a day.
struct Date {
    double serial = 0;
    bool operator==(const Date&) const = default;
};

// The serials a Date can name: 1 January 100 up to the end of 31 December 9999.
inline constexpr double kFirstDateSerial = -657434.0;
inline constexpr double kEndDateSerial = 2958466.0;
// Whether `serial` names a day in that range (a finite number).
bool isValidDateSerial(double serial);

struct NullValue {
    bool operator==(const NullValue&) const = default;
};

class Variant {
public:
    Variant() = default;
    Variant(bool b) : value_(b) {}
    Variant(int16_t i) : value_(i) {}
    Variant(int32_t l) : value_(l) {}
    Variant(double d) : value_(d) {}
    Variant(Currency c) : value_(c) {}
    Variant(Date d) : value_(d) {}
    Variant(std::string s) : value_(std::move(s)) {}
    Variant(const char* s) : value_(std::string(s)) {}
    Variant(NullValue n) : value_(n) {}

    static Variant null() { return Variant(NullValue{}); }
    // A zero-based array.
    static Variant array(std::vector<Variant> elements, int32_t lowerBound = 0);

    // The alternatives are declared in VarType order; an array is the last.
    VarType type() const {
        const size_t index = value_.index();
        return index < static_cast<size_t>(VarType::Array) ? static_cast<VarType>(index) : VarType::Array;
    }
    bool isEmpty() const { return type() == VarType::Empty; }
    bool isNull() const { return type() == VarType::Null; }
    bool isArray() const { return type() == VarType::Array; }
    bool isString() const { return type() == VarType::String; }
    // True for Boolean, Integer, Long, Double, Currency and Date.
    bool isNumber() const;

    bool asBoolean() const { return std::get<bool>(value_); }
    int16_t asInteger() const { return std::get<int16_t>(value_); }
    int32_t asLong() const { return std::get<int32_t>(value_); }
    double asDouble() const { return std::get<double>(value_); }
    Currency asCurrency() const { return std::get<Currency>(value_); }
    Date asDate() const { return std::get<Date>(value_); }
    const std::string& asString() const { return std::get<std::string>(value_); }

    // Array access; a Variant that holds no array raises "Type mismatch",
    // an index outside the bounds "Subscript out of range".
    int32_t lowerBound() const;
    int32_t upperBound() const;
    const Variant& at(int32_t index) const;
    Variant& at(int32_t index);
    const VariantArray& arrayValue() const;

    bool operator==(const Variant& other) const;

private:
    std::variant<std::monostate, NullValue, bool, int16_t, int32_t, double, Currency, Date, std::string,
                 std::shared_ptr<VariantArray>>
        value_;
};

// Conversions with the automation semantics.

// Text of a value as the system writes it: numbers in their shortest form with
// "." as the decimal separator, booleans "True"/"False", Empty "", dates in
// ISO form. Null and arrays raise "Type mismatch" / "Invalid use of Null";
// a Date outside the years 100 to 9999 raises "Overflow".
std::string toText(const Variant& v);
// Number value; text must be numeric. Raises "Type mismatch" otherwise.
double toDouble(const Variant& v);
// 32-bit integer rounded to the nearest, halves to even; "Overflow" outside the range.
int32_t toLong(const Variant& v);
// Same rounding for a plain number.
int32_t roundToLong(double value);
// Boolean: numbers are True when non-zero; "True"/"False" text accepted.
bool toBoolean(const Variant& v);
// Whether the value is or reads as a number (empty text is not).
bool isNumeric(const Variant& v);
// Parses text as a number the way the numeric test accepts it.
bool parseNumber(const std::string& text, double& out);

// Rounds to the nearest whole number, halves to even.
double roundHalfEven(double value);

}  // namespace kbx
