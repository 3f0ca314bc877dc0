#pragma once
// A private session bus for one test: its own dbus-daemon whose service
// directory is this test's, so that registering the server there makes it
// activatable; clients are the programs the project did not write (gdbus,
// dbus-monitor, python3-dbus).

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace kbx::test {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program to its end (at most timeoutMs), feeding `input` on stdin.
ProcessResult runProcess(const QString& program, const QStringList& args, const QProcessEnvironment& environment,
                         const std::string& input = {}, int timeoutMs = 60000);

// Programs started on the bus write sanitizer reports (a leak found at exit,
// for one) to files; a report fails the test when the bus is taken down.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Clients' environment: the bus address, TEMP, HOME and the XDG folders
    // of this bus only, no display.
    const QProcessEnvironment& environment() const { return environment_; }
    const QString& address() const { return address_; }
    // The server's temporary directory (its TEMP): log and working copies.
    std::string tempDir() const { return temp_.path().string(); }
    std::string file(const std::string& name) const { return temp_.file(name); }

    // kestbomex-server --register into this bus's service directory.
    ProcessResult registerServer() const;
    // gdbus call to a method of the service.
    ProcessResult gdbusCall(const QString& method, const QStringList& args, int timeoutMs = 60000) const;
    bool serviceHasOwner() const;
    // Process id of the service's owner, 0 when none.
    qint64 servicePid() const;
    // Starts a process in this bus's environment that the test drives itself.
    std::unique_ptr<QProcess> start(const QString& program, const QStringList& args) const;

private:
    // Sanitizer reports of the bus's programs are written to <prefix>.<pid>.
    QString sanitizerLogPrefix() const;
    std::vector<qint64> programsOnBus() const;

    TempDir temp_;
    TempDir home_;
    QProcess daemon_;
    QString address_;
    QProcessEnvironment environment_;
};

// Whether a process is still running (and not a zombie).
bool processAlive(qint64 pid);

// A python3-dbus host (bus_probe.py) that has called once and stays
// connected until it leaves, which keeps the service running.
class HoldingHost {
public:
    explicit HoldingHost(const PrivateBus& bus);
    bool called() const { return called_; }
    void leave();

private:
    std::unique_ptr<QProcess> process_;
    bool called_ = false;
};

}  // namespace kbx::test
