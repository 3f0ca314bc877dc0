#pragma once
// The calendar of Date serials: the proleptic Gregorian day of a whole
// number of days since 30 December 1899 (serial 0).

#include <cstdint>

namespace kbx {

struct CivilDate {
    int year = 1899;
    int month = 12;
    int day = 30;
    int weekday = 6;  // 0 for Sunday up to 6 for Saturday
};

// The calendar day `days` days after 30 December 1899 (before it when negative).
CivilDate civilDateOfDay(int64_t days);

}  // namespace kbx
