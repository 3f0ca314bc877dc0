#include "value/variant.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "value/civil_date.h"
#include "value/runtime_error.h"

namespace kbx {

int32_t VariantArray::upperBound() const { return lowerBound + static_cast<int32_t>(elements.size()) - 1; }

Variant Variant::array(std::vector<Variant> elements, int32_t lowerBound) {
    Variant v;
    auto arr = std::make_shared<VariantArray>();
    arr->lowerBound = lowerBound;
    arr->elements = std::move(elements);
    v.value_ = std::move(arr);
    return v;
}

bool Variant::isNumber() const {
    switch (type()) {
    case VarType::Boolean:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Double:
    case VarType::Currency:
    case VarType::Date: return true;
    default: return false;
    }
}

const VariantArray& Variant::arrayValue() const {
    if (!isArray()) raise(err::TypeMismatch);
    return *std::get<std::shared_ptr<VariantArray>>(value_);
}

int32_t Variant::lowerBound() const { return arrayValue().lowerBound; }

int32_t Variant::upperBound() const { return arrayValue().upperBound(); }

const Variant& Variant::at(int32_t index) const {
    const VariantArray& arr = arrayValue();
    int64_t offset = static_cast<int64_t>(index) - arr.lowerBound;
    if (offset < 0 || offset >= static_cast<int64_t>(arr.elements.size())) raise(err::SubscriptOutOfRange);
    return arr.elements[static_cast<size_t>(offset)];
}

Variant& Variant::at(int32_t index) {
    return const_cast<Variant&>(static_cast<const Variant&>(*this).at(index));
}

bool Variant::operator==(const Variant& other) const {
    if (isArray() && other.isArray()) {
        const VariantArray& a = arrayValue();
        const VariantArray& b = other.arrayValue();
        return a.lowerBound == b.lowerBound && a.elements == b.elements;
    }
    return value_ == other.value_;
}

double roundHalfEven(double value) { return std::nearbyint(value); }

int32_t roundToLong(double value) {
    if (std::isnan(value)) raise(err::Overflow);
    double r = roundHalfEven(value);
    if (r < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
        r > static_cast<double>(std::numeric_limits<int32_t>::max()))
        raise(err::Overflow);
    return static_cast<int32_t>(r);
}

namespace {

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// Shortest decimal text that reads back as the same double, at most 15
// significant digits as the automation conversion writes them.
std::string formatDouble(double d) {
    if (d == 0) return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", d);
    std::string s = buf;
    size_t ePos = s.find('E');
    std::string mantissa = ePos == std::string::npos ? s : s.substr(0, ePos);
    std::string exponent = ePos == std::string::npos ? "" : s.substr(ePos);
    if (mantissa.find('.') != std::string::npos) {
        while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
        if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
    }
    if (!exponent.empty()) {
        // "E+05" -> "E+5"
        char sign = exponent[1];
        std::string digits = exponent.substr(2);
        while (digits.size() > 1 && digits[0] == '0') digits.erase(0, 1);
        exponent = std::string("E") + sign + digits;
    }
    return mantissa + exponent;
}

std::string formatCurrency(Currency c) {
    int64_t whole = c.scaled / 10000;
    int64_t frac = std::llabs(c.scaled % 10000);
    std::string s = (c.scaled < 0 && whole == 0 ? "-" : "") + std::to_string(whole);
    if (frac != 0) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04lld", static_cast<long long>(frac));
        std::string f = buf;
        while (!f.empty() && f.back() == '0') f.pop_back();
        s += "." + f;
    }
    return s;
}

std::string formatDate(Date date) {
    if (!isValidDateSerial(date.serial)) raise(err::Overflow);
    double serial = date.serial;
    double dayPart = std::floor(serial);
    double frac = serial - dayPart;
    int64_t seconds = static_cast<int64_t>(std::llround(frac * 86400.0));
    if (seconds >= 86400) {
        dayPart += 1;
        seconds -= 86400;
    }
    const CivilDate day = civilDateOfDay(static_cast<int64_t>(dayPart));
    char buf[64];
    if (seconds == 0) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", day.year, day.month, day.day);
    } else {
        int64_t h = seconds / 3600, mi = (seconds / 60) % 60, s = seconds % 60;
        if (dayPart == 0)
            std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(h),
                          static_cast<long long>(mi), static_cast<long long>(s));
        else
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02lld:%02lld:%02lld", day.year, day.month, day.day,
                          static_cast<long long>(h), static_cast<long long>(mi), static_cast<long long>(s));
    }
    return buf;
}

}  // namespace

bool isValidDateSerial(double serial) { return serial >= kFirstDateSerial && serial < kEndDateSerial; }

bool parseNumber(const std::string& text, double& out) {
    std::string t = trim(text);
    if (t.empty()) return false;
    // Hexadecimal and octal literals as the automation conversion reads them.
    if (t.size() > 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h' || t[1] == 'O' || t[1] == 'o')) {
        int base = (t[1] == 'H' || t[1] == 'h') ? 16 : 8;
        char* end = nullptr;
        long long v = std::strtoll(t.c_str() + 2, &end, base);
        if (end == nullptr || *end != '\0') return false;
        out = static_cast<double>(v);
        return true;
    }
    for (char c : t) {
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' ||
              c == 'E'))
            return false;
    }
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end == nullptr || *end != '\0' || std::isnan(v) || std::isinf(v)) return false;
    out = v;
    return true;
}

std::string toText(const Variant& v) {
    switch (v.type()) {
    case VarType::Empty: return "";
    case VarType::Null: raise(err::InvalidUseOfNull);
    case VarType::Boolean: return v.asBoolean() ? "True" : "False";
    case VarType::Integer: return std::to_string(v.asInteger());
    case VarType::Long: return std::to_string(v.asLong());
    case VarType::Double: return formatDouble(v.asDouble());
    case VarType::Currency: return formatCurrency(v.asCurrency());
    case VarType::Date: return formatDate(v.asDate());
    case VarType::String: return v.asString();
    case VarType::Array: raise(err::TypeMismatch);
    }
    raise(err::TypeMismatch);
}

double toDouble(const Variant& v) {
    switch (v.type()) {
    case VarType::Empty: return 0;
    case VarType::Null: raise(err::InvalidUseOfNull);
    case VarType::Boolean: return v.asBoolean() ? -1 : 0;
    case VarType::Integer: return v.asInteger();
    case VarType::Long: return v.asLong();
    case VarType::Double: return v.asDouble();
    case VarType::Currency: return static_cast<double>(v.asCurrency().scaled) / 10000.0;
    case VarType::Date: return v.asDate().serial;
    case VarType::String: {
        double d;
        if (!parseNumber(v.asString(), d)) raise(err::TypeMismatch);
        return d;
    }
    case VarType::Array: raise(err::TypeMismatch);
    }
    raise(err::TypeMismatch);
}

int32_t toLong(const Variant& v) {
    if (v.type() == VarType::Long) return v.asLong();
    if (v.type() == VarType::Integer) return v.asInteger();
    return roundToLong(toDouble(v));
}

bool toBoolean(const Variant& v) {
    if (v.type() == VarType::Boolean) return v.asBoolean();
    if (v.type() == VarType::String) {
        std::string t = trim(v.asString());
        for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (t == "true") return true;
        if (t == "false") return false;
    }
    return toDouble(v) != 0;
}

bool isNumeric(const Variant& v) {
    switch (v.type()) {
    case VarType::Empty:
    case VarType::Boolean:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Double:
    case VarType::Currency: return true;
    case VarType::String: {
        double d;
        return parseNumber(v.asString(), d);
    }
    default: return false;
    }
}

}  // namespace kbx
