// Soak benchmark of the bus service: hosts that come and go send mixed calls,
// a third of them malformed, to one server on a private session bus.
//   bus_soak_bench [CALLS [HOSTS [SERVER]]]      defaults: 10000 calls, 8 hosts
// Prints calls/s, failures and the server's resident memory after start-up,
// after a warm-up and at the end. Exits 1 when a call whose host waited went
// unanswered, a call got an answer of the wrong kind, the resident memory
// grew by more than 5 MB from the warm-up to the end, or the server did not
// end cleanly with its bus (a sanitizer build of the server given as SERVER
// reports its leaks then).

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QFile>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "bus/bus_names.h"

namespace {

using kbx::bus::kInterfaceName;
using kbx::bus::kObjectPath;
using kbx::bus::kServiceName;

constexpr int kCallTimeoutMs = 120 * 1000;
constexpr int kWarmUpCalls = 300;
constexpr long kMaxGrowthKb = 5 * 1024;

const char* kBusConfig = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=@DIR@</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

// What a call must get back.
enum class Expect { Reply, TypeMismatch, UnknownMethod, FileNotFound };

struct CallKind {
    const char* name;
    Expect expect;
    std::function<QDBusMessage()> make;
};

QDBusMessage methodCall(const char* member) {
    return QDBusMessage::createMethodCall(kServiceName, kObjectPath, kInterfaceName, member);
}

QVariant variant(const QVariant& content) { return QVariant::fromValue(QDBusVariant(content)); }

QVariant variantArray(const QVariantList& elements) {
    QDBusArgument array;
    array.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const QVariant& element : elements) array << QDBusVariant(element);
    array.endArray();
    return variant(QVariant::fromValue(array));
}

QVariant structure(const QVariantList& members) {
    QDBusArgument value;
    value.beginStructure();
    for (const QVariant& member : members) value.appendVariant(member);
    value.endStructure();
    return variant(QVariant::fromValue(value));
}

// 200 good names and then a dictionary: decoding fails deep inside the array.
QVariant namesEndingInADictionary() {
    QVariantList names;
    for (int i = 0; i < 200; ++i) names << QString("field number %1 of a longer list").arg(i);
    names << QVariant::fromValue(QVariantMap{{"a", 1}});
    return variantArray(names);
}

std::vector<CallKind> callKinds(const QString& dir, const QString& plainTemplate) {
    const QVariantList plainArgs = {variantArray({"title", "drawno"}), variantArray({"Pump", "D-4711"}), 3,
                                    variantArray({"posnr", "name", "count", "posnr", "name", "count"}),
                                    variantArray({1, "Housing", 1, 2, "Screw M6", 8}), plainTemplate,
                                    dir + "/plain_out.xlsx", 0, 0, 30, 0};
    auto withArgs = [](const char* member, const QVariantList& args) {
        return [member, args] {
            QDBusMessage call = methodCall(member);
            call.setArguments(args);
            return call;
        };
    };
    return {
        {"ReleaseExcel", Expect::Reply, withArgs("ReleaseExcel", {})},
        {"GetBomParams", Expect::Reply,
         withArgs("GetBomParams", {dir, structure({"Date", 45000.5}), 1, 0, "t", "xlsx"})},
        {"ExportAsTxt missing", Expect::FileNotFound,
         withArgs("ExportAsTxt", {"/nonexistent/w.xlsx", dir + "/copy.xlsx"})},
        {"ExportPlain", Expect::Reply, withArgs("ExportPlain", plainArgs)},
        {"CreateSummaryTemplate", Expect::Reply,
         withArgs("CreateSummaryTemplate", {variantArray({"posnr", "name", "bmp"})})},
        // Malformed.
        {"array ending in a dictionary", Expect::TypeMismatch,
         withArgs("CreateSummaryTemplate", {namesEndingInADictionary()})},
        {"unknown tag", Expect::TypeMismatch, withArgs("CreateSummaryTemplate", {structure({"Banana", 1.0})})},
        {"tag with extra members", Expect::TypeMismatch,
         withArgs("GetBomParams", {dir, structure({"Date", 1.0, 2}), 0, 0, "", ""})},
        {"dictionary", Expect::TypeMismatch,
         withArgs("CreateSummaryTemplate", {variant(QVariant::fromValue(QVariantMap{{"a", 1}}))})},
        {"wrong signature", Expect::UnknownMethod, withArgs("ExportAsTxt", {1, 2})},
    };
}

// Valid calls in the proportions of a working day; every third call is malformed.
const CallKind& pick(const std::vector<CallKind>& kinds, int index) {
    static const int valid[] = {0, 1, 2, 0, 1, 3, 0, 1, 4, 2};
    if (index % 3 == 2) return kinds[5 + (index / 3) % 5];
    return kinds[valid[index % 10]];
}

bool answeredAsExpected(const QDBusMessage& reply, Expect expect) {
    const QString prefix = kbx::bus::kRuntimeErrorPrefix;
    switch (expect) {
    case Expect::Reply: return reply.type() == QDBusMessage::ReplyMessage;
    case Expect::TypeMismatch: return reply.errorName() == prefix + "E13";
    case Expect::FileNotFound: return reply.errorName() == prefix + "E53";
    case Expect::UnknownMethod: return reply.errorName() == "org.freedesktop.DBus.Error.UnknownMethod";
    }
    return false;
}

bool unanswered(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    return name == "org.freedesktop.DBus.Error.NoReply" || name == "org.freedesktop.DBus.Error.Timeout" ||
           name == "org.freedesktop.DBus.Error.Disconnected";
}

long residentKb(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

struct Tally {
    int sent = 0;
    int answered = 0;
    int leftBehind = 0;  // sent by a host that left without waiting for the answer
    int unanswered = 0;
    int failures = 0;
};

// Hosts run side by side. Each connects, sends a batch of 5 to 40 calls at
// once and waits for every answer, then leaves; every sixth batch leaves as
// soon as its first answer is in, with the rest still queued in the server.
class Soak {
public:
    Soak(QString address, std::vector<CallKind> kinds) : address_(std::move(address)), kinds_(std::move(kinds)) {}

    Tally run(int calls, int hosts) {
        tally_ = {};
        total_ = calls;
        activeHosts_ = hosts;
        QEventLoop loop;
        done_ = [&loop] { loop.quit(); };
        for (int slot = 0; slot < hosts; ++slot) QTimer::singleShot(0, [this, slot] { startBatch(slot); });
        loop.exec();
        return tally_;
    }

private:
    void startBatch(int slot) {
        if (tally_.sent >= total_) {
            if (--activeHosts_ == 0) done_();
            return;
        }
        const QString name = QString("soak-host-%1").arg(++connections_);
        QDBusConnection host = QDBusConnection::connectToBus(address_, name);
        const int batch = std::min(std::uniform_int_distribution<int>(5, 40)(random_), total_ - tally_.sent);
        const bool leaveEarly = std::uniform_int_distribution<int>(0, 5)(random_) == 0;
        auto waiting = std::make_shared<int>(leaveEarly ? 1 : batch);
        for (int i = 0; i < batch; ++i) {
            const CallKind& kind = pick(kinds_, tally_.sent++);
            const QDBusPendingCall pending = host.asyncCall(kind.make(), kCallTimeoutMs);
            if (leaveEarly && i > 0) {
                ++tally_.leftBehind;
                continue;
            }
            auto* watcher = new QDBusPendingCallWatcher(pending);
            QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [this, watcher, &kind, waiting, slot, name] {
                record(watcher->reply(), kind);
                watcher->deleteLater();
                if (--*waiting == 0) leave(slot, name);
            });
        }
    }

    void record(const QDBusMessage& reply, const CallKind& kind) {
        if (unanswered(reply)) {
            ++tally_.unanswered;
            std::cerr << "unanswered: " << kind.name << ": " << reply.errorMessage().toStdString() << "\n";
        } else {
            ++tally_.answered;
            if (!answeredAsExpected(reply, kind.expect)) {
                ++tally_.failures;
                std::cerr << "wrong answer to " << kind.name << ": " << reply.errorName().toStdString() << " "
                          << reply.errorMessage().toStdString() << "\n";
            }
        }
    }

    void leave(int slot, const QString& name) {
        QDBusConnection::disconnectFromBus(name);
        QTimer::singleShot(0, [this, slot] { startBatch(slot); });
    }

    QString address_;
    std::vector<CallKind> kinds_;
    std::mt19937 random_{20240517};
    std::function<void()> done_;
    Tally tally_;
    int total_ = 0;
    int activeHosts_ = 0;
    int connections_ = 0;
};

int countLogLines(const QString& log, const std::string& text) {
    std::ifstream in(log.toStdString());
    int count = 0;
    for (std::string line; std::getline(in, line);)
        if (line.find(text) != std::string::npos) ++count;
    return count;
}

bool waitForService(QDBusConnection& bus) {
    for (int i = 0; i < 300; ++i) {
        if (bus.interface()->isServiceRegistered(kServiceName).value()) return true;
        QThread::msleep(100);
    }
    return false;
}

void print(const char* phase, const Tally& tally, double seconds) {
    std::printf("%-8s %6d sent, %6d answered, %5d left behind by their host, %d unanswered, %d failures, "
                "%.1f s, %.0f calls/s\n",
                phase, tally.sent, tally.answered, tally.leftBehind, tally.unanswered, tally.failures, seconds,
                tally.answered / seconds);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int calls = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int hosts = argc > 2 ? std::atoi(argv[2]) : 8;
    const QString serverExe = argc > 3 ? QString(argv[3]) : QString(KBX_SERVER_EXE);

    QTemporaryDir dir;
    const QString config = dir.filePath("bus.conf");
    std::ofstream(config.toStdString()) << QString(kBusConfig).replace("@DIR@", dir.path()).toStdString();
    QProcess daemon;
    daemon.start("dbus-daemon", {"--nofork", "--print-address=1", "--config-file=" + config});
    if (!daemon.waitForReadyRead(10000)) {
        std::cerr << "dbus-daemon did not start\n";
        return 2;
    }
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) env.remove(name);
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    env.insert("TEMP", dir.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess server;
    server.setProcessEnvironment(env);
    server.setStandardOutputFile(dir.filePath("server.out"));
    server.setStandardErrorFile(dir.filePath("server.err"));
    server.start(serverExe, {});

    // One host stays for the whole run, as a holding host does, so that the
    // server does not leave between batches.
    QDBusConnection anchor = QDBusConnection::connectToBus(address, "soak-anchor");
    if (!server.waitForStarted(10000) || !waitForService(anchor)) {
        std::cerr << "the server did not start: " << serverExe.toStdString() << "\n";
        return 2;
    }
    const qint64 pid = anchor.interface()->servicePid(kServiceName).value();
    anchor.call(methodCall("ReleaseExcel"), QDBus::Block, kCallTimeoutMs);
    const long startKb = residentKb(pid);

    Soak soak(address, callKinds(dir.path(), QString(KBX_SOURCE_DIR) + "/examples/plainbom/template.xlsx"));
    QElapsedTimer timer;
    timer.start();
    const Tally warmUp = soak.run(kWarmUpCalls, hosts);
    print("warm-up", warmUp, timer.nsecsElapsed() / 1e9);
    const long warmKb = residentKb(pid);

    timer.restart();
    const Tally tally = soak.run(calls, hosts);
    // Queued behind everything sent before: when it is answered, every call
    // has been served or dropped.
    const QDBusMessage last = anchor.call(methodCall("ReleaseExcel"), QDBus::Block, kCallTimeoutMs);
    const double seconds = timer.nsecsElapsed() / 1e9;
    print("soak", tally, seconds);
    const long endKb = residentKb(pid);
    std::printf("server RSS: %ld kB after start, %ld kB after warm-up, %ld kB at the end (%+ld kB)\n", startKb, warmKb,
                endKb, endKb - warmKb);
    std::printf("server log: %d queued calls dropped, %d running calls stopped because their host left\n",
                countLogLines(dir.filePath("KestDBBomEx.log"), "Dropped "),
                countLogLines(dir.filePath("KestDBBomEx.log"), "Stopping "));

    QDBusConnection::disconnectFromBus("soak-anchor");
    daemon.terminate();
    daemon.waitForFinished(5000);
    // The server leaves with its bus; a sanitizer build reports leaks then.
    const bool serverEnded = server.waitForFinished(60000) && server.exitStatus() == QProcess::NormalExit &&
                             server.exitCode() == 0;

    bool ok = true;
    if (!serverEnded) {
        QFile errors(dir.filePath("server.err"));
        errors.open(QIODevice::ReadOnly);
        const QByteArray text = errors.readAll();
        std::cerr << "the server did not end cleanly:\n" << text.right(4000).toStdString() << "\n";
        ok = false;
    }
    if (last.type() != QDBusMessage::ReplyMessage) ok = (std::cerr << "the server stopped answering\n", false);
    if (warmUp.unanswered + tally.unanswered > 0) ok = (std::cerr << "calls went unanswered\n", false);
    if (warmUp.failures + tally.failures > 0) ok = (std::cerr << "calls got the wrong answer\n", false);
    if (endKb - warmKb > kMaxGrowthKb) ok = (std::cerr << "the server's memory grew by more than 5 MB\n", false);
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
