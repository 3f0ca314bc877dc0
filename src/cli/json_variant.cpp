#include "cli/json_variant.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>
#include <limits>
#include <vector>

#include "cli/byte_text.h"
#include "value/runtime_error.h"

namespace kbx::cli {

namespace {

constexpr int kMaxNesting = 32;
constexpr const char* kDateOverflow = "Overflow: a Date must lie between the years 100 and 9999";

Variant numberFromJson(double number) {
    if (std::floor(number) == number && number >= std::numeric_limits<int32_t>::min() &&
        number <= std::numeric_limits<int32_t>::max())
        return Variant(static_cast<int32_t>(number));
    return Variant(number);
}

Variant taggedFromJson(const QJsonObject& object) {
    const QString type = object.value("$type").toString();
    const QJsonValue payload = object.value("value");
    if (type == "Empty" && object.size() == 1) return Variant();
    if (type == "Null" && object.size() == 1) return Variant::null();
    if (type == "Date" && payload.isDouble()) {
        if (!isValidDateSerial(payload.toDouble())) raise(err::Overflow, kDateOverflow);
        return Variant(Date{payload.toDouble()});
    }
    if (type == "Currency" && payload.isDouble()) {
        const double scaled = std::round(payload.toDouble() * 10000.0);
        if (std::fabs(scaled) > 9.2e18) raise(err::Overflow);
        return Variant(Currency{static_cast<int64_t>(scaled)});
    }
    raise(err::TypeMismatch, "Type mismatch: a JSON object is not a Variant unless it is a {\"$type\": ...} tag");
}

Variant fromJson(const QJsonValue& value, int depth) {
    if (depth > kMaxNesting) raise(err::TypeMismatch, "Type mismatch: arrays nested too deeply");
    switch (value.type()) {
    case QJsonValue::Null: return Variant::null();
    case QJsonValue::Bool: return Variant(value.toBool());
    case QJsonValue::Double: return numberFromJson(value.toDouble());
    case QJsonValue::String: return Variant(bytesFromText(value.toString()));
    case QJsonValue::Array: {
        std::vector<Variant> elements;
        for (const QJsonValue& element : value.toArray()) elements.push_back(fromJson(element, depth + 1));
        return Variant::array(std::move(elements));
    }
    case QJsonValue::Object: return taggedFromJson(value.toObject());
    case QJsonValue::Undefined: break;
    }
    return Variant();
}

QJsonObject tag(const char* type) { return QJsonObject{{"$type", type}}; }

}  // namespace

Variant variantFromJson(const QJsonValue& value) { return fromJson(value, 0); }

QJsonValue variantToJson(const Variant& value) {
    switch (value.type()) {
    case VarType::Empty: return tag("Empty");
    case VarType::Null: return QJsonValue::Null;
    case VarType::Boolean: return value.asBoolean();
    case VarType::Integer: return value.asInteger();
    case VarType::Long: return value.asLong();
    case VarType::Double: return value.asDouble();
    case VarType::Currency: {
        QJsonObject object = tag("Currency");
        object["value"] = static_cast<double>(value.asCurrency().scaled) / 10000.0;
        return object;
    }
    case VarType::Date: {
        QJsonObject object = tag("Date");
        object["value"] = value.asDate().serial;
        return object;
    }
    case VarType::String: return textFromBytes(value.asString());
    case VarType::Array: {
        QJsonArray array;
        for (const Variant& element : value.arrayValue().elements) array.append(variantToJson(element));
        return array;
    }
    }
    return QJsonValue::Null;
}

}  // namespace kbx::cli
