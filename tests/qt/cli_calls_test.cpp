// The command line: one set of cases run in process and through the bus must
// print the same JSON; the friendly commands read JSON and CSV BOM files.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "private_bus.h"

namespace kbx {
namespace {

struct CliCase {
    const char* method;
    std::string input;
    std::string expected;
    int exitCode;
};

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(bus.registerServer().exitCode, 0); }

    test::ProcessResult run(const QStringList& args, const std::string& input = {}) const {
        return test::runProcess(KBX_CLI_EXE, args, bus.environment(), input);
    }

    test::PrivateBus bus;
};

TEST_F(CommandLine, CallPrintsTheSameJsonInProcessAndThroughTheBus) {
    const std::string workbook = bus.file("w.xlsx");
    test::runPython(
        "import openpyxl, sys\n"
        "wb = openpyxl.Workbook()\n"
        "wb.active.title = 'Liste'\n"
        "wb['Liste']['A1'] = '$head:title'\n"
        "wb.save(sys.argv[1])\n",
        {workbook});
    const std::vector<CliCase> cases = {
        {"ReleaseExcel", "{}", "{\"result\":null}\n", 0},
        // Headless: the dialog ends as Cancel and every output comes back as passed.
        {"GetBomParams",
         R"({"KestDBDir": "/data", "Profiles": [{"$type": "Date", "value": 45000.25}, {"$type": "Null"},
             {"$type": "Currency", "value": 1.23456}, {"$type": "Empty"}], "reverse": 1,
             "EmBed": 0, "templte": "t", "ExcelFileName": "xlsx"})",
         "{\"EmBed\":0,\"ExcelFileName\":\"xlsx\",\"Profiles\":[{\"$type\":\"Date\",\"value\":45000.25},null,"
         "{\"$type\":\"Currency\",\"value\":1.2346},{\"$type\":\"Empty\"}],"
         "\"result\":1,\"reverse\":1,\"templte\":\"t\"}\n",
         0},
        // 2958466 is 1 January 10000, the first day past the Date range.
        {"GetBomParams",
         R"({"KestDBDir": "", "Profiles": {"$type": "Date", "value": 2958466}, "reverse": 0, "EmBed": 0,
             "templte": "", "ExcelFileName": ""})",
         "{\"error\":{\"description\":\"Overflow: a Date must lie between the years 100 and 9999\",\"number\":6}}\n",
         3},
        {"ExportBomExcel",
         R"({"HeadNames": ["title"], "HeadVals": ["Pumpe"], "RecordSize": 1, "PosNames": ["posnr"],
             "PosVals": [], "ExcelFileName": ")" +
             workbook + R"(", "Language": 0, "KestDBDir": "", "EmBed": 0,
             "Profile": "Liste", "reverse": 0, "templte": "", "Clos": 1, "SheetName": ""})",
         "{\"ExcelFileName\":\"" + workbook + "\",\"result\":1}\n", 0},
        {"ExportAsTxt", R"({"ExcelName": "/nonexistent/w.xlsx", "TxtName": "/nonexistent/c.xlsx"})",
         "{\"error\":{\"description\":\"File not found: '/nonexistent/w.xlsx'\",\"number\":53}}\n", 3},
        {"ExportBomExcel",
         R"({"HeadNames": ["title"], "HeadVals": ["x"], "RecordSize": 1, "PosNames": ["posnr"],
             "PosVals": 5, "ExcelFileName": "/nonexistent/w.xlsx", "Language": 0, "KestDBDir": "", "EmBed": 0,
             "Profile": "", "reverse": 0, "templte": "", "Clos": 1, "SheetName": ""})",
         "{\"error\":{\"description\":\"Type mismatch\",\"number\":13}}\n", 3},
        {"ExportAsTxt", R"({"ExcelName": "a.xlsx"})",
         "{\"error\":{\"description\":\"Argument not optional: TxtName\",\"number\":449}}\n", 3},
        {"ExportAsTxt2", R"({"ExcelName": "a", "TxtName": "b", "SheetName": "c", "Extra": 1})",
         "{\"error\":{\"description\":\"Named argument not found: Extra\",\"number\":448}}\n", 3},
        {"CreateSummaryExcel",
         R"({"PosNames": [], "HeadNames": [], "PosVals": [], "RecordSize": 2147483648, "TemplateFile": "",
             "ExcelFile": "", "Language": 0, "Company": 0, "PosPerSheet": 1})",
         "{\"error\":{\"description\":\"Overflow\",\"number\":6}}\n", 3},
    };
    for (const CliCase& c : cases) {
        for (const bool overBus : {false, true}) {
            QStringList args{"call", c.method};
            if (overBus) args << "--bus";
            const test::ProcessResult r = run(args, c.input);
            EXPECT_EQ(r.out, c.expected) << c.method << (overBus ? " --bus" : "") << "\n" << r.err;
            EXPECT_EQ(r.exitCode, c.exitCode) << c.method << (overBus ? " --bus" : "");
        }
    }
    EXPECT_EQ(test::ReadBack(workbook).value("Liste!A1"), "Pumpe");
}

TEST_F(CommandLine, FriendlyCommandsReadJsonAndCsvBoms) {
    const std::string templ = test::dataFile("plain.xlsx");
    const std::string csv = bus.file("bom.csv");
    std::ofstream(csv) << "@head,title,\"Pumpe, klein\"\n"
                          "name,count,posnr\n"
                          "Gehäuse,1,1\n"
                          "\"Schraube \"\"M6\"\"\",8,2\n";
    const std::string json = bus.file("bom.json");
    std::ofstream(json) << R"({"HeadNames": ["title"], "HeadVals": ["Getriebe"], "RecordSize": 3,
        "PosNames": ["posnr", "name", "count", "posnr", "name", "count"],
        "PosVals": [1, "Welle", 2, 2, "Lager", 4]})";

    const std::string fromCsv = bus.file("from_csv.xlsx");
    const test::ProcessResult csvRun = run(
        {"export-plain", QString::fromStdString(csv), QString::fromStdString(templ), QString::fromStdString(fromCsv)});
    EXPECT_EQ(csvRun.out, "{\"result\":1}\n") << csvRun.err;
    // Title, then per row number, name and count.
    const auto cells = [](const std::string& file) {
        const test::ReadBack book(file);
        std::string text = book.value("BOM!B1");
        for (const char* cell : {"A5", "B5", "E5", "A6", "B6", "E6"})
            text += "|" + book.value(std::string("BOM!") + cell);
        return text;
    };
    EXPECT_EQ(cells(fromCsv), "Pumpe, klein|1|Gehäuse|1|2|Schraube \"M6\"|8");

    const std::string fromJson = bus.file("from_json.xlsx");
    const test::ProcessResult jsonRun = run({"export-plain", QString::fromStdString(json),
                                             QString::fromStdString(templ), QString::fromStdString(fromJson), "--bus"});
    EXPECT_EQ(jsonRun.out, "{\"result\":1}\n") << jsonRun.err;
    EXPECT_EQ(cells(fromJson), "Getriebe|1|Welle|2|2|Lager|4");

    // copy: one sheet as tab-separated text.
    const std::string text = bus.file("bom.txt");
    const test::ProcessResult copyRun =
        run({"copy", QString::fromStdString(fromJson), QString::fromStdString(text), "--sheet", "BOM"});
    EXPECT_EQ(copyRun.out, "{\"result\":0}\n") << copyRun.err;
    EXPECT_NE(test::readFile(text).find("2\tLager\t"), std::string::npos) << test::readFile(text);

    // Malformed BOM file and usage errors.
    std::ofstream(bus.file("bad.csv")) << "posnr,name\n1,\"open quote\n";
    EXPECT_EQ(run({"export-plain", QString::fromStdString(bus.file("bad.csv")), QString::fromStdString(templ),
                   QString::fromStdString(bus.file("x.xlsx"))})
                  .exitCode,
              3);
    EXPECT_EQ(run({"export-plain", QString::fromStdString(csv)}).exitCode, 2);
    EXPECT_EQ(run({"frobnicate"}).exitCode, 2);
    const test::ProcessResult noValue =
        run({"copy", QString::fromStdString(fromJson), QString::fromStdString(text), "--sheet"});
    EXPECT_EQ(noValue.exitCode, 2);
    EXPECT_NE(noValue.err.find("option --sheet needs a value"), std::string::npos) << noValue.err;
    EXPECT_EQ(run({"call", "NoSuchMethod"}, "{}").exitCode, 2);
    EXPECT_EQ(run({"call", "ReleaseExcel"}, "not json").exitCode, 2);
}

}  // namespace
}  // namespace kbx
