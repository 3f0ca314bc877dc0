#pragma once
// Empty, Null, Date and Currency have no value of their own in JSON or on
// D-Bus, so the command line and the bus carry them as a tag with a payload:
// ("Empty"), ("Null"), ("Date", serial), ("Currency", amount). Every reader
// of a tag decodes it here, so that all of them accept and refuse the same.

#include <cstdint>
#include <optional>
#include <string_view>

#include "value/variant.h"

namespace kbx {

// What travels beside a tag's name.
struct TagPayload {
    enum class Kind { None, Double, Int64, Other };
    Kind kind = Kind::None;
    double real = 0;    // Kind::Double
    int64_t whole = 0;  // Kind::Int64

    static TagPayload none() { return {}; }
    static TagPayload number(double value) { return {Kind::Double, value, 0}; }
    static TagPayload integer(int64_t value) { return {Kind::Int64, 0, value}; }
    static TagPayload other() { return {Kind::Other, 0, 0}; }
};

// How a transport writes a Currency: JSON as the amount (a number), the bus
// as the amount times 10,000 (a 64-bit integer).
enum class CurrencyForm { Amount, Scaled };

// The Variant a tag names; nullopt when the name and payload are none of the
// four tags (the caller raises its Type mismatch). A Date serial that is not
// a finite number raises 13 "Type mismatch"; one outside the years 100 to
// 9999 and a Currency amount out of range raise 6 "Overflow".
std::optional<Variant> variantFromTag(std::string_view name, const TagPayload& payload, CurrencyForm currency);

}  // namespace kbx
