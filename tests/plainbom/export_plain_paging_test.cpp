#include <gtest/gtest.h>

#include "plainbom/plain_fixture.h"
#include "session/excel_references.h"

namespace kbx::test {
namespace {

using Rows = std::vector<std::string>;

TEST(ExportPlainPaging, SevenRecordsThreePerSheet) {
    PlainFakeRun run;
    run.app->settings[sheet::AppSetting::DisplayAlerts] = Variant(true);
    run.app->calculation = sheet::xl::CalculationManual;
    const Variant result = run.run(numberedRecords({1, 2, 3, 4, 5, 6, 7}), 3, 0);

    EXPECT_EQ(result.type(), VarType::Integer);
    EXPECT_EQ(result.asInteger(), 1);
    EXPECT_TRUE(run.messages().empty());
    fake::FakeWorkbook& book = run.book();
    EXPECT_EQ(book.sheetNames(), (Rows{"Cover", "BOM", "BOM2", "BOM3", "Template", "Other"}));
    EXPECT_EQ(firstColumnFromRow3(book.sheet("BOM")), (Rows{"1", "2", "3"}));
    EXPECT_EQ(firstColumnFromRow3(book.sheet("BOM2")), (Rows{"4", "5", "6"}));
    EXPECT_EQ(firstColumnFromRow3(book.sheet("BOM3")), (Rows{"7"}));
    for (const char* name : {"BOM", "BOM2", "BOM3"}) {
        fake::FakeSheet& page = book.sheet(name);
        EXPECT_EQ(page.text(1, 2), "Pump") << name;
        EXPECT_EQ(page.text(2, 2), "4711") << name;
        EXPECT_EQ(page.text(3, 9), "4711") << name;  // a header placeholder in the position row
        EXPECT_EQ(page.columnFormats[1], "@");
        EXPECT_FALSE(page.autoFilter);
    }
    fake::FakeSheet& first = book.sheet("BOM");
    EXPECT_EQ(first.text(4, 2), "P2");
    EXPECT_TRUE(first.cell(4, 2).font[sheet::FontProperty::Bold].asBoolean());  // carried by the cell copy
    EXPECT_EQ(toLong(first.cell(5, 1).horizontal), sheet::xl::HAlignCenter);
    EXPECT_EQ(first.text(6, 1), "");  // the leftover position row took the empty row below
    EXPECT_EQ(first.text(6, 2), "");
    EXPECT_EQ(book.sheet("BOM3").text(4, 1), "");
    // The kept template is untouched.
    fake::FakeSheet& kept = book.sheet("Template");
    EXPECT_EQ(kept.text(3, 1), "$pos:posnr");
    EXPECT_EQ(kept.text(1, 2), "$head:title");

    EXPECT_EQ(book.savedAs, (Rows{run.outputPath}));
    EXPECT_EQ(book.saves, 1);
    EXPECT_TRUE(book.closed);
    EXPECT_TRUE(run.app->quit);  // it had to be made visible
    EXPECT_FALSE(session::excelReferences().ExcelApp);
    EXPECT_FALSE(session::excelReferences().ExcelBook);
    EXPECT_TRUE(toBoolean(run.app->settings[sheet::AppSetting::DisplayAlerts]));
    EXPECT_TRUE(toBoolean(run.app->settings[sheet::AppSetting::ScreenUpdating]));
    EXPECT_EQ(run.app->calculation, sheet::xl::CalculationAutomatic);
    EXPECT_EQ(run.logLines(), (Rows{"EXCEL - BOM - OUTPUT: Entering ExportPlain",
                                    "EXCEL - BOM - OUTPUT: Trying to open: " + run.templatePath,
                                    "EXCEL - BOM - OUTPUT: Leaving ExportBOMExcel"}));
}

TEST(ExportPlainPaging, ExactlyFullSheetGetsNoEmptyFollower) {
    PlainFakeRun run;
    run.app->settings[sheet::AppSetting::Visible] = Variant(true);
    run.run(numberedRecords({1, 2, 3, 4}), 4, 0);
    EXPECT_EQ(run.book().sheetNames(), (Rows{"Cover", "BOM", "Template", "Other"}));
    EXPECT_EQ(firstColumnFromRow3(run.book().sheet("BOM")), (Rows{"1", "2", "3", "4"}));
    EXPECT_FALSE(run.app->quit);  // Excel was visible before the call
}

TEST(ExportPlainPaging, GapRowsForMissingNumbers) {
    {
        PlainFakeRun run;
        run.run(numberedRecords({1, 2, 5}), 10, 5);  // any non-zero value turns gaps on
        fake::FakeSheet& page = run.book().sheet("BOM");
        EXPECT_EQ(firstColumnFromRow3(page), (Rows{"1", "2", "3", "4", "5"}));
        EXPECT_TRUE(page.cell(5, 1).value.isString());  // the gap number is text
        EXPECT_EQ(page.text(5, 2), "");                 // and is the gap row's only value
        EXPECT_EQ(page.text(6, 9), "");
        EXPECT_EQ(page.text(7, 2), "P5");
    }
    {
        PlainFakeRun run;
        run.run(numberedRecords({1, 2, 5}), 10, 0);
        EXPECT_EQ(firstColumnFromRow3(run.book().sheet("BOM")), (Rows{"1", "2", "5"}));
    }
    {
        PlainFakeRun run;
        run.run(numberedRecords({1, 2, 5}), 3, 1);
        fake::FakeWorkbook& book = run.book();
        EXPECT_EQ(book.sheetNames(), (Rows{"Cover", "BOM", "BOM2", "Template", "Other"}));
        EXPECT_EQ(firstColumnFromRow3(book.sheet("BOM")), (Rows{"1", "2", "3"}));
        EXPECT_EQ(firstColumnFromRow3(book.sheet("BOM2")), (Rows{"4", "5"}));
        EXPECT_EQ(book.sheet("BOM2").text(4, 2), "P5");
    }
}

TEST(ExportPlainPaging, TargetSheetTakesEveryRecordIncludingGaps) {
    PlainFakeRun run;
    // Records and gap rows (9) exceed the record count + 1 (4): all are written.
    run.run(numberedRecords({1, 5, 9}), 2, 1, "oTHer");
    fake::FakeWorkbook& book = run.book();
    EXPECT_EQ(book.sheetNames(), (Rows{"Cover", "BOM", "Other"}));
    EXPECT_EQ(firstColumnFromRow3(book.sheet("Other")), (Rows{"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    EXPECT_EQ(book.sheet("BOM").text(3, 1), "$pos:posnr");
    EXPECT_TRUE(run.messages().empty());
}

TEST(ExportPlainPaging, MendedPagingFaults) {
    for (int32_t limit : {0, -3}) {  // no limit: one sheet
        PlainFakeRun run;
        run.run(numberedRecords({1, 2, 3, 4, 5}), limit, 0);
        EXPECT_EQ(run.book().sheetNames(), (Rows{"Cover", "BOM", "Template", "Other"})) << limit;
        EXPECT_EQ(firstColumnFromRow3(run.book().sheet("BOM")).size(), 5u);
    }
    {  // numbers that do not rise are all written, in the order given
        PlainFakeRun run;
        run.run(numberedRecords({3, 1, 2}), 2, 0);
        EXPECT_EQ(run.book().sheetNames(), (Rows{"Cover", "BOM", "BOM2", "Template", "Other"}));
        EXPECT_EQ(firstColumnFromRow3(run.book().sheet("BOM")), (Rows{"3", "1"}));
        EXPECT_EQ(firstColumnFromRow3(run.book().sheet("BOM2")), (Rows{"2"}));
    }
    {  // a last record numbered 0 no longer stops the export before it starts
        PlainFakeRun run;
        run.run(numberedRecords({2, 0}), 5, 0);
        EXPECT_EQ(firstColumnFromRow3(run.book().sheet("BOM")), (Rows{"2", "0"}));
    }
}

TEST(ExportPlainPaging, ExportPlainPagesOverTheActiveSheet) {
    PlainFakeRun run;
    const PlainData data = numberedRecords({1, 2});
    KestDBBomExcel server;
    const Variant result =
        server.ExportPlain(Variant::array({Variant("title")}), Variant::array({Variant("T")}), data.recordSize(),
                           data.posNames(), data.posVals(), run.templatePath, run.outputPath, 7, 9, 1, 0);
    EXPECT_EQ(result.type(), VarType::Integer);
    EXPECT_EQ(run.book().sheetNames(), (Rows{"Cover", "BOM", "BOM2", "Template", "Other"}));
    EXPECT_EQ(run.book().sheet("BOM2").text(1, 2), "T");
}

}  // namespace
}  // namespace kbx::test
