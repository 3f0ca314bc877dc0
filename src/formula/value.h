#pragma once
// The values a formula computes with: number, text, boolean, the seven
// errors, blank, references to cell areas (a union is several areas) and
// arrays, with the spreadsheet program's coercions and comparison order.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kbx::formula {

// The error values, numbered as ERROR.TYPE numbers them.
enum class ErrorCode : uint8_t { Null = 1, Div0 = 2, Value = 3, Ref = 4, Name = 5, Num = 6, NA = 7 };

// "#DIV/0!" for Div0 and so on.
const char* errorText(ErrorCode code);
// The error a text such as "#N/A" names (case-insensitive).
std::optional<ErrorCode> errorFromText(std::string_view text);

// A rectangle of cells of one sheet, rows and columns counted from 1.
struct Area {
    int32_t sheet = 0;
    int32_t row1 = 1, column1 = 1, row2 = 1, column2 = 1;
    int64_t rows() const { return int64_t{row2} - row1 + 1; }
    int64_t columns() const { return int64_t{column2} - column1 + 1; }
    bool contains(int32_t s, int32_t row, int32_t column) const {
        return s == sheet && row >= row1 && row <= row2 && column >= column1 && column <= column2;
    }
    bool operator==(const Area&) const = default;
};

// A reference: one area or, for a union, several.
using Reference = std::vector<Area>;

struct Array;
struct Blank {
    bool operator==(const Blank&) const = default;
};

// One value. Arrays are shared, so copying a value never copies cells.
class Value {
public:
    Value() = default;
    Value(double number) : data_(number) {}
    Value(bool boolean) : data_(boolean) {}
    Value(ErrorCode error) : data_(error) {}
    Value(std::string text) : data_(std::move(text)) {}
    Value(const char* text) : data_(std::string(text)) {}
    Value(Reference reference) : data_(std::move(reference)) {}
    Value(std::shared_ptr<const Array> array) : data_(std::move(array)) {}

    bool isBlank() const { return std::holds_alternative<Blank>(data_); }
    bool isNumber() const { return std::holds_alternative<double>(data_); }
    bool isText() const { return std::holds_alternative<std::string>(data_); }
    bool isBoolean() const { return std::holds_alternative<bool>(data_); }
    bool isError() const { return std::holds_alternative<ErrorCode>(data_); }
    bool isReference() const { return std::holds_alternative<Reference>(data_); }
    bool isArray() const { return std::holds_alternative<std::shared_ptr<const Array>>(data_); }

    double number() const { return std::get<double>(data_); }
    bool boolean() const { return std::get<bool>(data_); }
    ErrorCode error() const { return std::get<ErrorCode>(data_); }
    const std::string& text() const { return std::get<std::string>(data_); }
    const Reference& reference() const { return std::get<Reference>(data_); }
    const Array& array() const { return *std::get<std::shared_ptr<const Array>>(data_); }
    const std::shared_ptr<const Array>& arrayPointer() const { return std::get<std::shared_ptr<const Array>>(data_); }

    bool operator==(const Value& other) const;

private:
    std::variant<Blank, double, std::string, bool, ErrorCode, Reference, std::shared_ptr<const Array>> data_;
};

// A rectangle of plain values (no references), row by row.
struct Array {
    int32_t rows = 0, columns = 0;
    std::vector<Value> cells;
    const Value& at(int32_t row, int32_t column) const { return cells[size_t(row) * size_t(columns) + size_t(column)]; }
};
std::shared_ptr<const Array> makeArray(int32_t rows, int32_t columns, std::vector<Value> cells);

// A cell's content as the workbook holds it, without a copy of its text; the
// text is valid until the workbook changes.
struct CellView {
    enum class Kind : uint8_t { Blank, Number, Text, Boolean, Error } kind = Kind::Blank;
    double number = 0;
    std::string_view text;
    ErrorCode error = ErrorCode::NA;
    // The cell holds a formula (its value here is the stored one).
    bool formula = false;
};
Value toValue(const CellView& cell);
// A view of a value (its text, if any, stays the value's).
CellView viewOf(const Value& value);

// The coercions of the value rules. Each returns the error to pass on when the
// value cannot be converted; none of them accepts a reference or an array.
std::variant<double, ErrorCode> toNumber(const Value& value);
std::variant<std::string, ErrorCode> toText(const Value& value);
std::variant<bool, ErrorCode> toBoolean(const Value& value);
// A number as a formula turns it into text: up to 15 significant digits.
std::string numberText(double number);
// Reads text as a number the way "12" + 1 does ("1,234.5", "12%", "1e3",
// "$5", dates and times such as "2024-03-01" or "10:30"); nullopt otherwise.
std::optional<double> parseNumberText(std::string_view text, bool date1904);

// Ordering of the comparison operators: numbers < text < booleans, text
// without regard to case, blank as 0, "" or FALSE against the other side.
// Returns <0, 0, >0. Errors are never passed in.
int compareValues(const Value& a, const Value& b);

// Whether two numbers are equal but for the last bits of their precision
// (0.1 + 0.2 against 0.3), as comparisons and sums treat them.
bool nearlyEqual(double a, double b);

// Text equality and ordering without regard to case (UTF-8).
int compareTextIgnoringCase(std::string_view a, std::string_view b);

}  // namespace kbx::formula
