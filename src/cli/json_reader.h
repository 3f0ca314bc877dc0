#pragma once
// Reads a JSON object of call parameters straight into Variants, in one pass
// over the text and without an intermediate document: the values follow the
// rules of json_variant.h. A member whose value cannot become a Variant
// (an object that is no tag, arrays nested too deeply, a Date or a
// Currency out of range) keeps its run-time error, raised when that parameter is used.

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "value/runtime_error.h"
#include "value/variant.h"

namespace kbx::cli {

struct JsonParameter {
    Variant value;
    std::optional<RuntimeError> error;
};

// The text is not a JSON object; what() says why and where.
class JsonSyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The members of the object, by name (a repeated name keeps its last value).
std::map<std::string, JsonParameter> parametersFromJson(std::string_view text);

// A JSON number as a Variant: a whole number in the Long range is a Long,
// any other number a Double.
Variant variantFromJsonNumber(double number);

// The Variant of a tag object {"$type": type, "value": number}: `memberCount`
// counts all its members, `value` is set when "value" is a number. Raises 13
// "Type mismatch" for an object that is no tag, and what variantFromTag raises.
Variant variantFromJsonTag(const std::string& type, size_t memberCount, std::optional<double> value);

}  // namespace kbx::cli
