#include "bus/bus_client.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <climits>

#include "bus/bus_names.h"
#include "bus/dbus_variant.h"
#include "value/runtime_error.h"

namespace kbx::bus {

using automation::ArgType;
using automation::CallOutcome;
using automation::MethodSpec;
using automation::ParamSpec;

namespace {

// libdbus takes INT_MAX as "no time limit".
constexpr int kNoTimeout = INT_MAX;

[[noreturn]] void busFailure(const QString& message) {
    raise(err::CannotCreateObject, "ActiveX component can't create object: " + message.toStdString());
}

}  // namespace

CallOutcome callOverBus(const MethodSpec& method, const std::vector<Variant>& args) {
    if (args.size() != method.params.size()) raise(450, "Wrong number of arguments or invalid property assignment");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) busFailure("no session bus");
    QDBusMessage call =
        QDBusMessage::createMethodCall(kServiceName, kObjectPath, kInterfaceName, QString::fromStdString(method.name));
    QList<QVariant> out;
    for (std::size_t i = 0; i < args.size(); ++i) out << argumentToDBus(args[i], method.params[i].type);
    call.setArguments(out);

    const QDBusMessage answer = bus.call(call, QDBus::Block, kNoTimeout);
    if (answer.type() == QDBusMessage::ErrorMessage) {
        int32_t number = 0;
        std::string description;
        if (runtimeErrorFromReply(answer, number, description)) raise(number, description);
        busFailure(answer.errorName() + ": " + answer.errorMessage());
    }
    const QList<QVariant> received = answer.arguments();
    CallOutcome outcome;
    qsizetype next = 0;
    auto take = [&](ArgType type) {
        if (next >= received.size()) busFailure("the reply has too few values");
        return argumentFromDBus(received[next++], type);
    };
    if (method.result) outcome.result = take(*method.result);
    for (const ParamSpec& param : method.params)
        if (param.byRef) outcome.byRefOutputs.push_back(take(param.type));
    return outcome;
}

}  // namespace kbx::bus
