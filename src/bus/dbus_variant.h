#pragma once
// Variants on the bus: a Variant parameter is a D-Bus "v"; arrays travel as
// "av", and Date, Currency, Empty and Null as tagged structures:
// ("Date", d), ("Currency", x), ("Empty",), ("Null",).

#include <QDBusMessage>
#include <QVariant>
#include <string>

#include "automation/method_table.h"
#include "value/runtime_error.h"
#include "value/variant.h"

namespace kbx::bus {

// The content of a received "v" as a Variant. Dictionaries, unknown tags and
// other structures raise 13 "Type mismatch".
Variant variantFromDBus(const QVariant& content);
// A Variant as the QVariant that marshals to "v" (a QDBusVariant).
QVariant variantToDBus(const Variant& value);

// One received argument of the given interface type.
Variant argumentFromDBus(const QVariant& argument, automation::ArgType type);
// One argument or result to send with the given interface type.
QVariant argumentToDBus(const Variant& value, automation::ArgType type);

// The D-Bus error name and message of a run-time error, and back.
QString errorName(int32_t number);
QString errorMessage(const RuntimeError& error);
// Reads a run-time error out of an error reply of this service; false when
// the reply is some other D-Bus error.
bool runtimeErrorFromReply(const QDBusMessage& reply, int32_t& number, std::string& description);

}  // namespace kbx::bus
