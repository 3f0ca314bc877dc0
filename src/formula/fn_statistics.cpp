// Counting and statistics: COUNT…, AVERAGE, MIN, MAX, MEDIAN, LARGE, SMALL,
// RANK, the standard deviations and variances, SUBTOTAL.

#include <algorithm>
#include <cmath>

#include "formula/functions.h"

namespace kbx::formula {

namespace {

Value checked(double n) { return std::isfinite(n) ? Value(n) : Value(ErrorCode::Num); }

Value count(Context& c, Arguments& a) {
    double n = 0;
    for (const Value& argument : a) {
        forEachItem(c, argument, [&](const CellView& item, bool direct) {
            if (item.kind == CellView::Kind::Number) ++n;
            else if (direct && item.kind == CellView::Kind::Boolean) ++n;
            else if (direct && item.kind == CellView::Kind::Text && toNumber(Value(std::string(item.text))).index() == 0) ++n;
        });
    }
    return n;
}

Value countA(Context& c, Arguments& a) {
    double n = 0;
    for (const Value& argument : a) {
        forEachItem(c, argument, [&](const CellView& item, bool direct) {
            if (item.kind != CellView::Kind::Blank || direct) ++n;
        });
    }
    return n;
}

Value countBlank(Context& c, Arguments& a) {
    const Area& area = singleArea(a[0]);
    double filled = 0;
    c.forEachCell(area, [&](int32_t, int32_t, const CellView& item) {
        if (item.kind != CellView::Kind::Blank && !(item.kind == CellView::Kind::Text && item.text.empty())) ++filled;
        return true;
    });
    return double(area.rows() * area.columns()) - filled;
}

Value average(Context& c, Arguments& a) {
    const std::vector<double> numbers = collectNumbers(c, a);
    if (numbers.empty()) return ErrorCode::Div0;
    double total = 0;
    for (const double n : numbers) total += n;
    return checked(total / double(numbers.size()));
}

Value minimum(Context& c, Arguments& a) {
    const std::vector<double> numbers = collectNumbers(c, a);
    return numbers.empty() ? 0.0 : *std::min_element(numbers.begin(), numbers.end());
}

Value maximum(Context& c, Arguments& a) {
    const std::vector<double> numbers = collectNumbers(c, a);
    return numbers.empty() ? 0.0 : *std::max_element(numbers.begin(), numbers.end());
}

Value median(Context& c, Arguments& a) {
    std::vector<double> numbers = collectNumbers(c, a);
    if (numbers.empty()) return ErrorCode::Num;
    std::sort(numbers.begin(), numbers.end());
    const size_t half = numbers.size() / 2;
    return numbers.size() % 2 ? numbers[half] : (numbers[half - 1] + numbers[half]) / 2;
}

Value kth(Context& c, Arguments& a, bool largest) {
    std::vector<double> numbers = collectNumbers(c, std::span<const Value>(&a[0], 1));
    const double k = std::ceil(asNumber(a[1]));
    if (k < 1 || k > double(numbers.size())) return ErrorCode::Num;
    std::sort(numbers.begin(), numbers.end());
    return largest ? numbers[numbers.size() - size_t(k)] : numbers[size_t(k) - 1];
}
Value large(Context& c, Arguments& a) { return kth(c, a, true); }
Value small(Context& c, Arguments& a) { return kth(c, a, false); }

Value rank(Context& c, Arguments& a) {
    const double x = asNumber(a[0]);
    if (!a[1].isReference()) return ErrorCode::Value;
    const bool ascending = a.size() > 2 && asNumber(a[2]) != 0;
    const std::vector<double> numbers = collectNumbers(c, std::span<const Value>(&a[1], 1));
    double before = 0;
    bool found = false;
    for (const double n : numbers) {
        found = found || n == x;
        if (ascending ? n < x : n > x) ++before;
    }
    return found ? Value(before + 1) : Value(ErrorCode::NA);
}

// Variance of the numbers, of a sample (n − 1) or of the population (n).
Value variance(const std::vector<double>& numbers, bool sample) {
    const size_t n = numbers.size();
    if (n < (sample ? 2u : 1u)) return ErrorCode::Div0;
    double mean = 0;
    for (const double x : numbers) mean += x;
    mean /= double(n);
    double squares = 0;
    for (const double x : numbers) squares += (x - mean) * (x - mean);
    return squares / double(sample ? n - 1 : n);
}
Value deviation(const std::vector<double>& numbers, bool sample) {
    const Value v = variance(numbers, sample);
    return v.isNumber() ? Value(std::sqrt(v.number())) : v;
}
Value stdev(Context& c, Arguments& a) { return deviation(collectNumbers(c, a), true); }
Value stdevp(Context& c, Arguments& a) { return deviation(collectNumbers(c, a), false); }
Value var(Context& c, Arguments& a) { return variance(collectNumbers(c, a), true); }
Value varp(Context& c, Arguments& a) { return variance(collectNumbers(c, a), false); }

// SUBTOTAL leaves out cells that hold SUBTOTAL themselves and, for 101 … 111,
// rows that are hidden.
Value subtotal(Context& c, Arguments& a) {
    const int64_t code = asInteger(a[0]);
    const int64_t kind = code > 100 ? code - 100 : code;
    if (kind < 1 || kind > 11 || (code > 11 && code < 101)) return ErrorCode::Value;
    Arguments kept;
    for (size_t i = 1; i < a.size(); ++i) {
        if (!a[i].isReference()) return ErrorCode::Value;
        std::vector<Value> cells;
        for (const Area& area : a[i].reference()) {
            c.forEachCell(area, [&](int32_t row, int32_t column, const CellView& cell) {
                if ((code <= 100 || !c.rowHidden(area.sheet, row)) && !c.holdsSubtotal(area.sheet, row, column)) {
                    cells.push_back(toValue(cell));
                }
                return true;
            });
        }
        kept.emplace_back(makeArray(1, int32_t(cells.size()), std::move(cells)));
    }
    static const FunctionImpl kImpl[] = {average, count, countA, maximum, minimum, nullptr, stdev, stdevp, nullptr, var, varp};
    if (kind == 6 || kind == 9) {
        const std::vector<double> numbers = collectNumbers(c, kept);
        double result = kind == 6 ? (numbers.empty() ? 0 : 1) : 0;
        for (const double n : numbers) result = kind == 6 ? result * n : result + n;
        return checked(result);
    }
    return kImpl[kind - 1](c, kept);
}

const FunctionInfo kFunctions[] = {
    {"COUNT", 1, 255, "R", 0, count},
    {"COUNTA", 1, 255, "R", 0, countA},
    {"COUNTBLANK", 1, 1, "R", 0, countBlank},
    {"AVERAGE", 1, 255, "R", 0, average},
    {"MIN", 1, 255, "R", 0, minimum},
    {"MAX", 1, 255, "R", 0, maximum},
    {"MEDIAN", 1, 255, "R", 0, median},
    {"LARGE", 2, 2, "RV", 0, large},
    {"SMALL", 2, 2, "RV", 0, small},
    {"RANK", 2, 3, "VRV", 0, rank},
    {"STDEV", 1, 255, "R", 0, stdev},
    {"STDEVP", 1, 255, "R", 0, stdevp},
    {"VAR", 1, 255, "R", 0, var},
    {"VARP", 1, 255, "R", 0, varp},
    {"SUBTOTAL", 2, 255, "VR", 0, subtotal},
};

}  // namespace

std::span<const FunctionInfo> statisticsFunctions() { return kFunctions; }

}  // namespace kbx::formula
