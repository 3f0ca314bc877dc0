#include "formula/numeric.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kbx::formula {

double roundDecimal(double x, int digits, RoundMode mode) {
    if (x == 0 || !std::isfinite(x)) return x;
    if (digits > 15 + 308) return x;
    // The 15 significant digits of x: d.dddddddddddddd e exponent.
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(x));
    std::string mantissa;
    mantissa += buffer[0];
    mantissa.append(buffer + 2, 14);
    const int exponent = std::atoi(buffer + 17);
    // Digits kept: those left of the rounding position.
    const int keep = exponent + 1 + digits;
    if (keep >= 15) return x;
    if (keep < 0) return 0;
    const std::string kept = mantissa.substr(0, size_t(keep));
    const std::string rest = mantissa.substr(size_t(keep));
    bool up = false;
    if (mode == RoundMode::HalfAwayFromZero) up = rest[0] >= '5';
    else if (mode == RoundMode::AwayFromZero) up = rest.find_first_not_of('0') != std::string::npos;
    double value = kept.empty() ? 0 : std::strtod(kept.c_str(), nullptr);
    if (up) value += 1;
    // value * 10^(exponent + 1 - keep), done as a division when the power is
    // negative so that 0.3 stays the double nearest to 0.3.
    const int power = exponent + 1 - keep;
    const double scaled = power >= 0 ? value * std::pow(10.0, power) : value / std::pow(10.0, -power);
    return x < 0 ? -scaled : scaled;
}

double snapToWhole(double q) {
    const double nearest = std::round(q);
    if (std::fabs(q - nearest) <= 1e-12 * std::max(1.0, std::fabs(q))) return nearest;
    return q;
}

}  // namespace kbx::formula
