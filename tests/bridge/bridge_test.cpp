// The .xls and .ods side: conversions by LibreOffice (the real converter, or
// none, or one that hangs), its UNO helper, and the methods on 97-2003
// templates end to end.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>

#include "automation/kest_db_bom_excel.h"
#include "dialog/bom_options_dialog.h"
#include "support/test_support.h"
#include "xlsbridge/format_bridge.h"
#include "xlsbridge/uno_helper.h"

namespace kbx::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using xlsbridge::convertToXlsx;
using xlsbridge::convertXlsxToXls;

TEST(FormatBridge, ForeignFormatsByExtension) {
    using xlsbridge::ForeignFormat;
    const std::pair<const char*, std::optional<ForeignFormat>> rows[] = {
        {"/a/b/T.xls", ForeignFormat::Xls}, {"t.XLS", ForeignFormat::Xls}, {"dir.x/t.Ods", ForeignFormat::Ods},
        {"t.xlsx", std::nullopt},           {"t.xlsm", std::nullopt},      {"xls", std::nullopt},
        {"/a.xls/t", std::nullopt}};
    for (const auto& [name, format] : rows) EXPECT_EQ(xlsbridge::foreignFormatOf(name), format) << name;
}

TEST(FormatBridge, MissingFailingOrOverrunningConvertersFailClearlyAndLeaveTheTarget) {
    MethodRun run;
    const std::string xls = copyData(run.dir, "three_sheets.xls");
    const std::string target = run.dir.file("out.xls");
    std::ofstream(target) << "old";
    for (const std::string& program : {run.dir.file("missing/soffice"), std::string("kbx-no-such-converter")}) {
        EnvGuard converter("KESTBOMEX_SOFFICE", program);
        for (const RuntimeError& e : {errorOf([&] { convertToXlsx(xls); }),
                                      errorOf([&] { convertXlsxToXls(dataFile("basic.xlsx"), target); })}) {
            EXPECT_EQ(e.number(), err::Application);
            EXPECT_NE(e.description().find("\"" + program + "\""), std::string::npos) << e.description();
            EXPECT_NE(e.description().find(".xlsx workbooks work without it"), std::string::npos) << e.description();
        }
        // The engine says the same, and goes on with .xlsx workbooks.
        auto app = session::createExcelApplication();
        EXPECT_NE(errorOf([&] { app->GetWorkbooks().Open(xls, Variant(false), true); }).description().find(xls),
                  std::string::npos);
        auto book = app->GetWorkbooks().Open(dataFile("basic.xlsx"), Variant(false), true);
        EXPECT_EQ(errorOf([&] { book->SaveAs(run.dir.file("new.xls"), sheet::xl::FormatWorkbookNormal); }).number(),
                  err::Application);
    }
    {
        EnvGuard converter("KESTBOMEX_SOFFICE", "/bin/false");
        const RuntimeError e = errorOf([&] { convertXlsxToXls(dataFile("basic.xlsx"), target); });
        EXPECT_NE(e.description().find("exit code 1"), std::string::npos) << e.description();
        EnvGuard python("KESTBOMEX_PYTHON", run.dir.file("missing/python3"));
        EXPECT_NE(errorOf([&] { convertToXlsx(xls); }).description().find("python3-uno"), std::string::npos);
    }
    {
        // A converter that never ends is stopped at the time limit with its whole process group.
        const std::string script = run.dir.file("hangs.sh");
        std::ofstream(script) << "#!/bin/sh\nsleep 300 &\necho $! > '" << run.dir.file("helper.pid") << "'\nwait\n";
        fs::permissions(script, fs::perms::owner_all);
        EnvGuard converter("KESTBOMEX_SOFFICE", script);
        EnvGuard limit("KESTBOMEX_CONVERT_TIMEOUT", "1");
        const RuntimeError e = errorOf([&] { convertToXlsx(xls); });
        EXPECT_NE(e.description().find("did not start within 1 s"), std::string::npos) << e.description();
        const std::string helper = "/proc/" + readLines(run.dir.file("helper.pid")).at(0) + "/stat";
        EXPECT_TRUE(waitUntil([&] {
            const std::string stat = readFile(helper);
            return stat.empty() || stat.find(") Z") != std::string::npos;  // gone, or dead and not yet reaped
        })) << "the converter's helper still runs";
    }
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(fileNames(run.dir.path()), (Lines{"hangs.sh", "helper.pid", "out.xls", "three_sheets.xls"}));
    EXPECT_EQ(officeLeftovers(std::getenv("XDG_CACHE_HOME"), std::getenv("XDG_RUNTIME_DIR")), Lines{});
}

// A UNO helper that ends while a request waits is told apart from a read that
// was interrupted, whatever error number the caller's own calls left behind.
TEST(UnoHelper, OneThatEndsDuringARequestIsReportedEndedAtOnce) {
    TempDir dir;
    const std::string python = dir.file("python3");
    std::ofstream(python) << "#!/bin/sh\necho ready\nread request\n";
    fs::permissions(python, fs::perms::owner_all);
    EnvGuard helperPython("KESTBOMEX_PYTHON", python);
    xlsbridge::UnoHelper helper;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    const xlsbridge::UnoHelper::Answer answer = helper.ask({"connect", "pipe", "10"}, deadline, "t.xls", [] {
        errno = EINTR;
        return true;
    });
    EXPECT_EQ(answer.text(), "the UNO helper ended");
}

// A LibreOffice that stops answering is killed at the time limit, and the
// conversion fails naming the file and the converter.
TEST(FormatBridge, AConverterThatHangsIsKilledAtTheTimeLimitAndLeavesNothingBehind) {
    REQUIRE_CONVERTER();
    MethodRun run;
    const std::string xls = copyData(run.dir, "three_sheets.xls");
    convertToXlsx(xls);
    const std::string cache = std::getenv("XDG_CACHE_HOME");
    const std::vector<pid_t> office = officeProcesses(cache);
    ASSERT_EQ(office.size(), 1u);
    ::kill(office[0], SIGSTOP);
    EnvGuard limit("KESTBOMEX_CONVERT_TIMEOUT", "2");
    const RuntimeError e = errorOf([&] { convertToXlsx(xls); });
    EXPECT_EQ(e.number(), err::Application);
    for (const std::string& part :
         {"\"" + xls + "\"", std::string("soffice\""), std::string("did not finish within 2 s")})
        EXPECT_NE(e.description().find(part), std::string::npos) << e.description();
    EXPECT_TRUE(waitUntil([&] { return officeProcesses(cache).empty(); }));
    EXPECT_EQ(officeLeftovers(cache, std::getenv("XDG_RUNTIME_DIR")), Lines{});
    EXPECT_EQ(fileNames(run.dir.path()), Lines{"three_sheets.xls"});
}

TEST(FormatBridge, OpensXlsAndOdsAsTemporaryXlsxAndSavesOdsInOneStep) {
    REQUIRE_CONVERTER();
    TempDir dir;
    const std::string xls = copyData(dir, "three_sheets.xls", "Vorlage mit Leerzeichen.xls");
    const std::string before = readFile(xls);
    // A host that ignores SIGCHLD has its children reaped by the system.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGCHLD, &ignore, &previous);
    std::optional<xlsbridge::TemporaryXlsx> converted(convertToXlsx(xls));
    ::sigaction(SIGCHLD, &previous, nullptr);
    const ReadBack cells(converted->path());
    EXPECT_EQ(cells["sheets"], "Kopf,Liste,Notizen");
    for (const auto& [cell, value] : {std::pair{"Liste!B3", "Tab\\there"},
                                      {"Liste!B4", "Mutter 3/4\""},
                                      {"Liste!D2", "2026-03-14T00:00:00"},
                                      {"Liste!E3", "1234.5"}})
        EXPECT_EQ(cells.value(cell), value) << cell;
    const fs::path temporary = fs::path(converted->path()).parent_path();
    converted.reset();
    EXPECT_FALSE(fs::exists(temporary)) << "the temporary directory is left behind";
    EXPECT_EQ(readFile(xls), before);
    const std::string ods = dir.file("Kopie.ods");
    xlsbridge::convertXlsxTo(dataFile("three_sheets.xlsx"), ods, xlsbridge::ForeignFormat::Ods);
    EXPECT_EQ(fileNames(dir.path()), (Lines{"Kopie.ods", "Vorlage mit Leerzeichen.xls"}));
    const ReadBack back(convertToXlsx(ods).path());
    EXPECT_EQ(back.value("Liste!B5"), "say \"hi\"");
    EXPECT_EQ(back.value("Notizen!A1"), "nur Notiz");
    const std::string bad = dir.file("bad.xls");
    std::ofstream(bad) << "plain text, not a workbook\n";
    const RuntimeError e = errorOf([&] { convertToXlsx(bad); });
    EXPECT_NE(e.description().find(bad), std::string::npos) << e.description();
    EXPECT_NE(e.description().find("could not be loaded"), std::string::npos) << e.description();
}

// What a trip .xlsx -> .xls -> .xlsx keeps of basic.xlsx, as openpyxl sees it.
TEST(FormatBridge, SavesARealXlsOverTheTargetAndKeepsCellsFontsAndFormats) {
    REQUIRE_CONVERTER();
    TempDir dir;
    const std::string target = dir.file("Arbeitskopie.xls");
    std::ofstream(target) << "old";
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    convertXlsxToXls(dataFile("basic.xlsx"), target);
    EXPECT_TRUE(isOle2File(target));
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(fileNames(dir.path()), Lines{"Arbeitskopie.xls"});
    const ReadBack original(dataFile("basic.xlsx")), back(convertToXlsx(target).path());
    Lines lost;
    for (const auto& [key, value] : original.facts())
        if (!key.starts_with("part ") && !key.starts_with("type ") && back[key] != value)
            lost.push_back(key + ": " + value + " -> " + back[key]);
    // The logical value comes back as a formula that shows it, widths to 1/100 of a digit.
    EXPECT_EQ(lost, (Lines{"fmt Data!D2: yyyy-mm-dd -> yyyy\\-mm\\-dd", "value Data!C2: True -> =TRUE()",
                           "width Data!B: 20 -> 19.99", "width Second!B: 20 -> 19.99"}));
}

// The methods on 97-2003 workbooks: a working copy saved as .xls (the default
// hint), then filled in place in its own format.
TEST(XlsTemplates, WorkingCopyAndTemplateFillKeepThe97To2003Format) {
    REQUIRE_CONVERTER();
    MethodRun run;
    automation::KestDBBomExcel server;
    dialog::setBomOptionsDialogFactory(
        [] { return std::make_unique<dialog::AnsweredBomOptionsDialog>(dataFile("fill.xlsx")); });
    Variant profiles;
    int32_t reverse = 0, embed = 1;
    std::string templte, workingCopy;
    server.GetBomParams("", profiles, reverse, embed, templte, workingCopy);
    dialog::resetBomOptionsDialogFactory();
    ASSERT_TRUE(workingCopy.ends_with("KestDBBom.XLS")) << workingCopy;
    EXPECT_TRUE(isOle2File(workingCopy));
    const Variant names = array({Variant("posnr"), Variant("name")}), values = array({Variant(1), Variant("Welle")});
    server.ExportBomExcel(array({Variant("drawno")}), array({Variant("KB-1")}), 2, names, values, workingCopy, 0, "", 1,
                          "Parts", 0, templte, 1, "Parts");
    EXPECT_EQ(run.messages(), Lines{});
    EXPECT_TRUE(isOle2File(workingCopy));
    const ReadBack filled(workingCopy);
    EXPECT_EQ(filled["sheets"], "Cover,Parts,Reverse,Groups");
    EXPECT_EQ(filled.value("Parts!A1"), "KB-1");
    EXPECT_EQ(filled.value("Parts!B6"), "Welle");
}

}  // namespace
}  // namespace kbx::test
