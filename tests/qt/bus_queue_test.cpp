// Calls are served one at a time in arrival order, also while a call holds a
// nested event loop (a modal dialog); while a method works the service still
// answers and notices hosts leaving. The service object runs in this test's
// process on a private bus, and gdbus processes are the hosts.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <functional>
#include <future>
#include <mutex>

#include "bus/bus_names.h"
#include "bus/bus_object.h"
#include "bus/gui_thread.h"
#include "dialog/bom_options_dialog.h"
#include "engine/engine.h"
#include "kest_db_bom_excel_adaptor.h"
#include "log/write_log.h"
#include "private_bus.h"
#include "session/cancellation.h"

namespace kbx {
namespace {

// Runs a nested event loop, as a modal window does, until `done` holds or
// 30 seconds have passed.
template <typename Done>
void runNestedLoopUntil(Done done) {
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || elapsed.elapsed() > 30000) loop.quit();
    });
    poll.start(10);
    loop.exec();
}

// A dialog that records when it opened and closed and, while open, runs what
// the test gives it.
class RecordingDialog : public dialog::BomOptionsDialog {
public:
    RecordingDialog(std::vector<std::string>& events, std::function<void()> whileOpen)
        : events_(events), whileOpen_(std::move(whileOpen)) {}
    bool ShowModal(dialog::BomOptions& options) override {
        events_.push_back("open " + options.templatePath);
        whileOpen_();
        events_.push_back("close " + options.templatePath);
        return false;
    }

private:
    std::vector<std::string>& events_;
    std::function<void()> whileOpen_;
};

template <typename Done>
bool spinUntil(Done done, int timeoutMs = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// A gdbus host calling a method of the service.
std::unique_ptr<QProcess> startCall(const test::PrivateBus& bus, const QString& method, const QStringList& args) {
    return bus.start("gdbus",
                     QStringList{"call", "--address", bus.address(), "--dest", bus::kServiceName, "--object-path",
                                 bus::kObjectPath, "--method", "KestBomEx._KestDBBomExcel." + method} +
                         args);
}

std::unique_ptr<QProcess> startGetBomParams(const test::PrivateBus& bus, const QString& folder) {
    return startCall(bus, "GetBomParams", {folder, "<('Empty',)>", "0", "0", "", ""});
}

// The service object registered in this process on a private bus, TEMP the bus's.
struct ServiceInProcess {
    test::PrivateBus bus;
    test::PlatformGuard platformGuard;
    test::EnvGuard temp{"TEMP", bus.tempDir()};
    QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), "in-process");
    bus::BusObject object{connection};
    bool registered = [this] {
        new KestDBBomExcelAdaptor(&object);
        return connection.registerObject(bus::kObjectPath, &object) && connection.registerService(bus::kServiceName);
    }();
    ~ServiceInProcess() {
        dialog::resetBomOptionsDialogFactory();
        connection.unregisterObject(bus::kObjectPath);
        QDBusConnection::disconnectFromBus("in-process");
    }
};

TEST(BusQueue, CallsArrivingDuringANestedEventLoopWaitAndRunInOrder) {
    ServiceInProcess service;
    ASSERT_TRUE(service.registered);
    const test::PrivateBus& bus = service.bus;
    bus::BusObject& object = service.object;
    bool allHostsLeft = false;
    QObject::connect(&object, &bus::BusObject::lastHostLeft, [&] { allHostsLeft = true; });

    // The first call's dialog starts the second host, waits until its call is
    // queued, then starts the third and waits for that call too: both arrive
    // while the first call holds its nested event loop.
    std::vector<std::string> events;
    std::unique_ptr<QProcess> second;
    std::unique_ptr<QProcess> third;
    const auto startTheOthers = [&] {
        if (second) return;
        second = startGetBomParams(bus, "/second");
        runNestedLoopUntil([&] { return object.connectedHosts() == 2; });
        third = startGetBomParams(bus, "/third");
        runNestedLoopUntil([&] { return object.connectedHosts() == 3; });
    };
    // As in the server: the dialog is shown on this (the GUI) thread.
    dialog::setBomOptionsDialogFactory(
        bus::shownOnGuiThread([&] { return std::make_unique<RecordingDialog>(events, startTheOthers); }));

    auto first = startGetBomParams(bus, "/first");
    ASSERT_TRUE(spinUntil([&] { return second && third; })) << "the first call did not arrive";
    for (auto* host : {first.get(), second.get(), third.get()})
        ASSERT_TRUE(spinUntil([host] { return host->state() == QProcess::NotRunning; })) << "a host got no answer";

    EXPECT_EQ(events, (std::vector<std::string>{"open /first/KestDBBomTempl.XLS", "close /first/KestDBBomTempl.XLS",
                                                "open /second/KestDBBomTempl.XLS", "close /second/KestDBBomTempl.XLS",
                                                "open /third/KestDBBomTempl.XLS", "close /third/KestDBBomTempl.XLS"}));
    for (auto* host : {first.get(), second.get(), third.get()}) {
        EXPECT_EQ(host->exitCode(), 0) << host->readAllStandardError().toStdString();
        EXPECT_EQ(host->readAllStandardOutput().toStdString(), "(1, <('Empty',)>, 0, 0, '', '')\n");
    }
    // A slow host may start only after the one before it has left, so the
    // object can already have been idle once; wait for the last one to go.
    EXPECT_TRUE(spinUntil([&] { return allHostsLeft && object.connectedHosts() == 0; }, 10000))
        << "the object did not notice the hosts leaving";
}

// Holds the method that asks for the spreadsheet application until opened,
// at the latest when the test ends.
struct Gate {
    std::promise<void> opening;
    std::shared_future<void> opened = opening.get_future().share();
    std::atomic<bool> reached{false};
    std::once_flag once;
    void open() {
        std::call_once(once, [this] { opening.set_value(); });
    }
    ~Gate() { open(); }
};

TEST(BusQueue, WhileAMethodWorksTheServiceAnswersAndDropsTheCallsOfHostsThatLeft) {
    ServiceInProcess service;
    ASSERT_TRUE(service.registered);
    const test::PrivateBus& bus = service.bus;
    bus::BusObject& object = service.object;
    const auto& messages = service.platformGuard.messages;
    session::platform().messages = std::make_shared<bus::GuiThreadMessagePort>(messages);
    Gate gate;
    session::platform().createApplication = [&gate] {
        gate.reached = true;
        gate.opened.wait();
        return engine::createApplication();
    };

    // The first host's ExportPlain waits in the worker; the second host's
    // GetBomParams queues behind it.
    auto first = startCall(bus, "ExportPlain",
                           {"<['title']>", "<['T']>", "1", "<['posnr']>", "<[1, 2]>", "/nonexistent/t.xlsx",
                            QString::fromStdString(bus.file("o.xlsx")), "0", "0", "10", "0"});
    ASSERT_TRUE(spinUntil([&] { return gate.reached.load(); })) << "the method did not start";
    auto second = startGetBomParams(bus, "/second");
    ASSERT_TRUE(spinUntil([&] { return object.connectedHosts() == 2; }));

    auto introspect = bus.start("gdbus", {"introspect", "--address", bus.address(), "--dest", bus::kServiceName,
                                          "--object-path", bus::kObjectPath});
    ASSERT_TRUE(spinUntil([&] { return introspect->state() == QProcess::NotRunning; }));
    EXPECT_NE(introspect->readAllStandardOutput().indexOf("MessageShownForCall"), -1)
        << "no introspection while a method works";

    first->kill();
    second->kill();
    ASSERT_TRUE(spinUntil([&] { return object.connectedHosts() == 0; })) << "the hosts leaving went unnoticed";
    EXPECT_TRUE(session::cancelRequested()) << "the running call was not asked to stop";
    gate.open();
    ASSERT_TRUE(spinUntil([&] { return object.idle(); }));

    // Neither the stopped call's message nor the dropped dialog reached the user.
    EXPECT_TRUE(messages->shown.empty()) << messages->shown.front().text;
    const std::string log = test::readFile(bus.file(kLogFileName));
    EXPECT_NE(log.find("Stopping ExportPlain: its host :"), std::string::npos) << log;
    EXPECT_NE(log.find("Dropped GetBomParams: its host :"), std::string::npos) << log;
}

}  // namespace
}  // namespace kbx
