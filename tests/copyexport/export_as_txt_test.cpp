// ExportAsTxt (a copy of the whole workbook) and ExportAsTxt2 (one sheet as
// tab-separated text) on the engine, read back by openpyxl and Python's csv.

#include <gtest/gtest.h>

#include <fstream>

#include "automation/kest_db_bom_excel.h"
#include "engine/engine.h"
#include "session/excel_references.h"
#include "support/test_support.h"

namespace kbx::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// The cells of a read-back, without the bytes of its parts.
Lines cells(const ReadBack& book) {
    Lines found;
    for (const auto& [key, value] : book.facts())
        if (!key.starts_with("part ")) found.push_back(key + "=" + value);
    return found;
}

void expectListeRows(const std::string& text) {
    const ReadBack rows(text);
    const Lines expected = {"Pos | Benennung | Menge | Datum | Preis", "1 | Schraube M6 | 12 | 14.03.2026 | 2.50",
                            "2 | Tab<TAB>here | 3.75 | 24.12.2026 | 1234.50",
                            "3 | Mutter 3/4\" | -7 | 02.01.2027 | 0.13",  // 0.125 shown as "0.00": away from zero
                            "4 | say \"hi\" | 1000000 |  | 42.00"};
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(rows["row " + std::to_string(i + 1)], expected[i]);
    EXPECT_FALSE(rows.has("row 6"));
}

TEST(ExportAsTxt, CopiesTheWholeWorkbookOrWritesOneSheetAsShownLeavingTheSharedReferences) {
    MethodRun run;
    const std::string source = copyData(run.dir, "three_sheets.xlsx", "Stueckliste.xlsx"), before = readFile(source);
    session::excelReferences().ExcelApp = engine::createApplication();
    const auto shared = session::excelReferences().ExcelApp;
    automation::KestDBBomExcel server;
    std::ofstream(run.dir.file("kopie.txt")) << "old";
    EXPECT_EQ(server.ExportAsTxt(source, run.dir.file("kopie.txt")), -1);  // a package whatever the name
    EXPECT_EQ(cells(ReadBack(run.dir.file("kopie.txt"))), cells(ReadBack(source)));
    // The workbook was saved with "Notizen" active; the named sheet is written.
    EXPECT_EQ(server.ExportAsTxt2(source, run.dir.file("liste.txt"), "Liste"), 0);
    expectListeRows(run.dir.file("liste.txt"));
    EXPECT_NE(readFile(run.dir.file("liste.txt")).find("\"say \"\"hi\"\"\""), std::string::npos);
    EXPECT_EQ(server.ExportAsTxt2(source, run.dir.file("kopf.txt"), "KOPF"), 0);
    EXPECT_EQ(ReadBack(run.dir.file("kopf.txt"))["row 1"], "Zeichnung | ZN-4711");
    EXPECT_EQ(readFile(source), before);
    EXPECT_EQ(session::excelReferences().ExcelApp, shared);
    EXPECT_EQ(shared->GetWorkbooks().Count(), 0);
    EXPECT_EQ(run.messages(), Lines{});
}

// The totals under List are formulas the file stores without results: the
// text export computes them and writes them through their number formats; the
// copy of the workbook stores them computed.
TEST(ExportAsTxt, WritesFormulasAsComputedAndFormatted) {
    MethodRun run;
    const std::string source = copyData(run.dir, "calc.xlsx"), before = readFile(source);
    automation::KestDBBomExcel server;
    EXPECT_EQ(server.ExportAsTxt(source, run.dir.file("copy.txt")), -1);
    ReadBack(run.dir.file("copy.txt"), {}, ReadBack::Cells::Computed)
        .expect({"value List!C13=55", "value List!D13=small", "value Calc!B2=30", "value Calc!E1=42"});
    EXPECT_EQ(server.ExportAsTxt2(source, run.dir.file("list.txt"), "List"), 0);
    const ReadBack rows(run.dir.file("list.txt"));
    EXPECT_EQ(rows["row 11"], "10 | Bolt | 10 |  |  |  |  | ");
    EXPECT_EQ(rows["row 13"], "Positions | 10 | 55.0 | small | 1.83 | TRUE | #DIV/0! | 29.02.2024");
    EXPECT_FALSE(rows.has("row 14"));
    EXPECT_EQ(readFile(source), before);
}

TEST(ExportAsTxt, ErrorsEndTheCallAndLeaveNoTarget) {
    MethodRun run;
    const std::string source = copyData(run.dir, "three_sheets.xlsx"), before = readFile(source);
    std::ofstream(run.dir.file("notiz.xlsx")) << "just text\n";
    fs::create_directory(run.dir.file("locked"));
    Unwritable locked(run.dir.file("locked"));
    automation::KestDBBomExcel server;
    const std::tuple<std::function<int16_t()>, int, const char*> rows[] = {
        {[&] { return server.ExportAsTxt(run.dir.file("fehlt.xlsx"), run.dir.file("a.xlsx")); }, err::FileNotFound,
         "fehlt.xlsx"},
        {[&] { return server.ExportAsTxt2(run.dir.file("fehlt.xls"), run.dir.file("b.txt"), "Liste"); },
         err::FileNotFound, "fehlt.xls"},
        {[&] { return server.ExportAsTxt2(source, run.dir.file("c.txt"), "Fehlt"); }, err::SubscriptOutOfRange, ""},
        {[&] { return server.ExportAsTxt2(run.dir.file("notiz.xlsx"), run.dir.file("d.txt"), "Liste"); },
         err::Application, "notiz.xlsx"},
        {[&] { return server.ExportAsTxt(source, run.dir.file("locked/e.xlsx")); },
         locked.effective() ? err::PermissionDenied : 0, ""},
    };
    for (const auto& [call, number, named] : rows) {
        const RuntimeError e = errorOf(call);
        EXPECT_EQ(e.number(), number) << e.description();
        EXPECT_NE(e.description().find(named), std::string::npos) << e.description();
    }
    EXPECT_EQ(fileNames(run.dir.path()), (Lines{"locked", "notiz.xlsx", "three_sheets.xlsx"}));
    EXPECT_EQ(fileNames(run.dir.file("locked")), Lines{});
    EXPECT_EQ(readFile(source), before);
}

// The cell values of a read-back.
Lines values(const ReadBack& book) {
    Lines found;
    for (const std::string& cell : cells(book))
        if (cell.starts_with("value ")) found.push_back(cell);
    return found;
}

TEST(ExportAsTxt, XlsWorkbooksStayXls) {
    REQUIRE_CONVERTER();
    MethodRun run;
    const std::string xls = copyData(run.dir, "three_sheets.xls", "Vorlage.xls"), before = readFile(xls);
    automation::KestDBBomExcel server;
    EXPECT_EQ(server.ExportAsTxt(xls, run.dir.file("kopie.txt")), -1);
    EXPECT_TRUE(isOle2File(run.dir.file("kopie.txt")));  // a 97-2003 workbook named .txt
    EXPECT_EQ(values(ReadBack(run.dir.file("kopie.txt"))), values(ReadBack(dataFile("three_sheets.xlsx"))));
    EXPECT_EQ(server.ExportAsTxt2(xls, run.dir.file("liste.txt"), "Liste"), 0);
    expectListeRows(run.dir.file("liste.txt"));
    EXPECT_EQ(readFile(xls), before);
    EXPECT_EQ(fileNames(run.dir.path()), (Lines{"Vorlage.xls", "kopie.txt", "liste.txt"}));
}

TEST(ExportAsTxt, OdsWorkbooksStayOds) {
    REQUIRE_CONVERTER();
    MethodRun run;
    ASSERT_TRUE(convertFiles("ods", run.dir.path().string(), {dataFile("three_sheets.xlsx")}));
    EXPECT_EQ(automation::KestDBBomExcel().ExportAsTxt(run.dir.file("three_sheets.ods"), run.dir.file("ods.txt")), -1);
    EXPECT_NE(readFile(run.dir.file("ods.txt")).find("opendocument.spreadsheet"), std::string::npos);
    // LibreOffice drops the tab of "Tab\there" converting .ods to .xlsx, for the reader and the bridge alike.
    Lines copied = values(ReadBack(run.dir.file("ods.txt"))),
          original = values(ReadBack(dataFile("three_sheets.xlsx")));
    for (Lines* cells : {&copied, &original})
        std::erase_if(*cells, [](const std::string& cell) { return cell.starts_with("value Liste!B3="); });
    EXPECT_EQ(copied, original);
}

}  // namespace
}  // namespace kbx::test
