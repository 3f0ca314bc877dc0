// The service as hosts meet it: registered into a private session bus,
// started by activation on the first call and driven by clients the project
// did not write (gdbus, python3-dbus).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "private_bus.h"

namespace kbx {
namespace {

const QString kProbe = QString(KBX_QT_TEST_DIR) + "/bus_probe.py";

// A workbook with sheet "Liste" whose A1 is the header placeholder "$head:title".
void makeHeadTemplate(const std::string& path) {
    test::runPython(
        "import openpyxl, sys\n"
        "wb = openpyxl.Workbook()\n"
        "wb.active.title = 'Liste'\n"
        "wb['Liste']['A1'] = '$head:title'\n"
        "wb.save(sys.argv[1])\n",
        {path});
}

std::string cellA1(const std::string& path) { return test::ReadBack(path).value("Liste!A1") + "\n"; }

TEST(BusService, ActivatedOnFirstCallAnswersResultsOutputsErrorsAndMessages) {
    test::PrivateBus bus;
    const std::string serviceFile =
        bus.environment().value("XDG_DATA_HOME").toStdString() + "/dbus-1/services/KestBomEx.KestDBBomExcel.service";
    // Registering never writes through a link that lies beside the activation file.
    std::filesystem::create_directories(std::filesystem::path(serviceFile).parent_path());
    std::ofstream(bus.file("other")) << "kept";
    std::filesystem::create_symlink(bus.file("other"), serviceFile + ".tmp");
    const test::ProcessResult registration = bus.registerServer();
    ASSERT_EQ(registration.exitCode, 0) << registration.err;
    EXPECT_NE(test::readFile(serviceFile).find("Exec=" KBX_SERVER_EXE), std::string::npos);
    EXPECT_EQ(test::readFile(bus.file("other")), "kept");
    const std::string interfaceFile =
        bus.environment().value("XDG_DATA_HOME").toStdString() + "/dbus-1/interfaces/KestBomEx._KestDBBomExcel.xml";
    EXPECT_EQ(test::readFile(interfaceFile),
              test::readFile(std::string(KBX_SOURCE_DIR) + "/src/bus/KestBomEx._KestDBBomExcel.xml"));
    EXPECT_FALSE(bus.serviceHasOwner()) << "nothing runs before the first call";

    EXPECT_EQ(bus.gdbusCall("ReleaseExcel", {}).out, "()\n");

    // A run-time error is an error reply with number and text.
    const test::ProcessResult missing =
        bus.gdbusCall("ExportAsTxt", {"/nonexistent/w.xlsx", QString::fromStdString(bus.file("c.xlsx"))});
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_NE(missing.err.find("KestBomEx.RuntimeError.E53: 53: File not found"), std::string::npos) << missing.err;

    // ExportAsTxt2's status is an Integer on the wire.
    const test::ProcessResult text = bus.gdbusCall(
        "ExportAsTxt2",
        {QString::fromStdString(test::dataFile("plain.xlsx")), QString::fromStdString(bus.file("w.txt")), "BOM"});
    EXPECT_EQ(text.out, "(int16 0,)\n") << text.err;
    EXPECT_EQ(test::readFile(bus.file("w.txt")).substr(0, 6), "Title:");

    // Unregistered, the name no longer starts anything.
    EXPECT_TRUE(test::waitUntil([&] { return !bus.serviceHasOwner(); }));
    EXPECT_EQ(test::runProcess(KBX_SERVER_EXE, {"--unregister"}, bus.environment()).exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(serviceFile));
    EXPECT_FALSE(std::filesystem::exists(interfaceFile));
    test::runProcess("gdbus",
                     {"call", "--address", bus.address(), "--dest", "org.freedesktop.DBus", "--object-path",
                      "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.ReloadConfig"},
                     bus.environment());
    EXPECT_NE(bus.gdbusCall("ReleaseExcel", {}).err.find("ServiceUnknown"), std::string::npos);
}

TEST(BusService, LivesWhileACallerIsConnectedKeepsStateAcrossHostsAndLeavesAfterTheLast) {
    test::PrivateBus bus;
    ASSERT_EQ(bus.registerServer().exitCode, 0);
    const std::string first = bus.file("first.xlsx");
    const std::string second = bus.file("second.xlsx");
    makeHeadTemplate(first);
    makeHeadTemplate(second);

    test::HoldingHost holder(bus);
    ASSERT_TRUE(holder.called());
    const qint64 pid = bus.servicePid();
    ASSERT_GT(pid, 0);

    auto exportBom = [&](const std::string& file, const std::string& head, const char* clos) {
        return test::runProcess(
            "/usr/bin/python3",
            {kProbe, "export-bom", QString::fromStdString(file), QString::fromStdString(head), clos},
            bus.environment());
    };
    // One host keeps the workbook (Clos = 0) and leaves; the next host's call,
    // given another file, works on the workbook the server still holds.
    EXPECT_EQ(exportBom(first, "eins", "0").out, "{\"ok\": [\"1\", \"" + first + "\"]}\n");
    EXPECT_EQ(exportBom(second, "zwei", "1").out, "{\"ok\": [\"1\", \"" + second + "\"]}\n");
    EXPECT_EQ(cellA1(first), "eins\n");
    EXPECT_EQ(cellA1(second), "$head:title\n") << "the held workbook was used, not the named one";
    // Clos = 1 dropped the held workbook: now the named file is opened.
    exportBom(second, "drei", "1");
    EXPECT_EQ(cellA1(second), "drei\n");
    EXPECT_EQ(bus.servicePid(), pid) << "one server process served every host";
    EXPECT_TRUE(test::processAlive(pid));

    holder.leave();
    EXPECT_TRUE(test::waitUntil([&] { return !bus.serviceHasOwner(); }))
        << "the server stayed after the last host left";
    EXPECT_TRUE(test::waitUntil([&] { return !test::processAlive(pid); }));
}

TEST(BusService, MalformedCallsGetErrorRepliesAndTheServerGoesOn) {
    test::PrivateBus bus;
    ASSERT_EQ(bus.registerServer().exitCode, 0);
    test::HoldingHost holder(bus);
    ASSERT_TRUE(holder.called());
    const qint64 pid = bus.servicePid();

    const test::ProcessResult probe =
        test::runProcess("/usr/bin/python3", {kProbe, "malformed"}, bus.environment(), {}, 180000);
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    const std::string& out = probe.out;
    auto line = [&](const std::string& name) {
        const std::size_t at = out.find("\"case\": \"" + name + "\"");
        if (at == std::string::npos) return std::string();
        return out.substr(out.rfind('\n', at) + 1, out.find('\n', at) - out.rfind('\n', at) - 1);
    };
    EXPECT_NE(line("wrong_signature").find("\"error\": \"org.freedesktop.DBus.Error.UnknownMethod\""),
              std::string::npos)
        << out;
    EXPECT_NE(line("dictionary").find("KestBomEx.RuntimeError.E13"), std::string::npos) << out;
    EXPECT_NE(line("dictionary").find("13: Type mismatch"), std::string::npos) << out;
    for (const char* name : {"unknown_tag", "tag_extra_members", "dictionary_in_array"})
        EXPECT_NE(line(name).find("KestBomEx.RuntimeError.E13"), std::string::npos) << name << "\n" << out;
    EXPECT_NE(line("array_not_array").find("KestBomEx.RuntimeError.E13"), std::string::npos) << out;
    EXPECT_NE(line("date_out_of_range").find("6: Overflow: a Date must lie between the years 100 and 9999"),
              std::string::npos)
        << out;
    // Answered, one way or the other, without bringing the server down.
    EXPECT_FALSE(line("huge_array").empty()) << out;
    EXPECT_EQ(line("huge_array").find("NoReply"), std::string::npos) << out;
    EXPECT_FALSE(line("record_size_max").empty()) << out;
    EXPECT_EQ(line("record_size_max").find("NoReply"), std::string::npos) << out;
    EXPECT_NE(line("after_all_that").find("\"ok\""), std::string::npos) << out;
    EXPECT_EQ(bus.servicePid(), pid);
    EXPECT_TRUE(test::processAlive(pid));
    holder.leave();
}

// The activation file quotes the server's path, so an install folder whose
// name has blanks, quotes, $ and a backslash still starts that very file.
TEST(BusService, StartsFromAnInstallFolderWhoseNameNeedsQuoting) {
    test::PrivateBus bus;
    const std::filesystem::path folder = bus.file("Kest BomEx's \"bin\" $HOME \\ (1)");
    std::filesystem::create_directories(folder);
    const std::filesystem::path server = folder / "kestbomex-server";
    std::filesystem::copy_file(KBX_SERVER_EXE, server);
    const test::ProcessResult registration =
        test::runProcess(QString::fromStdString(server.string()), {"--register"}, bus.environment());
    ASSERT_EQ(registration.exitCode, 0) << registration.err;

    test::HoldingHost holder(bus);
    EXPECT_TRUE(holder.called()) << "activation failed";
    const qint64 pid = bus.servicePid();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe"), server);
    holder.leave();
}

// A message goes to the host whose call showed it, once as MessageShown and
// once with the method and the number of the call; other hosts get nothing.
TEST(BusService, MessagesGoToTheCallingHostOnlyAndNameTheirCall) {
    test::PrivateBus bus;
    ASSERT_EQ(bus.registerServer().exitCode, 0);
    const test::ProcessResult probe = test::runProcess(
        "/usr/bin/python3", {kProbe, "messages", "/nonexistent/t.xlsx", QString::fromStdString(bus.file("o.xlsx"))},
        bus.environment());
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    const std::string text = "\"Failed to obtain COM object to Workbook from Excel\", \"KestBomEx\"";
    EXPECT_EQ(probe.out, "{\"first\": [[\"MessageShown\", " + text + "], [\"MessageShownForCall\", " + text +
                             ", \"ExportPlain\", \"1\"], [\"MessageShown\", " + text + "], [\"MessageShownForCall\", " +
                             text + ", \"ExportPlain\", \"2\"]], \"second\": []}\n");
}

// GetBomParams without a display hands Profiles back as it came, so every
// kind of Variant makes the trip to the server and back.
TEST(BusService, VariantsOfEveryKindTravelBothWays) {
    test::PrivateBus bus;
    ASSERT_EQ(bus.registerServer().exitCode, 0);
    const test::ProcessResult echo = test::runProcess("/usr/bin/python3", {kProbe, "echo"}, bus.environment());
    ASSERT_EQ(echo.exitCode, 0) << echo.err;
    const std::vector<std::string> expected = {
        R"({"case": "empty", "back": ["Struct", [["String", "Empty"]]]})",
        R"({"case": "null", "back": ["Struct", [["String", "Null"]]]})",
        R"({"case": "date", "back": ["Struct", [["String", "Date"], ["Double", 45000.75]]]})",
        R"({"case": "currency", "back": ["Struct", [["String", "Currency"], ["Int64", 123456]]]})",
        R"({"case": "boolean", "back": ["Boolean", true]})",
        R"({"case": "integer", "back": ["Int16", -7]})",
        R"({"case": "long", "back": ["Int32", 2147483647]})",
        R"({"case": "double", "back": ["Double", 2.5]})",
        R"({"case": "string", "back": ["String", "Geh\u00e4use"]})",
        R"({"case": "byte", "back": ["Int16", 200]})",
        R"({"case": "uint32_big", "back": ["Double", 4000000000.0]})",
        R"({"case": "int64_small", "back": ["Int32", -5]})",
        R"({"case": "string_array", "back": ["Array", [["String", "a"], ["String", "b"]]]})",
        R"({"case": "nested", "back": ["Array", [["Int32", 1], ["Array", [["String", "x"]]], )"
        R"(["Struct", [["String", "Empty"]]]]]})",
    };
    std::string all;
    for (const std::string& line : expected) all += line + "\n";
    EXPECT_EQ(echo.out, all);
}

TEST(BusService, PythonExampleClientExportsAPlainList) {
    test::PrivateBus bus;
    ASSERT_EQ(bus.registerServer().exitCode, 0);
    const std::string templ = test::dataFile("plain.xlsx");
    const std::string output = bus.file("plain_out.xlsx");
    const test::ProcessResult run = test::runProcess("/usr/bin/python3",
                                                     {QString(KBX_EXAMPLES_DIR) + "/python/export_plain_client.py",
                                                      QString::fromStdString(templ), QString::fromStdString(output)},
                                                     bus.environment());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "ExportPlain returned 1\n");
    ASSERT_TRUE(std::filesystem::exists(output)) << run.err;
    const test::ReadBack book(output);
    EXPECT_EQ(book.value("BOM!B1"), "Pump assembly");
    EXPECT_EQ(book.value("BOM!B5"), "Housing");
    EXPECT_EQ(book.value("BOM!B8"), "Screw M6");  // after the gap row of number 3
}

}  // namespace
}  // namespace kbx
