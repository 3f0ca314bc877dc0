#pragma once
// Date serials of the two date systems. The 1900 system counts a 29 February
// 1900 that never was (serial 60), as the program it follows does; the 1904
// system counts days from 1 January 1904.

#include <optional>
#include <string_view>

namespace kbx::formula {

// The serial of a civil date; month and day may run over or under their range
// (month 13 is January of the next year, day 0 the last day of the month
// before). nullopt before the system's first day or after 9999-12-31.
std::optional<double> serialFromDate(long long year, long long month, long long day, bool date1904);

// Year, month and day of a serial (whole days); nullopt outside 0 … 2958465.
struct YearMonthDay {
    int year, month, day;
};
std::optional<YearMonthDay> dateOfSerial(double serial, bool date1904);

// Days in a month of the proleptic calendar (February 1900 has 28).
int daysInMonth(long long year, int month);

// Days since 1 March of year 0 of the proleptic calendar, for day arithmetic.
long long civilDayNumber(long long year, int month, int day);

// Reads a date and/or time as typed into a cell ("2024-03-01", "3/1/2024",
// "1-Mar-2024", "March 1, 2024", "10:30", "10:30:15 PM", "2024-03-01 10:30")
// as a serial; nullopt for anything else.
std::optional<double> parseDateTimeText(std::string_view text, bool date1904);

}  // namespace kbx::formula
