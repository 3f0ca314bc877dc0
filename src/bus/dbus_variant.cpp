#include "bus/dbus_variant.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QStringList>
#include <limits>
#include <optional>
#include <vector>

#include "bus/bus_names.h"
#include "value/variant_tag.h"

namespace kbx::bus {

using automation::ArgType;
using automation::toIntegerArg;
using automation::toLongArg;
using automation::toStringArg;

namespace {

constexpr int kMaxNesting = 32;

[[noreturn]] void typeMismatch(const QString& what) {
    raise(err::TypeMismatch, "Type mismatch: " + what.toStdString() + " cannot be passed as a Variant");
}

Variant fromWide(long long number) {
    if (number >= std::numeric_limits<int32_t>::min() && number <= std::numeric_limits<int32_t>::max())
        return Variant(static_cast<int32_t>(number));
    return Variant(static_cast<double>(number));
}

// The bus carries UTF-8 text only; other bytes (a file name that is not
// UTF-8) are refused rather than replaced.
QString busText(const std::string& bytes) {
    QString text = QString::fromStdString(bytes);
    if (text.toStdString() != bytes) {
        raise(err::InvalidCall, standardErrorText(err::InvalidCall) + ": the text '" + bytes +
                                    "' is not valid UTF-8 and cannot be passed over the bus");
    }
    return text;
}

Variant fromDBus(const QVariant& content, int depth);

// Opens an array or a structure of a received argument and ends it again
// when it goes out of scope, also when reading its members throws: a
// container left open keeps the whole received message alive, and enough of
// those stop the connection from reading further calls.
class OpenContainer {
public:
    enum Kind { Array, Structure };
    OpenContainer(const QDBusArgument& argument, Kind kind) : argument_(argument), kind_(kind) {
        if (kind_ == Array)
            argument_.beginArray();
        else
            argument_.beginStructure();
    }
    ~OpenContainer() {
        if (kind_ == Array)
            argument_.endArray();
        else
            argument_.endStructure();
    }
    OpenContainer(const OpenContainer&) = delete;
    OpenContainer& operator=(const OpenContainer&) = delete;

private:
    const QDBusArgument& argument_;
    Kind kind_;
};

Variant arrayFromDBus(const QDBusArgument& argument, int depth) {
    std::vector<Variant> elements;
    const OpenContainer array(argument, OpenContainer::Array);
    while (!argument.atEnd()) elements.push_back(fromDBus(argument.asVariant(), depth + 1));
    return Variant::array(std::move(elements));
}

Variant taggedFromDBus(const QDBusArgument& argument) {
    const OpenContainer structure(argument, OpenContainer::Structure);
    const QVariant tag = argument.atEnd() ? QVariant() : argument.asVariant();
    if (tag.metaType() != QMetaType::fromType<QString>()) typeMismatch("a structure without a type tag");
    const QString name = tag.toString();
    const QVariant payload = argument.atEnd() ? QVariant() : argument.asVariant();
    if (!argument.atEnd()) typeMismatch("a structure tagged \"" + name + "\" with extra members");
    const int payloadType = payload.metaType().id();
    const TagPayload tagPayload = !payload.isValid()                   ? TagPayload::none()
                                  : payloadType == QMetaType::Double   ? TagPayload::number(payload.toDouble())
                                  : payloadType == QMetaType::LongLong ? TagPayload::integer(payload.toLongLong())
                                                                       : TagPayload::other();
    if (std::optional<Variant> tagged = variantFromTag(name.toStdString(), tagPayload, CurrencyForm::Scaled))
        return std::move(*tagged);
    typeMismatch("a structure tagged \"" + name + "\"");
}

Variant containerFromDBus(const QDBusArgument& argument, int depth) {
    switch (argument.currentType()) {
        case QDBusArgument::ArrayType:
            return arrayFromDBus(argument, depth);
        case QDBusArgument::StructureType:
            return taggedFromDBus(argument);
        case QDBusArgument::MapType:
            typeMismatch("a dictionary");
        default:
            typeMismatch("a value of signature " + argument.currentSignature());
    }
}

Variant fromDBus(const QVariant& content, int depth) {
    if (depth > kMaxNesting) typeMismatch("a value nested this deeply");
    const QMetaType type = content.metaType();
    if (type == QMetaType::fromType<QDBusVariant>())
        return fromDBus(content.value<QDBusVariant>().variant(), depth + 1);
    if (type == QMetaType::fromType<QDBusArgument>()) return containerFromDBus(content.value<QDBusArgument>(), depth);
    if (type == QMetaType::fromType<QStringList>()) {
        std::vector<Variant> elements;
        for (const QString& text : content.toStringList()) elements.emplace_back(text.toStdString());
        return Variant::array(std::move(elements));
    }
    if (type == QMetaType::fromType<QByteArray>()) {
        std::vector<Variant> elements;
        for (char byte : content.toByteArray()) elements.emplace_back(static_cast<int16_t>(static_cast<uint8_t>(byte)));
        return Variant::array(std::move(elements));
    }
    switch (type.id()) {
        case QMetaType::Bool:
            return Variant(content.toBool());
        case QMetaType::UChar:
            return Variant(static_cast<int16_t>(content.value<uchar>()));
        case QMetaType::Short:
            return Variant(content.value<short>());
        case QMetaType::UShort:
            return Variant(static_cast<int32_t>(content.value<ushort>()));
        case QMetaType::Int:
            return Variant(content.toInt());
        case QMetaType::UInt:
            return fromWide(content.toUInt());
        case QMetaType::LongLong:
            return fromWide(content.toLongLong());
        case QMetaType::ULongLong: {
            const qulonglong number = content.toULongLong();
            return number <= static_cast<qulonglong>(std::numeric_limits<int32_t>::max())
                       ? Variant(static_cast<int32_t>(number))
                       : Variant(static_cast<double>(number));
        }
        case QMetaType::Double:
            return Variant(content.toDouble());
        case QMetaType::QString:
            return Variant(content.toString().toStdString());
        default:
            break;
    }
    typeMismatch(QString("a value of type ") + type.name());
}

QVariant tagged(const QString& tag) {
    QDBusArgument argument;
    argument.beginStructure();
    argument << tag;
    argument.endStructure();
    return QVariant::fromValue(argument);
}

template <typename Payload>
QVariant tagged(const QString& tag, Payload payload) {
    QDBusArgument argument;
    argument.beginStructure();
    argument << tag << payload;
    argument.endStructure();
    return QVariant::fromValue(argument);
}

QVariant contentToDBus(const Variant& value) {
    switch (value.type()) {
        case VarType::Empty:
            return tagged("Empty");
        case VarType::Null:
            return tagged("Null");
        case VarType::Boolean:
            return QVariant(value.asBoolean());
        case VarType::Integer:
            return QVariant::fromValue(static_cast<short>(value.asInteger()));
        case VarType::Long:
            return QVariant(static_cast<int>(value.asLong()));
        case VarType::Double:
            return QVariant(value.asDouble());
        case VarType::Currency:
            return tagged("Currency", static_cast<qlonglong>(value.asCurrency().scaled));
        case VarType::Date:
            return tagged("Date", value.asDate().serial);
        case VarType::String:
            return QVariant(busText(value.asString()));
        case VarType::Array: {
            QDBusArgument argument;
            argument.beginArray(QMetaType::fromType<QDBusVariant>());
            for (const Variant& element : value.arrayValue().elements) argument << QDBusVariant(contentToDBus(element));
            argument.endArray();
            return QVariant::fromValue(argument);
        }
    }
    return {};
}

}  // namespace

Variant variantFromDBus(const QVariant& content) { return fromDBus(content, 0); }

QVariant variantToDBus(const Variant& value) { return QVariant::fromValue(QDBusVariant(contentToDBus(value))); }

Variant argumentFromDBus(const QVariant& argument, ArgType type) {
    switch (type) {
        case ArgType::Variant:
            return variantFromDBus(argument);
        case ArgType::String:
            if (argument.metaType() != QMetaType::fromType<QString>()) typeMismatch("a non-text String argument");
            return Variant(argument.toString().toStdString());
        case ArgType::Long:
            if (argument.metaType().id() != QMetaType::Int) typeMismatch("a non-Long argument");
            return Variant(static_cast<int32_t>(argument.toInt()));
        case ArgType::Integer:
            if (argument.metaType().id() != QMetaType::Short) typeMismatch("a non-Integer argument");
            return Variant(argument.value<short>());
    }
    return {};
}

QVariant argumentToDBus(const Variant& value, ArgType type) {
    switch (type) {
        case ArgType::Variant:
            return variantToDBus(value);
        case ArgType::String:
            return QVariant(busText(toStringArg(value)));
        case ArgType::Long:
            return QVariant(static_cast<int>(toLongArg(value)));
        case ArgType::Integer:
            return QVariant::fromValue(static_cast<short>(toIntegerArg(value)));
    }
    return {};
}

QString errorName(int32_t number) {
    const QString digits =
        number < 0 ? "E_" + QString::number(-static_cast<int64_t>(number)) : "E" + QString::number(number);
    return QString(kRuntimeErrorPrefix) + digits;
}

QString errorMessage(const RuntimeError& error) {
    return QString::number(error.number()) + ": " + QString::fromStdString(error.description());
}

bool runtimeErrorFromReply(const QDBusMessage& reply, int32_t& number, std::string& description) {
    if (reply.type() != QDBusMessage::ErrorMessage || !reply.errorName().startsWith(kRuntimeErrorPrefix)) return false;
    const QString message = reply.errorMessage();
    const qsizetype colon = message.indexOf(": ");
    bool parsed = false;
    number = message.left(colon).toInt(&parsed);
    if (colon < 0 || !parsed) return false;
    description = message.mid(colon + 2).toStdString();
    return true;
}

}  // namespace kbx::bus
