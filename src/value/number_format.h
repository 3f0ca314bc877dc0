#pragma once
// Number format codes: the built-in table, date detection and the displayed
// text of a number under a format.

#include <optional>
#include <string>

namespace kbx {

// The code of a built-in number format id, or nullopt for ids without one.
std::optional<std::string> builtinNumberFormat(int id);
// The built-in id of a code, or -1.
int builtinNumberFormatId(const std::string& code);

// Whether the code shows numbers as dates or times.
bool isDateFormat(const std::string& code);

// The text a number shows under the format code (1900 date system unless date1904).
std::string formatNumber(double value, const std::string& code, bool date1904 = false);
// Excel's "General" display of a number.
std::string formatGeneral(double value);

// Calendar parts of a date serial.
struct DateParts {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, weekday = 0;
    double fractionOfSecond = 0;
};
DateParts dateFromSerial(double serial, bool date1904 = false);

}  // namespace kbx
