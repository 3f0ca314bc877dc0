#include "bus/bus_object.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>

#include <iostream>
#include <new>
#include <vector>

#include "automation/method_table.h"
#include "bus/bus_names.h"
#include "bus/dbus_variant.h"
#include "log/write_log.h"
#include "session/cancellation.h"
#include "value/runtime_error.h"

namespace kbx::bus {

using automation::CallOutcome;
using automation::findMethod;
using automation::invokeMethod;
using automation::MethodSpec;
using automation::ParamSpec;

namespace {

// One line in the diagnostic log; standard error when the log cannot be written.
void logLine(const QString& text) {
    try {
        WriteLog(text.toStdString());
    } catch (const RuntimeError& error) {
        std::cerr << "kestbomex-server: " << text.toStdString() << " (" << error.description() << ")\n";
    }
}

}  // namespace

BusObject::BusObject(const QDBusConnection& connection, QObject* parent)
    : QObject(parent), connection_(connection), worker_(std::make_unique<QObject>()) {
    watcher_.setConnection(connection_);
    watcher_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &BusObject::hostLeft);
    workerThread_.setObjectName("kestbomex-calls");
    worker_->moveToThread(&workerThread_);
    workerThread_.start();
}

BusObject::~BusObject() {
    stopping_ = true;
    session::requestCancel();
    workerThread_.quit();
    // A call waiting for a message box or dialog on this thread gets it
    // served; with the stop requested nothing is shown and it returns.
    while (!workerThread_.wait(10)) QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    worker_.reset();
    session::clearCancel();
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
    QMetaObject::invokeMethod(this, &BusObject::startNextCall, Qt::QueuedConnection);
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
    dropQueuedCallsOf(uniqueName);
    if (running_ && running_->message.service() == uniqueName && !session::cancelRequested()) {
        session::requestCancel();
        logLine("Stopping " + running_->message.member() + ": its host " + uniqueName + " has left the bus");
    }
    if (!hosts_.remove(uniqueName)) return;
    watcher_.removeWatchedService(uniqueName);
    checkIdle();
}

// Nobody waits for the answers of a host that has left; its calls would
// only write files and show dialogs for nobody.
void BusObject::dropQueuedCallsOf(const QString& uniqueName) {
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->service() != uniqueName) {
            ++it;
            continue;
        }
        logLine("Dropped " + it->member() + ": its host " + uniqueName + " has left the bus");
        it = pending_.erase(it);
    }
}

void BusObject::checkIdle() {
    if (idle()) emit lastHostLeft();
}

// Hands the next waiting call to the worker thread unless one is running.
// A call that shows a dialog keeps its place as the running call, so calls
// arriving meanwhile wait.
void BusObject::startNextCall() {
    if (running_ || stopping_) return;
    if (pending_.isEmpty()) {
        checkIdle();
        return;
    }
    running_ = RunningCall{pending_.dequeue(), ++callsStarted_};
    session::clearCancel();
    QMetaObject::invokeMethod(
        worker_.get(),
        [this, call = running_->message] {
            const QDBusMessage result = answer(call);
            QMetaObject::invokeMethod(this, [this, result] { callFinished(result); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void BusObject::callFinished(const QDBusMessage& result) {
    // A host that has left gets no answer.
    if (!session::cancelRequested()) connection_.send(result);
    running_.reset();
    startNextCall();
}

void BusObject::sendMessageShown(const QString& text, const QString& caption) {
    if (!running_) return;
    const QString host = running_->message.service();
    QDBusMessage plain = QDBusMessage::createTargetedSignal(host, kObjectPath, kInterfaceName, "MessageShown");
    plain << text << caption;
    QDBusMessage tagged = QDBusMessage::createTargetedSignal(host, kObjectPath, kInterfaceName, "MessageShownForCall");
    tagged << text << caption << running_->message.member() << running_->number;
    connection_.send(plain);
    connection_.send(tagged);
}

QDBusMessage BusObject::answer(const QDBusMessage& call) {
    try {
        return reply(call);
    } catch (const RuntimeError& error) {
        return call.createErrorReply(errorName(error.number()), errorMessage(error));
    } catch (const std::bad_alloc&) {
        return call.createErrorReply(errorName(err::OutOfMemory),
                                     errorMessage(RuntimeError(err::OutOfMemory, "Out of memory")));
    } catch (const std::exception& error) {
        const RuntimeError internal(err::InternalError, standardErrorText(err::InternalError) + ": " + error.what());
        return call.createErrorReply(errorName(internal.number()), errorMessage(internal));
    }
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
