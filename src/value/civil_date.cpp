#include "value/civil_date.h"

namespace kbx {

CivilDate civilDateOfDay(int64_t days) {
    // Days since 1 March 0000 in eras of 400 years (H. Hinnant's algorithm);
    // serial 25569 is 1 January 1970, day 719468 of that count.
    const int64_t z = days - 25569 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    CivilDate date;
    date.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    date.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    date.year = static_cast<int>(yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0));
    // Serial 0 was a Saturday.
    date.weekday = static_cast<int>(((days - 1) % 7 + 7) % 7);
    return date;
}

}  // namespace kbx
