// Arithmetic functions: sums and products, rounding, powers and logarithms,
// random numbers.

#include <algorithm>
#include <cmath>
#include <numbers>

#include "formula/functions.h"
#include "formula/numeric.h"

namespace kbx::formula {

namespace {

Value checked(double n) { return std::isfinite(n) ? Value(n) : Value(ErrorCode::Num); }

double number(const Arguments& a, size_t i, double fallback) {
    return i < a.size() && !a[i].isBlank() ? asNumber(a[i]) : fallback;
}

Value sum(Context& c, Arguments& a) {
    double total = 0;
    for (const double n : collectNumbers(c, a)) total += n;
    return checked(total);
}

Value product(Context& c, Arguments& a) {
    const std::vector<double> numbers = collectNumbers(c, a);
    if (numbers.empty()) return 0.0;
    double total = 1;
    for (const double n : numbers) total *= n;
    return checked(total);
}

Value sumProduct(Context& c, Arguments& a) {
    std::vector<std::shared_ptr<const Array>> arrays;
    for (const Value& v : a) {
        if (v.isError()) return v;
        arrays.push_back(arrayOf(c, v));
        if (arrays.back()->rows != arrays.front()->rows || arrays.back()->columns != arrays.front()->columns) return ErrorCode::Value;
    }
    double total = 0;
    for (size_t i = 0; i < arrays.front()->cells.size(); ++i) {
        double term = 1;
        for (const auto& array : arrays) {
            const Value& v = array->cells[i];
            if (v.isError()) return v;
            term *= v.isNumber() ? v.number() : 0;
        }
        total += term;
    }
    return checked(total);
}

int digitsArg(const Arguments& a, size_t i) {
    const double d = std::trunc(number(a, i, 0));
    return static_cast<int>(std::clamp(d, -400.0, 400.0));
}

Value roundWith(Arguments& a, RoundMode mode) { return checked(roundDecimal(asNumber(a[0]), digitsArg(a, 1), mode)); }
Value round(Context&, Arguments& a) { return roundWith(a, RoundMode::HalfAwayFromZero); }
Value roundUp(Context&, Arguments& a) { return roundWith(a, RoundMode::AwayFromZero); }
Value roundDown(Context&, Arguments& a) { return roundWith(a, RoundMode::TowardZero); }
Value trunc(Context&, Arguments& a) { return roundWith(a, RoundMode::TowardZero); }
Value integer(Context&, Arguments& a) { return checked(std::floor(asNumber(a[0]))); }

Value mround(Context&, Arguments& a) {
    const double x = asNumber(a[0]), m = asNumber(a[1]);
    if (m == 0) return 0.0;
    if ((x < 0) != (m < 0) && x != 0) return ErrorCode::Num;
    const double q = snapToWhole(x / m);
    return checked(roundDecimal(q, 0, RoundMode::HalfAwayFromZero) * m);
}

// CEILING and FLOOR: multiples of the significance, toward +∞ / −∞ for a
// negative number with a positive significance, else away from / toward zero.
Value ceilingOrFloor(Arguments& a, bool ceiling) {
    const double x = asNumber(a[0]), s = number(a, 1, 1);
    if (s == 0) return ceiling ? Value(0.0) : (x == 0 ? Value(0.0) : Value(ErrorCode::Div0));
    if (x > 0 && s < 0) return ErrorCode::Num;
    const double q = snapToWhole(x / s);
    return checked((ceiling ? std::ceil(q) : std::floor(q)) * s);
}
Value ceiling(Context&, Arguments& a) { return ceilingOrFloor(a, true); }
Value floorFn(Context&, Arguments& a) { return ceilingOrFloor(a, false); }

Value mod(Context&, Arguments& a) {
    const double x = asNumber(a[0]), d = asNumber(a[1]);
    if (d == 0) return ErrorCode::Div0;
    const double r = x - d * std::floor(x / d);
    return checked(std::fabs(r - d) < 1e-15 * std::fabs(d) ? 0 : r);
}

Value absolute(Context&, Arguments& a) { return std::fabs(asNumber(a[0])); }
Value sign(Context&, Arguments& a) {
    const double x = asNumber(a[0]);
    return x > 0 ? 1.0 : x < 0 ? -1.0 : 0.0;
}
Value squareRoot(Context&, Arguments& a) {
    const double x = asNumber(a[0]);
    return x < 0 ? Value(ErrorCode::Num) : Value(std::sqrt(x));
}
Value power(Context&, Arguments& a) {
    const double x = asNumber(a[0]), y = asNumber(a[1]);
    if (x == 0 && y == 0) return ErrorCode::Num;
    if (x == 0 && y < 0) return ErrorCode::Div0;
    return checked(std::pow(x, y));
}
Value exponential(Context&, Arguments& a) { return checked(std::exp(asNumber(a[0]))); }
Value naturalLog(Context&, Arguments& a) {
    const double x = asNumber(a[0]);
    return x <= 0 ? Value(ErrorCode::Num) : Value(std::log(x));
}
Value logarithm(Context&, Arguments& a) {
    const double x = asNumber(a[0]), base = number(a, 1, 10);
    if (x <= 0 || base <= 0) return ErrorCode::Num;
    if (base == 1) return ErrorCode::Div0;
    return checked(std::log(x) / std::log(base));
}
Value log10(Context&, Arguments& a) {
    const double x = asNumber(a[0]);
    return x <= 0 ? Value(ErrorCode::Num) : Value(std::log10(x));
}
Value pi(Context&, Arguments&) { return std::numbers::pi; }
Value rand(Context& c, Arguments&) { return c.random(); }
Value randBetween(Context& c, Arguments& a) {
    const double low = std::ceil(asNumber(a[0])), high = std::floor(asNumber(a[1]));
    if (high < low) return ErrorCode::Num;
    return low + std::floor(c.random() * (high - low + 1));
}

const FunctionInfo kFunctions[] = {
    {"SUM", 1, 255, "R", 0, sum},
    {"PRODUCT", 1, 255, "R", 0, product},
    {"SUMPRODUCT", 1, 255, "R", kArrayArgs, sumProduct},
    {"ROUND", 2, 2, "V", 0, round},
    {"ROUNDUP", 2, 2, "V", 0, roundUp},
    {"ROUNDDOWN", 2, 2, "V", 0, roundDown},
    {"TRUNC", 1, 2, "V", 0, trunc},
    {"INT", 1, 1, "V", 0, integer},
    {"MROUND", 2, 2, "V", 0, mround},
    {"CEILING", 1, 2, "V", 0, ceiling},
    {"FLOOR", 1, 2, "V", 0, floorFn},
    {"MOD", 2, 2, "V", 0, mod},
    {"ABS", 1, 1, "V", 0, absolute},
    {"SIGN", 1, 1, "V", 0, sign},
    {"SQRT", 1, 1, "V", 0, squareRoot},
    {"POWER", 2, 2, "V", 0, power},
    {"EXP", 1, 1, "V", 0, exponential},
    {"LN", 1, 1, "V", 0, naturalLog},
    {"LOG", 1, 2, "V", 0, logarithm},
    {"LOG10", 1, 1, "V", 0, log10},
    {"PI", 0, 0, "V", 0, pi},
    {"RAND", 0, 0, "V", kVolatile, rand},
    {"RANDBETWEEN", 2, 2, "V", kVolatile, randBetween},
};

}  // namespace

std::span<const FunctionInfo> mathFunctions() { return kFunctions; }

}  // namespace kbx::formula
