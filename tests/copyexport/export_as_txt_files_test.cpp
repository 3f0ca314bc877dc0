// ExportAsTxt / ExportAsTxt2 on workbooks made by openpyxl (and converted by
// LibreOffice Calc for the 97-2003 format), with the results read back by
// openpyxl and by Python's csv reader.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "automation/kest_db_bom_excel.h"
#include "session/excel_references.h"
#include "support/test_support.h"
#include "value/runtime_error.h"

namespace kbx::test {
namespace {

namespace fs = std::filesystem;

std::string readBack(const std::string& path) {
    return runPython(readFile(dataFile("copyexport/read_back.py")), {path});
}

// The rows of a tab-separated file as Python's csv module reads them, one
// line per row, fields joined by " | ".
std::string tabRows(const std::string& path) {
    return runPython(R"(
import csv, sys
with open(sys.argv[1], newline="", encoding="utf-8") as f:
    for row in csv.reader(f, dialect="excel-tab"):
        print(" | ".join(field.replace("\t", "<TAB>") for field in row))
)",
                     {path});
}

std::string fileStart(const std::string& path, size_t n) { return readFile(path).substr(0, n); }

const std::string kOle2Magic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

// A test directory that is also the temporary directory, so that a log
// written by mistake would show up in it.
struct Fixture {
    PlatformGuard platformGuard;
    TempDir dir;
    EnvGuard temp{"TEMP", dir.path().string()};
    std::string source;

    explicit Fixture(const std::string& dataName, const std::string& as) : source(dir.file(as)) {
        fs::copy_file(dataFile(dataName), source);
    }
    bool logWritten() const { return fs::exists(dir.path() / "KestDBBomEx.log"); }
};

const char* const kListeRows =
    "Pos | Benennung | Menge | Datum | Preis\n"
    "1 | Schraube M6 | 12 | 14.03.2026 | 2.50\n"
    "2 | Tab<TAB>here | 3.75 | 24.12.2026 | 1234.50\n"
    "3 | Mutter 3/4\" | -7 | 02.01.2027 | 0.13\n"  // 0.125 as "0.00": halves round away from zero
    "4 | say \"hi\" | 1000000 |  | 42.00\n";

TEST(CopyExportFiles, ExportAsTxtWritesTheWholeWorkbookWhateverTheTargetsExtension) {
    Fixture f("copyexport/three_sheets.xlsx", "Stueckliste.xlsx");
    const std::string before = readFile(f.source);
    const std::string target = f.dir.file("kopie.txt");
    KestDBBomExcel server;

    EXPECT_EQ(server.ExportAsTxt(f.source, target), -1);
    EXPECT_EQ(fileStart(target, 2), "PK") << "a workbook package, not text";
    EXPECT_EQ(readBack(target), readBack(f.source));
    EXPECT_EQ(readFile(f.source), before);
    EXPECT_FALSE(f.logWritten());
    EXPECT_EQ(session::excelReferences().ExcelApp, nullptr);
    EXPECT_EQ(session::excelReferences().ExcelBook, nullptr);
    EXPECT_TRUE(f.platformGuard.messages->shown.empty());

    // An existing target is replaced.
    std::ofstream(f.dir.file("alt.xlsx")) << "old";
    EXPECT_EQ(server.ExportAsTxt(f.source, f.dir.file("alt.xlsx")), -1);
    EXPECT_EQ(readBack(f.dir.file("alt.xlsx")), readBack(f.source));
}

TEST(CopyExportFiles, ExportAsTxt2WritesOnlyTheNamedSheetAsDisplayedText) {
    Fixture f("copyexport/three_sheets.xlsx", "Stueckliste.xlsx");
    const std::string before = readFile(f.source);
    KestDBBomExcel server;

    // The workbook was saved with "Notizen" active; the named sheet is written.
    EXPECT_EQ(server.ExportAsTxt2(f.source, f.dir.file("liste.txt"), "Liste"), 0);
    EXPECT_EQ(tabRows(f.dir.file("liste.txt")), kListeRows);
    const std::string text = readFile(f.dir.file("liste.txt"));
    EXPECT_NE(text.find("\"Tab\there\""), std::string::npos) << "a field holding a tab is quoted";
    EXPECT_NE(text.find("\"say \"\"hi\"\"\""), std::string::npos) << "quotes inside are doubled";
    EXPECT_EQ(text.find("ZN-4711"), std::string::npos);
    EXPECT_EQ(text.find("nur Notiz"), std::string::npos);

    EXPECT_EQ(server.ExportAsTxt2(f.source, f.dir.file("kopf.txt"), "KOPF"), 0);
    EXPECT_EQ(tabRows(f.dir.file("kopf.txt")), "Zeichnung | ZN-4711\n");

    EXPECT_EQ(readFile(f.source), before);
    EXPECT_FALSE(f.logWritten());
    EXPECT_EQ(session::excelReferences().ExcelApp, nullptr);
    EXPECT_EQ(session::excelReferences().ExcelBook, nullptr);
}

TEST(CopyExportFiles, MissingSourceMissingSheetAndNonWorkbookAreErrors) {
    Fixture f("copyexport/three_sheets.xlsx", "Stueckliste.xlsx");
    const std::string before = readFile(f.source);
    KestDBBomExcel server;

    const std::string missing = f.dir.file("fehlt.xlsx");
    const RuntimeError copyMissing = errorOf([&] { server.ExportAsTxt(missing, f.dir.file("a.xlsx")); });
    EXPECT_EQ(copyMissing.number(), err::FileNotFound);
    EXPECT_NE(copyMissing.description().find("fehlt.xlsx"), std::string::npos) << copyMissing.description();
    const RuntimeError textMissing = errorOf([&] { server.ExportAsTxt2(missing, f.dir.file("b.txt"), "Liste"); });
    EXPECT_EQ(textMissing.number(), err::FileNotFound);
    EXPECT_EQ(errorOf([&] { server.ExportAsTxt2(f.dir.file("fehlt.xls"), f.dir.file("c.txt"), "Liste"); }).number(),
              err::FileNotFound);

    const RuntimeError noSheet = errorOf([&] { server.ExportAsTxt2(f.source, f.dir.file("d.txt"), "Fehlt"); });
    EXPECT_EQ(noSheet.number(), err::SubscriptOutOfRange);

    const std::string notBook = f.dir.file("notiz.xlsx");
    std::ofstream(notBook) << "just text\n";
    const RuntimeError notWorkbook = errorOf([&] { server.ExportAsTxt2(notBook, f.dir.file("e.txt"), "Liste"); });
    EXPECT_NE(notWorkbook.number(), 0);
    EXPECT_NE(notWorkbook.description().find("notiz.xlsx"), std::string::npos) << notWorkbook.description();

    for (const char* name : {"a.xlsx", "b.txt", "c.txt", "d.txt", "e.txt"}) EXPECT_FALSE(fs::exists(f.dir.file(name)));
    EXPECT_EQ(readFile(f.source), before);
    EXPECT_FALSE(f.logWritten());
}

TEST(CopyExportFiles, XlsTemplateThroughBothMethods) {
    REQUIRE_CONVERTER();
    Fixture f("copyexport/three_sheets.xls", "Vorlage.xls");
    const std::string before = readFile(f.source);
    KestDBBomExcel server;

    // The copy keeps the workbook's own format: a 97-2003 workbook named .txt.
    const std::string copy = f.dir.file("kopie.txt");
    EXPECT_EQ(server.ExportAsTxt(f.source, copy), -1);
    EXPECT_EQ(fileStart(copy, 8), kOle2Magic);
    const std::string cells = readBack(copy);
    EXPECT_EQ(cells, readBack(f.source));
    EXPECT_NE(cells.find("cell\tListe\tB3\tTab\\there"), std::string::npos) << cells;

    EXPECT_EQ(server.ExportAsTxt2(f.source, f.dir.file("liste.txt"), "Liste"), 0);
    EXPECT_EQ(tabRows(f.dir.file("liste.txt")), kListeRows);

    EXPECT_EQ(readFile(f.source), before);
    EXPECT_FALSE(f.logWritten());
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(f.dir.path())) {
        // The converter's private profile lives in the temporary directory, here the test's.
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("kbx-soffice-profile-")) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Vorlage.xls", "kopie.txt", "liste.txt"}));
}

TEST(CopyExportFiles, OdsWorkbookIsCopiedInItsOwnFormat) {
    REQUIRE_CONVERTER();
    Fixture f("copyexport/three_sheets.xlsx", "quelle.xlsx");
    runPython(R"(
import subprocess, sys, tempfile
src, out = sys.argv[1], sys.argv[2]
with tempfile.TemporaryDirectory() as work:
    subprocess.run(["soffice", "-env:UserInstallation=file://" + work + "/p", "--headless",
                    "--convert-to", "ods", "--outdir", out, src],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
)",
              {f.source, f.dir.path().string()});
    const std::string ods = f.dir.file("quelle.ods");
    KestDBBomExcel server;
    EXPECT_EQ(server.ExportAsTxt(ods, f.dir.file("kopie.txt")), -1);
    const std::string copy = readFile(f.dir.file("kopie.txt"));
    EXPECT_NE(copy.substr(0, 100).find("mimetypeapplication/vnd.oasis.opendocument.spreadsheet"), std::string::npos);
    const std::string cells = readBack(f.dir.file("kopie.txt"));
    EXPECT_EQ(cells, readBack(ods));
    EXPECT_NE(cells.find("cell\tListe\tD3\t2026-12-24T00:00:00"), std::string::npos) << cells;
}

}  // namespace
}  // namespace kbx::test
