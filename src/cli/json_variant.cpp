#include "cli/json_variant.h"

#include <QJsonArray>
#include <QJsonObject>

#include <vector>

#include "cli/byte_text.h"
#include "cli/json_reader.h"
#include "value/runtime_error.h"

namespace kbx::cli {

namespace {

constexpr int kMaxNesting = 32;

Variant taggedFromJson(const QJsonObject& object) {
    const QJsonValue payload = object.value("value");
    return variantFromJsonTag(object.value("$type").toString().toStdString(), static_cast<size_t>(object.size()),
                              payload.isDouble() ? std::optional<double>(payload.toDouble()) : std::nullopt);
}

Variant fromJson(const QJsonValue& value, int depth) {
    if (depth > kMaxNesting) raise(err::TypeMismatch, "Type mismatch: arrays nested too deeply");
    switch (value.type()) {
    case QJsonValue::Null: return Variant::null();
    case QJsonValue::Bool: return Variant(value.toBool());
    case QJsonValue::Double: return variantFromJsonNumber(value.toDouble());
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
