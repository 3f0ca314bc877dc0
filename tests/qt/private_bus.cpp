#include "private_bus.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QThread>
#include <fstream>

namespace kbx::test {

namespace {

const char* kConfig = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=@TMP@</listen>
  <servicedir>@SERVICES@</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

}  // namespace

ProcessResult runProcess(const QString& program, const QStringList& args, const QProcessEnvironment& environment,
                         const std::string& input, int timeoutMs) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, args);
    ProcessResult result;
    if (!process.waitForStarted(10000)) {
        result.err = "cannot start " + program.toStdString();
        return result;
    }
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        result.err = "timed out: " + program.toStdString();
    }
    result.out = process.readAllStandardOutput().toStdString();
    result.err += process.readAllStandardError().toStdString();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

PrivateBus::PrivateBus() {
    const QString data = QString::fromStdString(home_.file("data"));
    const QString services = data + "/dbus-1/services";
    QDir().mkpath(services);
    const QString runtime = QString::fromStdString(home_.file("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    std::string config = kConfig;
    config.replace(config.find("@TMP@"), 5, home_.path().string());
    config.replace(config.find("@SERVICES@"), 10, services.toStdString());
    std::ofstream(home_.file("bus.conf")) << config;

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "TMPDIR"}) env.remove(name);
    env.insert("TEMP", QString::fromStdString(temp_.path().string()));
    env.insert("XDG_DATA_HOME", data);
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("XDG_CACHE_HOME", QString::fromStdString(home_.file("cache")));
    env.insert("HOME", QString::fromStdString(home_.path().string()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("KESTBOMEX_VIEWER", "/bin/false");
    // Sanitizer reports of the programs started here (the activated server,
    // the command line) go to files that the destructor checks.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        const QString options = env.value(name);
        env.insert(name, (options.isEmpty() ? "" : options + ":") + "log_path=" + sanitizerLogPrefix());
    }
    daemon_.setProcessEnvironment(env);
    daemon_.start("dbus-daemon",
                  {"--nofork", "--print-address=1", "--config-file=" + QString::fromStdString(home_.file("bus.conf"))});
    if (!daemon_.waitForStarted(10000) || !daemon_.waitForReadyRead(10000)) {
        ADD_FAILURE() << "dbus-daemon did not start: " << daemon_.readAllStandardError().toStdString();
        return;
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    env.insert("DBUS_SESSION_BUS_ADDRESS", address_);
    environment_ = env;
}

PrivateBus::~PrivateBus() {
    daemon_.terminate();
    daemon_.waitForFinished(5000);
    // The programs on the bus (the server above all) leave when it goes away;
    // wait for them, so that their sanitizer reports are complete.
    std::vector<qint64> left = programsOnBus();
    for (int i = 0; !left.empty() && i < 100; ++i) {
        QThread::msleep(100);
        left = programsOnBus();
    }
    for (qint64 pid : left) {
        ADD_FAILURE() << "process " << pid << " outlived its bus";
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
    for (const QString& report : QDir(QString::fromStdString(home_.path().string())).entryList({"sanitizer.*"}))
        ADD_FAILURE() << "a program on the bus reported:\n" << readFile(home_.file(report.toStdString()));
}

QString PrivateBus::sanitizerLogPrefix() const { return QString::fromStdString(home_.file("sanitizer")); }

ProcessResult PrivateBus::registerServer() const { return runProcess(KBX_SERVER_EXE, {"--register"}, environment_); }

ProcessResult PrivateBus::gdbusCall(const QString& method, const QStringList& args, int timeoutMs) const {
    QStringList all{"call",          "--address",       address_,  "--dest", "KestBomEx.KestDBBomExcel",
                    "--object-path", "/KestDBBomExcel", "--method"};
    all << "KestBomEx._KestDBBomExcel." + method << args;
    return runProcess("gdbus", all, environment_, {}, timeoutMs);
}

bool PrivateBus::serviceHasOwner() const { return servicePid() != 0; }

qint64 PrivateBus::servicePid() const {
    if (address_.isEmpty()) return 0;
    const ProcessResult r = runProcess(
        "gdbus",
        {"call", "--address", address_, "--dest", "org.freedesktop.DBus", "--object-path", "/org/freedesktop/DBus",
         "--method", "org.freedesktop.DBus.GetConnectionUnixProcessID", "KestBomEx.KestDBBomExcel"},
        environment_);
    if (r.exitCode != 0) return 0;
    // "(uint32 1234,)"
    const std::size_t space = r.out.find(' ');
    return space == std::string::npos ? 0 : std::atoll(r.out.c_str() + space + 1);
}

std::unique_ptr<QProcess> PrivateBus::start(const QString& program, const QStringList& args) const {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment_);
    process->start(program, args);
    process->waitForStarted(10000);
    return process;
}

// Running processes whose environment is this bus's (it names the sanitizer
// log prefix, which is unique to the bus).
std::vector<qint64> PrivateBus::programsOnBus() const {
    const std::string marker = "log_path=" + sanitizerLogPrefix().toStdString();
    std::vector<qint64> found;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == daemon_.processId()) continue;
        if (readFile("/proc/" + std::to_string(pid) + "/environ").find(marker) != std::string::npos &&
            processAlive(pid))
            found.push_back(pid);
    }
    return found;
}

HoldingHost::HoldingHost(const PrivateBus& bus)
    : process_(bus.start("/usr/bin/python3", {QString(KBX_QT_TEST_DIR) + "/bus_probe.py", "hold"})) {
    process_->waitForReadyRead(30000);
    called_ = process_->readAll().startsWith("called");
}

void HoldingHost::leave() {
    process_->closeWriteChannel();
    process_->waitForFinished(10000);
}

bool processAlive(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/stat");
    std::string pidField, name, state;
    if (!(status >> pidField >> name >> state)) return false;
    return state != "Z" && state != "X";
}

}  // namespace kbx::test
