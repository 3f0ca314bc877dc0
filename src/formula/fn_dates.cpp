// Date and time functions over serials of the workbook's date system.

#include <cmath>
#include <set>

#include "formula/dates.h"
#include "formula/functions.h"

namespace kbx::formula {

namespace {

Value serialResult(std::optional<double> serial) { return serial ? Value(*serial) : Value(ErrorCode::Num); }

// A serial argument: a number or a date text, never negative.
double serialArg(Context& c, const Value& v) {
    double n = 0;
    if (v.isText()) {
        const auto parsed = parseNumberText(v.text(), c.date1904());
        if (!parsed) fail(ErrorCode::Value);
        n = *parsed;
    } else {
        n = asNumber(v);
    }
    if (n < 0 || n >= 2958466) fail(ErrorCode::Num);
    return n;
}

YearMonthDay civil(Context& c, const Value& v) {
    const auto d = dateOfSerial(serialArg(c, v), c.date1904());
    if (!d) fail(ErrorCode::Num);
    return *d;
}

Value date(Context& c, Arguments& a) {
    double year = std::trunc(asNumber(a[0]));
    if (year < 0 || year >= 10000) return ErrorCode::Num;
    if (year < 1900) year += 1900;
    return serialResult(serialFromDate((long long)year, (long long)std::trunc(asNumber(a[1])),
                                       (long long)std::trunc(asNumber(a[2])), c.date1904()));
}

Value time(Context&, Arguments& a) {
    const double h = std::trunc(asNumber(a[0])), m = std::trunc(asNumber(a[1])), s = std::trunc(asNumber(a[2]));
    if (h > 32767 || m > 32767 || s > 32767) return ErrorCode::Num;
    const double total = h * 3600 + m * 60 + s;
    if (total < 0) return ErrorCode::Num;
    return std::fmod(total, 86400.0) / 86400.0;
}

Value today(Context& c, Arguments&) { return std::floor(c.now()); }
Value now(Context& c, Arguments&) { return c.now(); }
Value year(Context& c, Arguments& a) { return double(civil(c, a[0]).year); }
Value month(Context& c, Arguments& a) { return double(civil(c, a[0]).month); }
Value day(Context& c, Arguments& a) { return double(civil(c, a[0]).day); }

// Seconds into the day, rounded to the whole second as times are shown.
long long secondOfDay(Context& c, const Value& v) {
    const double serial = serialArg(c, v);
    const long long s = std::llround((serial - std::floor(serial)) * 86400.0);
    return s % 86400;
}
Value hour(Context& c, Arguments& a) { return double(secondOfDay(c, a[0]) / 3600); }
Value minute(Context& c, Arguments& a) { return double(secondOfDay(c, a[0]) / 60 % 60); }
Value second(Context& c, Arguments& a) { return double(secondOfDay(c, a[0]) % 60); }

// Day of the week of a serial, 0 for Sunday. The 1900 system counts its
// phantom 29 February, so serial 1 is a Sunday there.
int weekdayOf(Context& c, double serial) {
    const long long days = (long long)std::floor(serial) + (c.date1904() ? 1462 : 0);
    return int(((days + 6) % 7 + 7) % 7);
}

// The first day of the week for a return type, 0 for Sunday, or -1.
int weekStart(int64_t type) {
    if (type == 1 || type == 17) return 0;
    if (type == 2 || type == 11) return 1;
    if (type >= 12 && type <= 16) return int(type - 10);
    return -1;
}

Value weekday(Context& c, Arguments& a) {
    const int wd = weekdayOf(c, serialArg(c, a[0]));
    const int64_t type = a.size() > 1 ? asInteger(a[1]) : 1;
    if (type == 3) return double((wd + 6) % 7);
    const int start = weekStart(type);
    if (start < 0) return ErrorCode::Num;
    return double((wd - start + 7) % 7 + 1);
}

int isoWeek(Context& c, double serial) {
    const YearMonthDay d = *dateOfSerial(serial, c.date1904());
    const int wd = (weekdayOf(c, serial) + 6) % 7;  // Monday 0
    const double thursday = std::floor(serial) - wd + 3;
    const auto t = dateOfSerial(thursday, c.date1904());
    const int year = t ? t->year : d.year;
    const double jan1 = *serialFromDate(year, 1, 1, c.date1904());
    return int((thursday - jan1) / 7) + 1;
}

Value weekNum(Context& c, Arguments& a) {
    const double serial = std::floor(serialArg(c, a[0]));
    const int64_t type = a.size() > 1 ? asInteger(a[1]) : 1;
    if (type == 21) return double(isoWeek(c, serial));
    const int start = weekStart(type);
    if (start < 0) return ErrorCode::Num;
    const YearMonthDay d = *dateOfSerial(serial, c.date1904());
    const auto jan1 = serialFromDate(d.year, 1, 1, c.date1904());
    if (!jan1) return ErrorCode::Num;
    const int offset = (weekdayOf(c, *jan1) - start + 7) % 7;
    return std::floor((serial - *jan1 + offset) / 7) + 1;
}

Value isoWeekNum(Context& c, Arguments& a) { return double(isoWeek(c, std::floor(serialArg(c, a[0])))); }

Value monthsLater(Context& c, Arguments& a, bool endOfMonth) {
    const YearMonthDay d = civil(c, a[0]);
    const long long months = (long long)std::trunc(asNumber(a[1]));
    long long m = d.month - 1 + months;
    const long long y = d.year + (m >= 0 ? m / 12 : -((11 - m) / 12));
    m = (m % 12 + 12) % 12 + 1;
    if (y < 1900 || y > 9999) return ErrorCode::Num;
    const int last = daysInMonth(y, int(m));
    const int dayOfMonth = endOfMonth ? last : std::min(std::max(d.day, 1), last);
    return serialResult(serialFromDate(y, m, dayOfMonth, c.date1904()));
}
Value edate(Context& c, Arguments& a) { return monthsLater(c, a, false); }
Value eomonth(Context& c, Arguments& a) { return monthsLater(c, a, true); }

Value datedif(Context& c, Arguments& a) {
    const double s = std::floor(serialArg(c, a[0])), e = std::floor(serialArg(c, a[1]));
    if (s > e) return ErrorCode::Num;
    const YearMonthDay from = civil(c, Value(s)), to = civil(c, Value(e));
    std::string unit = asText(a[2]);
    for (char& ch : unit) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    long long months = (to.year - from.year) * 12LL + (to.month - from.month);
    if (to.day < from.day) --months;
    if (unit == "D") return e - s;
    if (unit == "M") return double(months);
    if (unit == "Y") return double(months / 12);
    if (unit == "YM") return double(months % 12);
    if (unit == "MD") {
        if (to.day >= from.day) return double(to.day - from.day);
        const int prevMonth = to.month == 1 ? 12 : to.month - 1;
        const int prevYear = to.month == 1 ? to.year - 1 : to.year;
        return double(daysInMonth(prevYear, prevMonth) - from.day + to.day);
    }
    if (unit == "YD") {
        const long long y = (to.month > from.month || (to.month == from.month && to.day >= from.day)) ? to.year : to.year - 1;
        const auto anniversary = serialFromDate(y, from.month, from.day, c.date1904());
        return anniversary ? Value(e - *anniversary) : Value(ErrorCode::Num);
    }
    return ErrorCode::Num;
}

Value days(Context& c, Arguments& a) { return std::floor(serialArg(c, a[0])) - std::floor(serialArg(c, a[1])); }

std::set<double> holidays(Context& c, Arguments& a, size_t index) {
    std::set<double> out;
    if (index >= a.size()) return out;
    forEachItem(c, a[index], [&](const CellView& item, bool) {
        if (item.kind == CellView::Kind::Error) fail(item.error);
        if (item.kind == CellView::Kind::Blank) return;
        out.insert(std::floor(serialArg(c, toValue(item))));
    });
    return out;
}

bool workday(Context& c, double serial, const std::set<double>& off) {
    const int wd = weekdayOf(c, serial);
    return wd != 0 && wd != 6 && !off.contains(serial);
}

Value networkDays(Context& c, Arguments& a) {
    double s = std::floor(serialArg(c, scalarOf(c, a[0]))), e = std::floor(serialArg(c, scalarOf(c, a[1])));
    const std::set<double> off = holidays(c, a, 2);
    const double sign = s > e ? -1 : 1;
    if (s > e) std::swap(s, e);
    const double whole = std::floor((e - s + 1) / 7);
    double count = whole * 5;
    for (double d = s + whole * 7; d <= e; ++d) count += workday(c, d, {}) ? 1 : 0;
    for (const double h : off) count -= (h >= s && h <= e && workday(c, h, {})) ? 1 : 0;
    return sign * count;
}

Value workdayFn(Context& c, Arguments& a) {
    double d = std::floor(serialArg(c, scalarOf(c, a[0])));
    const double n = std::trunc(asNumber(scalarOf(c, a[1])));
    const std::set<double> off = holidays(c, a, 2);
    if (std::fabs(n) > 1e6) return ErrorCode::Num;
    const double step = n < 0 ? -1 : 1;
    for (double left = std::fabs(n); left > 0;) {
        d += step;
        if (d < 0 || d >= 2958466) return ErrorCode::Num;
        if (workday(c, d, off)) --left;
    }
    return d;
}

Value dateValue(Context& c, Arguments& a) {
    if (!a[0].isText()) return ErrorCode::Value;
    const auto n = parseDateTimeText(a[0].text(), c.date1904());
    return n && *n >= 1 ? Value(std::floor(*n)) : Value(ErrorCode::Value);
}

Value timeValue(Context& c, Arguments& a) {
    if (!a[0].isText()) return ErrorCode::Value;
    const auto n = parseDateTimeText(a[0].text(), c.date1904());
    return n ? Value(*n - std::floor(*n)) : Value(ErrorCode::Value);
}

const FunctionInfo kFunctions[] = {
    {"DATE", 3, 3, "V", 0, date},
    {"TIME", 3, 3, "V", 0, time},
    {"TODAY", 0, 0, "V", kVolatile, today},
    {"NOW", 0, 0, "V", kVolatile, now},
    {"YEAR", 1, 1, "V", 0, year},
    {"MONTH", 1, 1, "V", 0, month},
    {"DAY", 1, 1, "V", 0, day},
    {"HOUR", 1, 1, "V", 0, hour},
    {"MINUTE", 1, 1, "V", 0, minute},
    {"SECOND", 1, 1, "V", 0, second},
    {"WEEKDAY", 1, 2, "V", 0, weekday},
    {"WEEKNUM", 1, 2, "V", 0, weekNum},
    {"ISOWEEKNUM", 1, 1, "V", 0, isoWeekNum},
    {"EDATE", 2, 2, "V", 0, edate},
    {"EOMONTH", 2, 2, "V", 0, eomonth},
    {"DATEDIF", 3, 3, "V", 0, datedif},
    {"DAYS", 2, 2, "V", 0, days},
    {"NETWORKDAYS", 2, 3, "R", 0, networkDays},
    {"WORKDAY", 2, 3, "R", 0, workdayFn},
    {"DATEVALUE", 1, 1, "V", 0, dateValue},
    {"TIMEVALUE", 1, 1, "V", 0, timeValue},
};

}  // namespace

std::span<const FunctionInfo> dateFunctions() { return kFunctions; }

}  // namespace kbx::formula
