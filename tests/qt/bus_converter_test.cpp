// The .xls conversions of the service: one warm LibreOffice serves its calls
// and the command line beside it, is started again when it was killed, and
// ends after a time without conversions while the service goes on.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <future>

#include "private_bus.h"

namespace kbx {
namespace {

TEST(BusConverter, OneWarmOfficeServesHostsAtOnceIsStartedAgainWhenKilledAndEndsWhenIdle) {
    REQUIRE_CONVERTER();
    test::EnvGuard idle("KESTBOMEX_CONVERTER_IDLE", "10");  // the activated server gets the bus's environment
    test::PrivateBus bus;
    ASSERT_EQ(bus.registerServer().exitCode, 0);
    test::HoldingHost holder(bus);
    ASSERT_TRUE(holder.called());
    const std::string cache = bus.environment().value("XDG_CACHE_HOME").toStdString();
    const QString xls = QString::fromStdString(test::dataFile("three_sheets.xls"));
    const auto exportText = [&](const std::string& name) {
        return bus.gdbusCall("ExportAsTxt2", {xls, QString::fromStdString(bus.file(name)), "Liste"}).out;
    };
    ASSERT_EQ(exportText("first.txt"), "(int16 0,)\n");
    const std::string text = test::readFile(bus.file("first.txt"));
    EXPECT_NE(text.find("1\tSchraube M6\t12"), std::string::npos) << text;
    const std::vector<pid_t> office = test::officeProcesses(cache);
    ASSERT_EQ(office.size(), 1u);

    // A host on the bus and the command line in its own process convert at once.
    auto onBus = std::async(std::launch::async, [&] { return exportText("second.txt"); });
    const test::ProcessResult cli = test::runProcess(KBX_CLI_EXE, {"call", "ExportAsTxt2"}, bus.environment(),
                                                     R"({"ExcelName": ")" + xls.toStdString() + R"(", "TxtName": ")" +
                                                         bus.file("third.txt") + R"(", "SheetName": "Liste"})");
    EXPECT_EQ(onBus.get(), "(int16 0,)\n");
    EXPECT_EQ(cli.out, "{\"result\":0}\n") << cli.err;
    for (const char* name : {"second.txt", "third.txt"}) EXPECT_EQ(test::readFile(bus.file(name)), text) << name;
    EXPECT_EQ(test::officeProcesses(cache), office) << "the command line used the service's LibreOffice";

    ::kill(office[0], SIGKILL);
    ASSERT_TRUE(test::waitUntil([&] { return test::officeProcesses(cache).empty(); }));
    EXPECT_EQ(exportText("fourth.txt"), "(int16 0,)\n");
    EXPECT_EQ(test::readFile(bus.file("fourth.txt")), text);
    const std::vector<pid_t> restarted = test::officeProcesses(cache);
    EXPECT_EQ(restarted.size(), 1u);
    EXPECT_NE(restarted, office);

    const qint64 server = bus.servicePid();
    const std::string record = cache + "/kestbomex/libreoffice/office";  // removed last when it ends
    EXPECT_TRUE(
        test::waitUntil([&] { return test::officeProcesses(cache).empty() && !std::filesystem::exists(record); }, 60))
        << "LibreOffice stayed after the idle time";
    EXPECT_EQ(bus.servicePid(), server);
    EXPECT_EQ(test::officeLeftovers(cache, bus.environment().value("XDG_RUNTIME_DIR").toStdString()),
              std::vector<std::string>{});
    holder.leave();
}

}  // namespace
}  // namespace kbx
