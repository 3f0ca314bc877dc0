#include "value/variant_tag.h"

#include <cmath>

#include "value/runtime_error.h"

namespace kbx {

namespace {

// The largest Currency amount times 10,000, a little inside the int64 range.
constexpr double kMaxScaledCurrency = 9.2e18;

Variant checkedDate(double serial) {
    if (!std::isfinite(serial))
        raise(err::TypeMismatch, "Type mismatch: a date that is not a finite number cannot be passed as a Variant");
    if (!isValidDateSerial(serial)) raise(err::Overflow, "Overflow: a Date must lie between the years 100 and 9999");
    return Variant(Date{serial});
}

Variant currencyOfAmount(double amount) {
    const double scaled = std::round(amount * 10000.0);
    if (!(std::fabs(scaled) <= kMaxScaledCurrency)) raise(err::Overflow);
    return Variant(Currency{static_cast<int64_t>(scaled)});
}

}  // namespace

std::optional<Variant> variantFromTag(std::string_view name, const TagPayload& payload, CurrencyForm currency) {
    using Kind = TagPayload::Kind;
    if (name == "Empty" && payload.kind == Kind::None) return Variant();
    if (name == "Null" && payload.kind == Kind::None) return Variant::null();
    if (name == "Date" && payload.kind == Kind::Double) return checkedDate(payload.real);
    if (name == "Currency" && currency == CurrencyForm::Amount && payload.kind == Kind::Double)
        return currencyOfAmount(payload.real);
    if (name == "Currency" && currency == CurrencyForm::Scaled && payload.kind == Kind::Int64)
        return Variant(Currency{payload.whole});
    return std::nullopt;
}

}  // namespace kbx
