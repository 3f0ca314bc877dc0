#pragma once
// Variants as JSON for the command line: text, numbers (whole numbers in the
// Long range become Long, others Double), true/false, arrays, null for Null,
// and tagged objects for the rest: {"$type": "Empty"}, {"$type": "Date",
// "value": serial}, {"$type": "Currency", "value": amount}.

#include <QJsonValue>

#include "value/variant.h"

namespace kbx::cli {

// Raises 13 "Type mismatch" for objects that are not one of the tags.
Variant variantFromJson(const QJsonValue& value);
QJsonValue variantToJson(const Variant& value);

}  // namespace kbx::cli
