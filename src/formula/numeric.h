#pragma once
// Decimal rounding as the program rounds: on the 15 significant digits a
// number shows, so that ROUND(2.675, 2) is 2.68 although 2.675 is stored as
// 2.67499999….

namespace kbx::formula {

enum class RoundMode { HalfAwayFromZero, AwayFromZero, TowardZero };

// x rounded to `digits` decimals (negative digits round left of the point).
double roundDecimal(double x, int digits, RoundMode mode);

// q rounded to the nearest whole number when it is within 15 significant
// digits of one, so that 0.3 / 0.1 counts as 3.
double snapToWhole(double q);

}  // namespace kbx::formula
