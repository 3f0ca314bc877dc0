#include "formula/value.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "formula/dates.h"
#include "value/text_case.h"

namespace kbx::formula {

namespace {

constexpr std::array<const char*, 8> kErrorTexts = {"", "#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"};

// Rank of a value's type in comparisons: numbers, then text, then booleans.
int typeRank(const Value& v) { return v.isNumber() ? 0 : v.isText() ? 1 : 2; }

std::string_view trimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// A plain number with optional thousands separators, decimals and exponent.
std::optional<double> parsePlainNumber(std::string_view text) {
    std::string digits;
    bool seenDigit = false, seenPoint = false, seenExponent = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            seenDigit = true;
            digits += c;
        } else if (c == ',' && !seenPoint && !seenExponent && seenDigit) {
            continue;
        } else if (c == '.' && !seenPoint && !seenExponent) {
            seenPoint = true;
            digits += c;
        } else if ((c == 'e' || c == 'E') && seenDigit && !seenExponent) {
            seenExponent = true;
            digits += 'e';
            if (i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-')) digits += text[++i];
            if (i + 1 >= text.size()) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (!seenDigit) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(digits.c_str(), &end);
    if (end != digits.c_str() + digits.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

const char* errorText(ErrorCode code) { return kErrorTexts[static_cast<size_t>(code)]; }

std::optional<ErrorCode> errorFromText(std::string_view text) {
    for (size_t i = 1; i < kErrorTexts.size(); ++i) {
        if (equalIgnoringCase(text, kErrorTexts[i])) return static_cast<ErrorCode>(i);
    }
    return std::nullopt;
}

bool Value::operator==(const Value& other) const {
    if (isArray() && other.isArray()) {
        const Array& a = array();
        const Array& b = other.array();
        return a.rows == b.rows && a.columns == b.columns && a.cells == b.cells;
    }
    return data_ == other.data_;
}

std::shared_ptr<const Array> makeArray(int32_t rows, int32_t columns, std::vector<Value> cells) {
    auto array = std::make_shared<Array>();
    array->rows = rows;
    array->columns = columns;
    array->cells = std::move(cells);
    return array;
}

Value toValue(const CellView& cell) {
    switch (cell.kind) {
        case CellView::Kind::Number: return Value(cell.number);
        case CellView::Kind::Text: return Value(std::string(cell.text));
        case CellView::Kind::Boolean: return Value(cell.number != 0);
        case CellView::Kind::Error: return Value(cell.error);
        case CellView::Kind::Blank: break;
    }
    return Value();
}

CellView viewOf(const Value& value) {
    CellView view;
    if (value.isNumber()) {
        view.kind = CellView::Kind::Number;
        view.number = value.number();
    } else if (value.isText()) {
        view.kind = CellView::Kind::Text;
        view.text = value.text();
    } else if (value.isBoolean()) {
        view.kind = CellView::Kind::Boolean;
        view.number = value.boolean() ? 1 : 0;
    } else if (value.isError()) {
        view.kind = CellView::Kind::Error;
        view.error = value.error();
    }
    return view;
}

std::string numberText(double number) {
    if (number == 0) return "0";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15G", number);
    std::string text = buffer;
    const size_t e = text.find('E');
    if (e == std::string::npos) return text;
    // "1.5E+020" style exponents become "1.5E+20"; small exponents are written out.
    const int exponent = std::atoi(text.c_str() + e + 1);
    if (exponent < 0 && exponent >= -9) {
        std::snprintf(buffer, sizeof buffer, "%.*f", 15 - exponent - 1, number);
        text = buffer;
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
        return text;
    }
    std::snprintf(buffer, sizeof buffer, "E%c%d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return text.substr(0, e) + buffer;
}

std::optional<double> parseNumberText(std::string_view text, bool date1904) {
    std::string_view t = trimSpaces(text);
    if (t.empty()) return std::nullopt;
    bool negative = false;
    if (t.size() >= 2 && t.front() == '(' && t.back() == ')') {
        negative = true;
        t = trimSpaces(t.substr(1, t.size() - 2));
    }
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        if (negative) return std::nullopt;  // "(-5)": parentheses already are the sign
        negative = negative != (t.front() == '-');
        t = trimSpaces(t.substr(1));
    }
    if (!t.empty() && t.front() == '$') t = trimSpaces(t.substr(1));
    double scale = 1;
    if (!t.empty() && t.back() == '%') {
        scale = 0.01;
        t = trimSpaces(t.substr(0, t.size() - 1));
    }
    if (auto plain = parsePlainNumber(t)) return (negative ? -*plain : *plain) * scale;
    if (negative || scale != 1) return std::nullopt;
    return parseDateTimeText(t, date1904);
}

std::variant<double, ErrorCode> toNumber(const Value& value) {
    if (value.isNumber()) return value.number();
    if (value.isBoolean()) return value.boolean() ? 1.0 : 0.0;
    if (value.isBlank()) return 0.0;
    if (value.isError()) return value.error();
    if (value.isText()) {
        if (auto n = parseNumberText(value.text(), false)) return *n;
    }
    return ErrorCode::Value;
}

std::variant<std::string, ErrorCode> toText(const Value& value) {
    if (value.isText()) return value.text();
    if (value.isNumber()) return numberText(value.number());
    if (value.isBoolean()) return std::string(value.boolean() ? "TRUE" : "FALSE");
    if (value.isBlank()) return std::string();
    if (value.isError()) return value.error();
    return ErrorCode::Value;
}

std::variant<bool, ErrorCode> toBoolean(const Value& value) {
    if (value.isBoolean()) return value.boolean();
    if (value.isNumber()) return value.number() != 0;
    if (value.isBlank()) return false;
    if (value.isError()) return value.error();
    if (value.isText()) {
        if (equalIgnoringCase(value.text(), "TRUE")) return true;
        if (equalIgnoringCase(value.text(), "FALSE")) return false;
    }
    return ErrorCode::Value;
}

bool nearlyEqual(double a, double b) {
    if (a == b) return true;
    if (a == 0 || b == 0 || (a < 0) != (b < 0)) return false;
    const double tolerance = std::ldexp(1.0, -48);
    const double d = std::fabs(a - b);
    return d < std::fabs(a) * tolerance && d < std::fabs(b) * tolerance;
}

int compareTextIgnoringCase(std::string_view a, std::string_view b) {
    const int c = lowerCase(a).compare(lowerCase(b));
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int compareValues(const Value& a, const Value& b) {
    if (a.isBlank() && b.isBlank()) return 0;
    if (a.isBlank()) return -compareValues(b, a);
    if (b.isBlank()) {
        if (a.isNumber()) return a.number() < 0 ? -1 : a.number() > 0 ? 1 : 0;
        if (a.isText()) return a.text().empty() ? 0 : 1;
        return a.boolean() ? 1 : 0;
    }
    const int ra = typeRank(a), rb = typeRank(b);
    if (ra != rb) return ra < rb ? -1 : 1;
    if (a.isNumber()) {
        if (nearlyEqual(a.number(), b.number())) return 0;
        return a.number() < b.number() ? -1 : 1;
    }
    if (a.isText()) return compareTextIgnoringCase(a.text(), b.text());
    return int(a.boolean()) - int(b.boolean());
}

}  // namespace kbx::formula
