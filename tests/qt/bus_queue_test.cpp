// Calls are served one at a time in arrival order, also while a call holds a
// nested event loop (a modal dialog): the service object runs in this test's
// process on a private bus, and gdbus processes are the hosts.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "bus/bus_names.h"
#include "bus/bus_object.h"
#include "dialog/bom_options_dialog.h"
#include "kest_db_bom_excel_adaptor.h"
#include "private_bus.h"

namespace kbx {
namespace {

// A dialog that stays open for a while in a nested event loop, like a modal
// window, and records when it opened and closed.
class SlowDialog : public dialog::BomOptionsDialog {
public:
    explicit SlowDialog(std::vector<std::string>& events) : events_(events) {}
    bool ShowModal(dialog::BomOptions& options) override {
        events_.push_back("open " + options.templatePath);
        QEventLoop loop;
        QTimer::singleShot(700, &loop, &QEventLoop::quit);
        loop.exec();
        events_.push_back("close " + options.templatePath);
        return false;
    }

private:
    std::vector<std::string>& events_;
};

template <typename Done>
bool spinUntil(Done done, int timeoutMs = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

std::unique_ptr<QProcess> startGetBomParams(const test::PrivateBus& bus, const QString& folder) {
    return bus.start("gdbus", {"call", "--address", bus.address(), "--dest", bus::kServiceName, "--object-path",
                               bus::kObjectPath, "--method", "KestBomEx._KestDBBomExcel.GetBomParams", folder,
                               "<('Empty',)>", "0", "0", "", ""});
}

TEST(BusQueue, CallsArrivingDuringANestedEventLoopWaitAndRunInOrder) {
    test::PrivateBus bus;
    test::PlatformGuard platformGuard;
    test::EnvGuard temp("TEMP", bus.tempDir());
    std::vector<std::string> events;
    dialog::setBomOptionsDialogFactory([&events] { return std::make_unique<SlowDialog>(events); });

    QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), "queue-test");
    ASSERT_TRUE(connection.isConnected());
    bus::BusObject object(connection);
    new KestDBBomExcelAdaptor(&object);
    ASSERT_TRUE(connection.registerObject(bus::kObjectPath, &object));
    ASSERT_TRUE(connection.registerService(bus::kServiceName));
    bool allHostsLeft = false;
    QObject::connect(&object, &bus::BusObject::lastHostLeft, [&] { allHostsLeft = true; });

    auto first = startGetBomParams(bus, "/first");
    ASSERT_TRUE(spinUntil([&] { return !events.empty(); }));
    auto second = startGetBomParams(bus, "/second");
    spinUntil([] { return false; }, 150);
    auto third = startGetBomParams(bus, "/third");
    for (auto* host : {first.get(), second.get(), third.get()})
        ASSERT_TRUE(spinUntil([host] { return host->state() == QProcess::NotRunning; })) << "a host got no answer";

    EXPECT_EQ(events, (std::vector<std::string>{"open /first/KestDBBomTempl.XLS", "close /first/KestDBBomTempl.XLS",
                                                "open /second/KestDBBomTempl.XLS", "close /second/KestDBBomTempl.XLS",
                                                "open /third/KestDBBomTempl.XLS", "close /third/KestDBBomTempl.XLS"}));
    for (auto* host : {first.get(), second.get(), third.get()}) {
        EXPECT_EQ(host->exitCode(), 0) << host->readAllStandardError().toStdString();
        EXPECT_EQ(host->readAllStandardOutput().toStdString(), "(1, <('Empty',)>, 0, 0, '', '')\n");
    }
    EXPECT_TRUE(spinUntil([&] { return allHostsLeft; }, 10000)) << "the object did not notice the hosts leaving";
    EXPECT_EQ(object.connectedHosts(), 0);

    dialog::resetBomOptionsDialogFactory();
    connection.unregisterObject(bus::kObjectPath);
    QDBusConnection::disconnectFromBus("queue-test");
}

}  // namespace
}  // namespace kbx
