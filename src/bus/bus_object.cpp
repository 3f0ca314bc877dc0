#include "bus/bus_object.h"

#include <QDBusConnectionInterface>
#include <new>
#include <vector>

#include "automation/method_table.h"
#include "bus/dbus_variant.h"
#include "value/runtime_error.h"

namespace kbx::bus {

using automation::CallOutcome;
using automation::findMethod;
using automation::invokeMethod;
using automation::MethodSpec;
using automation::ParamSpec;

BusObject::BusObject(const QDBusConnection& connection, QObject* parent) : QObject(parent), connection_(connection) {
    watcher_.setConnection(connection_);
    watcher_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &BusObject::hostLeft);
}

// The adaptor's slots: the arguments are read again from the message when the
// call runs, so each slot only queues it.

void BusObject::ReleaseExcel() { queueCurrentCall(); }

int BusObject::ExportBomExcel(const QDBusVariant&, const QDBusVariant&, int, const QDBusVariant&, const QDBusVariant&,
                              const QString&, int, const QString&, int, const QString&, int, const QString&, int,
                              const QString&, QString&) {
    queueCurrentCall();
    return 0;
}

int BusObject::GetBomParams(const QString&, const QDBusVariant&, int, int, const QString&, const QString&,
                            QDBusVariant&, int&, int&, QString&, QString&) {
    queueCurrentCall();
    return 0;
}

short BusObject::ExportAsTxt(const QString&, const QString&) {
    queueCurrentCall();
    return 0;
}

short BusObject::ExportAsTxt2(const QString&, const QString&, const QString&) {
    queueCurrentCall();
    return 0;
}

QDBusVariant BusObject::ExportPlain(const QDBusVariant&, const QDBusVariant&, int, const QDBusVariant&,
                                    const QDBusVariant&, const QString&, const QString&, int, int, int, int) {
    queueCurrentCall();
    return {};
}

QDBusVariant BusObject::CreateSummaryExcel(const QDBusVariant&, const QDBusVariant&, const QDBusVariant&, int,
                                           const QString&, const QString&, int, int, int) {
    queueCurrentCall();
    return {};
}

QDBusVariant BusObject::CreateSummaryTemplate(const QDBusVariant&) {
    queueCurrentCall();
    return {};
}

QDBusVariant BusObject::ExportPlain2(const QDBusVariant&, const QDBusVariant&, int, const QDBusVariant&,
                                     const QDBusVariant&, const QString&, const QString&, int, int, int, int,
                                     const QString&) {
    queueCurrentCall();
    return {};
}

void BusObject::queueCurrentCall() {
    setDelayedReply(true);
    remember(message().service());
    pending_.enqueue(message());
    QMetaObject::invokeMethod(this, &BusObject::drainQueue, Qt::QueuedConnection);
}

void BusObject::remember(const QString& uniqueName) {
    if (uniqueName.isEmpty() || hosts_.contains(uniqueName)) return;
    hosts_.insert(uniqueName);
    watcher_.addWatchedService(uniqueName);
    // The host may have left before the watch was in place.
    QDBusConnectionInterface* busInterface = connection_.interface();
    if (busInterface != nullptr && !busInterface->isServiceRegistered(uniqueName).value())
        QMetaObject::invokeMethod(
            this, [this, uniqueName] { hostLeft(uniqueName); }, Qt::QueuedConnection);
}

void BusObject::hostLeft(const QString& uniqueName) {
    if (!hosts_.remove(uniqueName)) return;
    watcher_.removeWatchedService(uniqueName);
    checkIdle();
}

void BusObject::checkIdle() {
    if (idle()) emit lastHostLeft();
}

// Runs the waiting calls one after another. A call that shows a dialog runs
// a nested event loop; calls arriving meanwhile are queued and this drain,
// posted again, returns at once until the running call has finished.
void BusObject::drainQueue() {
    if (running_) return;
    while (!pending_.isEmpty()) {
        const QDBusMessage call = pending_.dequeue();
        running_ = true;
        runCall(call);
        running_ = false;
    }
    checkIdle();
}

void BusObject::runCall(const QDBusMessage& call) {
    QDBusMessage answer;
    try {
        answer = reply(call);
    } catch (const RuntimeError& error) {
        answer = call.createErrorReply(errorName(error.number()), errorMessage(error));
    } catch (const std::bad_alloc&) {
        answer = call.createErrorReply(errorName(err::OutOfMemory),
                                       errorMessage(RuntimeError(err::OutOfMemory, "Out of memory")));
    } catch (const std::exception& error) {
        const RuntimeError internal(err::InternalError, standardErrorText(err::InternalError) + ": " + error.what());
        answer = call.createErrorReply(errorName(internal.number()), errorMessage(internal));
    }
    connection_.send(answer);
}

QDBusMessage BusObject::reply(const QDBusMessage& call) {
    const MethodSpec* method = findMethod(call.member().toStdString());
    const QList<QVariant> received = call.arguments();
    if (method == nullptr || received.size() != static_cast<qsizetype>(method->params.size()))
        raise(err::MemberNotSupported);
    std::vector<Variant> args;
    args.reserve(method->params.size());
    for (std::size_t i = 0; i < method->params.size(); ++i)
        args.push_back(argumentFromDBus(received[static_cast<qsizetype>(i)], method->params[i].type));

    const CallOutcome outcome = invokeMethod(object_, *method, args);

    QList<QVariant> out;
    if (method->result) out << argumentToDBus(outcome.result.value_or(Variant()), *method->result);
    std::size_t next = 0;
    for (const ParamSpec& param : method->params)
        if (param.byRef) out << argumentToDBus(outcome.byRefOutputs.at(next++), param.type);
    return call.createReply(out);
}

}  // namespace kbx::bus
