#include "xlsbridge/format_bridge.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/test_support.h"
#include "value/runtime_error.h"

namespace kbx::test {
namespace {

namespace fs = std::filesystem;
using xlsbridge::convertToXlsx;
using xlsbridge::convertXlsxToXls;
using xlsbridge::ForeignFormat;
using xlsbridge::foreignFormatOf;

std::string writeScript(const TempDir& dir, const std::string& name, const std::string& body) {
    const std::string path = dir.file(name);
    std::ofstream(path) << "#!/bin/sh\n" << body;
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

std::string copyData(const TempDir& dir, const std::string& dataName, const std::string& as) {
    const std::string target = dir.file(as);
    fs::copy_file(dataFile(dataName), target);
    return target;
}

std::vector<std::string> directoryNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool isOle2File(const std::string& path) {
    const std::string bytes = readFile(path).substr(0, 8);
    return bytes == std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
}

std::string readBack(const std::string& path) {
    return runPython(readFile(dataFile("copyexport/read_back.py")), {path});
}

bool hasLine(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// True while the process exists and is not a zombie.
bool processRunning(const std::string& pid) {
    const std::string stat = readFile("/proc/" + pid + "/stat");
    const size_t close = stat.rfind(')');
    if (stat.empty() || close == std::string::npos || close + 2 >= stat.size()) return false;
    const char state = stat[close + 2];
    return state != 'Z' && state != 'X';
}

TEST(FormatBridge, RecognisesForeignFormatsByExtension) {
    EXPECT_EQ(foreignFormatOf("/a/b/T.xls"), ForeignFormat::Xls);
    EXPECT_EQ(foreignFormatOf("t.XLS"), ForeignFormat::Xls);
    EXPECT_EQ(foreignFormatOf("dir.x/t.Ods"), ForeignFormat::Ods);
    EXPECT_EQ(foreignFormatOf("t.xlsx"), std::nullopt);
    EXPECT_EQ(foreignFormatOf("t.xlsm"), std::nullopt);
    EXPECT_EQ(foreignFormatOf("xls"), std::nullopt);
    EXPECT_EQ(foreignFormatOf("/a.xls/t"), std::nullopt);

    {
        EnvGuard program("KESTBOMEX_SOFFICE", std::nullopt);
        EnvGuard limit("KESTBOMEX_CONVERT_TIMEOUT", std::nullopt);
        EXPECT_EQ(xlsbridge::converterProgram(), "soffice");
        EXPECT_EQ(xlsbridge::conversionTimeLimit(), std::chrono::seconds(120));
    }
    {
        EnvGuard program("KESTBOMEX_SOFFICE", "/opt/lo/soffice");
        EnvGuard limit("KESTBOMEX_CONVERT_TIMEOUT", "7");
        EXPECT_EQ(xlsbridge::converterProgram(), "/opt/lo/soffice");
        EXPECT_EQ(xlsbridge::conversionTimeLimit(), std::chrono::seconds(7));
    }
    for (const char* bad : {"0", "-3", "ten", "5s", ""}) {
        EnvGuard limit("KESTBOMEX_CONVERT_TIMEOUT", std::string(bad));
        EXPECT_EQ(xlsbridge::conversionTimeLimit(), std::chrono::seconds(120)) << bad;
    }
}

TEST(FormatBridge, MissingConverterNamesTheProgramAndSaysXlsxWorksWithoutIt) {
    TempDir dir;
    const std::string xls = copyData(dir, "copyexport/three_sheets.xls", "template.xls");
    const std::string target = dir.file("out.xls");
    std::ofstream(target) << "old";

    for (const std::string& program : {dir.file("no-such-dir/soffice"), std::string("kbx-no-such-converter")}) {
        EnvGuard guard("KESTBOMEX_SOFFICE", program);
        RuntimeError opening = errorOf([&] { convertToXlsx(xls); });
        EXPECT_EQ(opening.number(), err::Application);
        EXPECT_NE(opening.description().find("\"" + program + "\""), std::string::npos) << opening.description();
        EXPECT_NE(opening.description().find("not installed"), std::string::npos) << opening.description();
        EXPECT_NE(opening.description().find(".xlsx workbooks work without it"), std::string::npos);
        EXPECT_NE(opening.description().find(xls), std::string::npos);

        RuntimeError saving = errorOf([&] { convertXlsxToXls(dataFile("copyexport/three_sheets.xlsx"), target); });
        EXPECT_EQ(saving.number(), err::Application);
        EXPECT_NE(saving.description().find("\"" + program + "\""), std::string::npos) << saving.description();
        EXPECT_NE(saving.description().find(".xlsx workbooks work without it"), std::string::npos);
    }
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(directoryNames(dir.path()), (std::vector<std::string>{"out.xls", "template.xls"}));
}

TEST(FormatBridge, FailingConverterBecomesARuntimeErrorAndLeavesTheTargetAlone) {
    TempDir dir;
    const std::string xls = copyData(dir, "copyexport/three_sheets.xls", "template.xls");
    const std::string target = dir.file("out.xls");
    std::ofstream(target) << "old";

    {
        EnvGuard guard("KESTBOMEX_SOFFICE",
                       writeScript(dir, "fails.sh", "echo 'Error: the disk is on fire' >&2\nexit 3\n"));
        RuntimeError opening = errorOf([&] { convertToXlsx(xls); });
        EXPECT_EQ(opening.number(), err::Application);
        EXPECT_NE(opening.description().find(xls), std::string::npos) << opening.description();
        EXPECT_NE(opening.description().find("exit code 3"), std::string::npos) << opening.description();
        EXPECT_NE(opening.description().find("Error: the disk is on fire"), std::string::npos);

        RuntimeError saving = errorOf([&] { convertXlsxToXls(dataFile("copyexport/three_sheets.xlsx"), target); });
        EXPECT_EQ(saving.number(), err::Application);
        EXPECT_NE(saving.description().find("exit code 3"), std::string::npos) << saving.description();
    }
    {
        // Exit code 0 without a result file, as the converter does for a file it cannot load.
        EnvGuard guard("KESTBOMEX_SOFFICE", writeScript(dir, "silent.sh", "echo 'nothing done'\nexit 0\n"));
        RuntimeError opening = errorOf([&] { convertToXlsx(xls); });
        EXPECT_EQ(opening.number(), err::Application);
        EXPECT_NE(opening.description().find("wrote no result"), std::string::npos) << opening.description();
        EXPECT_NE(opening.description().find("nothing done"), std::string::npos) << opening.description();
        RuntimeError saving = errorOf([&] { convertXlsxToXls(dataFile("copyexport/three_sheets.xlsx"), target); });
        EXPECT_NE(saving.description().find("wrote no result"), std::string::npos) << saving.description();
    }
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(directoryNames(dir.path()),
              (std::vector<std::string>{"fails.sh", "out.xls", "silent.sh", "template.xls"}));
}

TEST(FormatBridge, OverrunningConverterIsStoppedWithItsWholeProcessGroup) {
    TempDir dir;
    const std::string xls = copyData(dir, "copyexport/three_sheets.xls", "template.xls");
    const std::string pidFile = dir.file("helper.pid");
    EnvGuard guard("KESTBOMEX_SOFFICE",
                   writeScript(dir, "hangs.sh", "sleep 300 &\necho $! > '" + pidFile + "'\nwait\n"));
    EnvGuard limit("KESTBOMEX_CONVERT_TIMEOUT", "1");

    const auto start = std::chrono::steady_clock::now();
    RuntimeError error = errorOf([&] { convertToXlsx(xls); });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(error.number(), err::Application);
    EXPECT_NE(error.description().find("did not finish within 1 s"), std::string::npos) << error.description();
    EXPECT_LT(elapsed, std::chrono::seconds(15));

    std::string helper = readFile(pidFile);
    while (!helper.empty() && (helper.back() == '\n' || helper.back() == '\r')) helper.pop_back();
    ASSERT_FALSE(helper.empty());
    for (int i = 0; i < 100 && processRunning(helper); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(processRunning(helper)) << "the converter's helper process " << helper << " still runs";
}

// A stand-in converter: records its arguments, takes a moment, then writes
// "<outdir>/<input name>.xlsx" as the real one does.
std::string writeFakeConverter(const TempDir& dir, const std::string& argsFile) {
    return writeScript(dir, "fake-soffice.sh",
                       "printf '%s\\n' \"$@\" > '" + argsFile +
                           "'\n"
                           "out=''; prev=''; for a in \"$@\"; do [ \"$prev\" = --outdir ] && out=\"$a\"; prev=\"$a\"; "
                           "input=\"$a\"; done\n"
                           "mkdir -p \"$out\"; sleep 0.3\n"
                           "name=$(basename \"$input\"); printf 'converted' > \"$out/${name%.*}.xlsx\"\n");
}

TEST(FormatBridge, PassesAPrivateProfileAndWaitsForTheResultAlsoWhenChildrenAreReapedBySystem) {
    TempDir dir;
    const std::string xls = copyData(dir, "copyexport/three_sheets.xls", "-Vorlage.xls");
    const std::string argsFile = dir.file("args.txt");
    EnvGuard guard("KESTBOMEX_SOFFICE", writeFakeConverter(dir, argsFile));
    {
        const xlsbridge::TemporaryXlsx converted = convertToXlsx(xls);
        EXPECT_EQ(readFile(converted.path()), "converted");
    }
    const std::vector<std::string> args = readLines(argsFile);
    ASSERT_GE(args.size(), 6u);
    EXPECT_TRUE(args.front().starts_with("-env:UserInstallation=file:///")) << args.front();
    EXPECT_NE(std::find(args.begin(), args.end(), "--headless"), args.end());
    EXPECT_NE(std::find(args.begin(), args.end(), "--infilter=MS Excel 97"), args.end());
    EXPECT_TRUE(args.back().starts_with("/")) << "the input is an absolute path of a private copy: " << args.back();
    EXPECT_EQ(args.back().find("Vorlage"), std::string::npos);

    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGCHLD, &ignore, &previous);
    try {
        const xlsbridge::TemporaryXlsx converted = convertToXlsx(xls);
        EXPECT_EQ(readFile(converted.path()), "converted");
    } catch (const RuntimeError& e) {
        ADD_FAILURE() << e.description();
    }
    ::sigaction(SIGCHLD, &previous, nullptr);
}

TEST(FormatBridge, MissingSourceAndWrongKindOfFile) {
    TempDir dir;
    RuntimeError missing = errorOf([&] { convertToXlsx(dir.file("none.xls")); });
    EXPECT_EQ(missing.number(), err::FileNotFound);
    EXPECT_NE(missing.description().find("none.xls"), std::string::npos);

    RuntimeError notForeign = errorOf([&] { convertToXlsx(dataFile("copyexport/three_sheets.xlsx")); });
    EXPECT_EQ(notForeign.number(), err::Application);

    RuntimeError noTargetDir =
        errorOf([&] { convertXlsxToXls(dataFile("copyexport/three_sheets.xlsx"), dir.file("no/such/out.xls")); });
    EXPECT_EQ(noTargetDir.number(), err::PathNotFound);
}

TEST(FormatBridge, OpensXlsAndOdsAsTemporaryXlsxWithoutTouchingTheSource) {
    REQUIRE_CONVERTER();
    TempDir dir;
    const std::string xls = copyData(dir, "copyexport/three_sheets.xls", "Vorlage mit Leerzeichen.xls");
    const std::string before = readFile(xls);
    std::string convertedPath;
    {
        xlsbridge::TemporaryXlsx converted = convertToXlsx(xls);
        convertedPath = converted.path();
        EXPECT_EQ(fs::path(convertedPath).extension(), ".xlsx");
        const std::string cells = readBack(convertedPath);
        EXPECT_TRUE(hasLine(cells, "sheet\tKopf")) << cells;
        EXPECT_LT(cells.find("sheet\tKopf"), cells.find("sheet\tListe"));
        EXPECT_LT(cells.find("sheet\tListe"), cells.find("sheet\tNotizen"));
        EXPECT_TRUE(hasLine(cells, "cell\tListe\tB3\tTab\\there")) << cells;
        EXPECT_TRUE(hasLine(cells, "cell\tListe\tB4\tMutter 3/4\"")) << cells;
        EXPECT_TRUE(hasLine(cells, "cell\tListe\tD2\t2026-03-14T00:00:00")) << cells;
        EXPECT_TRUE(hasLine(cells, "cell\tListe\tE3\t1234.5")) << cells;

        xlsbridge::TemporaryXlsx moved = std::move(converted);
        EXPECT_TRUE(fs::exists(moved.path()));
    }
    EXPECT_FALSE(fs::exists(fs::path(convertedPath).parent_path())) << "the temporary directory is left behind";
    EXPECT_EQ(readFile(xls), before);
    EXPECT_EQ(directoryNames(dir.path()), (std::vector<std::string>{"Vorlage mit Leerzeichen.xls"}));

    // An .ods made by the converter itself from the openpyxl workbook.
    runPython(R"(
import os, subprocess, sys, tempfile
src, out = sys.argv[1], sys.argv[2]
with tempfile.TemporaryDirectory() as work:
    subprocess.run(["soffice", "-env:UserInstallation=file://" + work + "/p", "--headless",
                    "--convert-to", "ods", "--outdir", out, src],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
)",
              {dataFile("copyexport/three_sheets.xlsx"), dir.path().string()});
    xlsbridge::TemporaryXlsx fromOds = convertToXlsx(dir.file("three_sheets.ods"));
    const std::string odsCells = readBack(fromOds.path());
    EXPECT_TRUE(hasLine(odsCells, "cell\tKopf\tB1\tZN-4711")) << odsCells;
    EXPECT_TRUE(hasLine(odsCells, "cell\tListe\tC5\t1000000")) << odsCells;
}

TEST(FormatBridge, UnloadableXlsGivesTheConvertersMessage) {
    REQUIRE_CONVERTER();
    TempDir dir;
    const std::string bad = dir.file("bad.xls");
    std::ofstream(bad) << "this is plain text, not a workbook\n";
    RuntimeError error = errorOf([&] { convertToXlsx(bad); });
    EXPECT_EQ(error.number(), err::Application);
    EXPECT_NE(error.description().find(bad), std::string::npos) << error.description();
    EXPECT_NE(error.description().find("could not be loaded"), std::string::npos) << error.description();
}

TEST(FormatBridge, SavesARealXlsOverTheTargetInOneStep) {
    REQUIRE_CONVERTER();
    TempDir dir;
    const std::string target = dir.file("Arbeitskopie.xls");
    std::ofstream(target) << "old";
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    convertXlsxToXls(dataFile("copyexport/three_sheets.xlsx"), target);
    EXPECT_TRUE(isOle2File(target));
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(directoryNames(dir.path()), (std::vector<std::string>{"Arbeitskopie.xls"}));

    const std::string cells = readBack(target);
    EXPECT_TRUE(hasLine(cells, "sheet\tListe")) << cells;
    EXPECT_TRUE(hasLine(cells, "cell\tListe\tB5\tsay \"hi\"")) << cells;
    EXPECT_TRUE(hasLine(cells, "cell\tListe\tD3\t2026-12-24T00:00:00")) << cells;
    EXPECT_TRUE(hasLine(cells, "cell\tListe\tE4\t0.125")) << cells;
    EXPECT_TRUE(hasLine(cells, "cell\tNotizen\tA1\tnur Notiz")) << cells;

    // A new target in a directory that holds nothing else.
    const std::string fresh = dir.file("neu.xls");
    convertXlsxToXls(dataFile("copyexport/three_sheets.xlsx"), fresh);
    EXPECT_TRUE(isOle2File(fresh));
}

TEST(FormatBridge, SavesAnOpenDocumentSpreadsheet) {
    REQUIRE_CONVERTER();
    TempDir dir;
    const std::string target = dir.file("Kopie.ods");
    xlsbridge::convertXlsxTo(dataFile("copyexport/three_sheets.xlsx"), target, ForeignFormat::Ods);
    const std::string bytes = readFile(target);
    EXPECT_EQ(bytes.substr(0, 2), "PK");
    EXPECT_NE(bytes.find("mimetypeapplication/vnd.oasis.opendocument.spreadsheet"), std::string::npos);
    EXPECT_EQ(directoryNames(dir.path()), (std::vector<std::string>{"Kopie.ods"}));

    const xlsbridge::TemporaryXlsx back = convertToXlsx(target);
    const std::string cells = readBack(back.path());
    EXPECT_TRUE(hasLine(cells, "cell\tListe\tB5\tsay \"hi\"")) << cells;
    EXPECT_TRUE(hasLine(cells, "cell\tNotizen\tA1\tnur Notiz")) << cells;
}

}  // namespace
}  // namespace kbx::test
