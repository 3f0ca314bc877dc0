#include "formula/dates.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "value/number_format.h"
#include "value/text_case.h"

namespace kbx::formula {

namespace {

bool isLeap(long long year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Day number of 1899-12-31 (serial 0 of the 1900 system) and of 1904-01-01.
const long long kEpoch1900 = civilDayNumber(1899, 12, 31);
const long long kEpoch1904 = civilDayNumber(1904, 1, 1);
const long long kLastDay = civilDayNumber(9999, 12, 31);

constexpr std::array<const char*, 12> kMonthNames = {"january", "february", "march",     "april",   "may",      "june",
                                                     "july",    "august",   "september", "october", "november", "december"};

// Splits "1-Mar-2024" or "March 1, 2024" into words and numbers.
std::vector<std::string> dateParts(std::string_view text) {
    std::vector<std::string> parts;
    std::string current;
    for (const char c : text) {
        if (c == '-' || c == '/' || c == ' ' || c == ',') {
            if (!current.empty()) parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) parts.push_back(current);
    return parts;
}

std::optional<long long> wholeNumber(const std::string& part) {
    if (part.empty() || part.size() > 4) return std::nullopt;
    for (const char c : part) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    return std::stoll(part);
}

std::optional<int> monthOfName(const std::string& part) {
    const std::string lower = lowerCase(part);
    if (lower.size() < 3) return std::nullopt;
    for (size_t i = 0; i < kMonthNames.size(); ++i) {
        if (std::string_view(kMonthNames[i]).substr(0, lower.size()) == lower) return static_cast<int>(i) + 1;
    }
    return std::nullopt;
}

long long fullYear(long long year, size_t digits) {
    if (digits > 2) return year;
    return year < 30 ? 2000 + year : 1900 + year;
}

// A calendar date without a time: year-month-day, month/day/year, day-month name-year, month name day, year.
std::optional<double> parseDate(std::string_view text, bool date1904) {
    const std::vector<std::string> p = dateParts(text);
    if (p.size() != 3) return std::nullopt;
    auto a = wholeNumber(p[0]), b = wholeNumber(p[1]), c = wholeNumber(p[2]);
    long long year = 0, month = 0, day = 0;
    if (a && b && c && p[0].size() == 4) {
        year = *a, month = *b, day = *c;
    } else if (a && b && c) {
        month = *a, day = *b, year = fullYear(*c, p[2].size());
    } else if (a && !b && c && monthOfName(p[1])) {
        day = *a, month = *monthOfName(p[1]), year = fullYear(*c, p[2].size());
    } else if (!a && b && c && monthOfName(p[0])) {
        month = *monthOfName(p[0]), day = *b, year = fullYear(*c, p[2].size());
    } else {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, static_cast<int>(month))) {
        if (!(year == 1900 && month == 2 && day == 29 && !date1904)) return std::nullopt;
    }
    return serialFromDate(year, month, day, date1904);
}

// A time of day "h:mm", "h:mm:ss" or "h:mm:ss.ff", with an optional AM or PM.
std::optional<double> parseTime(std::string_view text) {
    int hour = 0, minute = 0;
    double second = 0;
    std::string rest(text);
    int half = 0;
    const std::string lower = lowerCase(rest);
    if (lower.size() > 2 && (lower.ends_with("am") || lower.ends_with("pm"))) {
        half = lower.ends_with("am") ? 1 : 2;
        rest = rest.substr(0, rest.size() - 2);
        while (!rest.empty() && rest.back() == ' ') rest.pop_back();
    }
    int consumed = 0;
    if (std::sscanf(rest.c_str(), "%2d:%2d%n", &hour, &minute, &consumed) != 2) return std::nullopt;
    if (size_t(consumed) < rest.size()) {
        int more = 0;
        if (std::sscanf(rest.c_str() + consumed, ":%lf%n", &second, &more) != 1) return std::nullopt;
        if (size_t(consumed + more) != rest.size() || second < 0 || second >= 60) return std::nullopt;
    }
    if (minute > 59 || (half != 0 && (hour < 1 || hour > 12))) return std::nullopt;
    if (half == 1 && hour == 12) hour = 0;
    if (half == 2 && hour != 12) hour += 12;
    return (hour * 3600 + minute * 60 + second) / 86400.0;
}

}  // namespace

std::optional<double> parseDateTimeText(std::string_view text, bool date1904) {
    if (text.find(':') == std::string_view::npos) return parseDate(text, date1904);
    if (auto time = parseTime(text)) return time;
    // A date, a space and a time.
    for (size_t space = text.rfind(' '); space != std::string_view::npos && space > 0; space = text.rfind(' ', space - 1)) {
        auto date = parseDate(text.substr(0, space), date1904);
        auto time = parseTime(text.substr(space + 1));
        if (date && time) return *date + *time;
    }
    return std::nullopt;
}

long long civilDayNumber(long long year, int month, int day) {
    // Days from civil (algorithm of H. Hinnant), shifted so that March starts the year.
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yoe = year - era * 400;
    const long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

int daysInMonth(long long year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : kDays[month - 1];
}

std::optional<double> serialFromDate(long long year, long long month, long long day, bool date1904) {
    if (std::llabs(month) > 1000000 || std::llabs(day) > 100000000) return std::nullopt;
    year += (month - 1 >= 0 ? (month - 1) / 12 : -((12 - month) / 12));
    month = ((month - 1) % 12 + 12) % 12 + 1;
    if (year < 0 || year > 9999) return std::nullopt;
    const long long number = civilDayNumber(year, static_cast<int>(month), 1) + day - 1;
    if (number > kLastDay) return std::nullopt;
    if (date1904) {
        if (number < kEpoch1904) return std::nullopt;
        return static_cast<double>(number - kEpoch1904);
    }
    long long serial = 0;
    if (year == 1900) {
        // Within 1900 the system's calendar has a 29 February: serial 60.
        static const int kBefore[12] = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335};
        serial = kBefore[month - 1] + day;
    } else {
        serial = number - kEpoch1900;
        // From 1 March 1900 on, the phantom 29 February shifts every serial by one.
        if (serial >= 60) ++serial;
    }
    if (serial < 0) return std::nullopt;
    return static_cast<double>(serial);
}

std::optional<YearMonthDay> dateOfSerial(double serial, bool date1904) {
    if (!std::isfinite(serial) || serial < 0 || serial >= 2958466) return std::nullopt;
    const DateParts parts = dateFromSerial(std::floor(serial), date1904);
    if (!date1904 && std::floor(serial) == 0) return YearMonthDay{1900, 1, 0};
    return YearMonthDay{parts.year, parts.month, parts.day};
}

}  // namespace kbx::formula
