#include <gtest/gtest.h>

#include "session/excel_references.h"
#include "summary/summary_fixture.h"
#include "summary/summary_pages.h"
#include "value/runtime_error.h"

namespace kbx::test {
namespace {

using Rows = std::vector<std::string>;

std::vector<std::string> columnFromRow2(const fake::FakeSheet& sheet, int32_t column) {
    std::vector<std::string> texts;
    for (int32_t row = 2; !sheet.text(row, column).empty(); ++row) texts.push_back(sheet.text(row, column));
    return texts;
}

TEST(SummaryList, OnePageWithoutLimitThenTheTemplate) {
    SummaryFakeRun run;
    const Variant result = run.run({item(1, 2), item(2, 5), item(3, 1.5)}, 0);
    EXPECT_EQ(result.type(), VarType::Integer);
    EXPECT_EQ(result.asInteger(), 1);
    fake::FakeWorkbook& book = run.book();
    EXPECT_EQ(book.sheetNames(), (Rows{"Summary Page 1", "Layout"}));
    fake::FakeSheet& page = book.sheet("Summary Page 1");
    EXPECT_EQ(page.text(1, 1), "Caption posnr");
    EXPECT_EQ(page.text(1, 2), "Caption qty");
    EXPECT_EQ(columnFromRow2(page, 1), (Rows{"1", "2", "3"}));
    EXPECT_EQ(columnFromRow2(page, 2), (Rows{"2", "5", "1.5"}));
    EXPECT_TRUE(page.cell(4, 2).value.isNumber());  // values go in unchanged
    EXPECT_TRUE(page.cell(4, 1).font[sheet::FontProperty::Italic].asBoolean());
    // A name in no field keeps its placeholder in the first row only.
    EXPECT_EQ(page.text(2, 4), "$pos:unknown");
    EXPECT_EQ(page.text(3, 4), "");
    // The leftover row took the empty row below; the note stays further down.
    EXPECT_EQ(page.text(5, 1), "");
    EXPECT_EQ(page.text(9, 1), "note");
    // Used columns are text-formatted after the values were written.
    for (int32_t column = 1; column <= 4; ++column) EXPECT_EQ(page.columnFormats[column], "@");
    EXPECT_EQ(book.sheet("Layout").text(2, 1), "$pos:posnr");  // template untouched

    EXPECT_EQ(book.savedAs, (Rows{run.outputPath}));
    EXPECT_EQ(book.saves, 1);
    EXPECT_FALSE(book.closed);
    EXPECT_TRUE(toBoolean(run.app->settings[sheet::AppSetting::Visible]));
    EXPECT_FALSE(session::excelReferences().ExcelApp);
    EXPECT_FALSE(session::excelReferences().ExcelBook);
    EXPECT_EQ(run.presenter->presented, (Rows{run.outputPath}));
    EXPECT_EQ(run.logLines(), (Rows{"EXCEL - BOM - OUTPUT: Entering CreateSummaryExcel",
                                    "EXCEL - BOM - OUTPUT: Trying to open: " + run.templatePath,
                                    "EXCEL - BOM - OUTPUT: Leaving CreateSummaryExcel"}));
}

TEST(SummaryList, PagingRecordSizeOneAndNoRecords) {
    {
        SummaryFakeRun run;
        run.run({item(1, 1), item(2, 1), item(3, 1), item(4, 1), item(5, 1)}, 2);
        fake::FakeWorkbook& book = run.book();
        EXPECT_EQ(book.sheetNames(), (Rows{"Summary Page 1", "Summary Page 2", "Summary Page 3", "Layout"}));
        EXPECT_EQ(columnFromRow2(book.sheet("Summary Page 1"), 1), (Rows{"1", "2"}));
        EXPECT_EQ(columnFromRow2(book.sheet("Summary Page 2"), 1), (Rows{"3", "4"}));
        EXPECT_EQ(columnFromRow2(book.sheet("Summary Page 3"), 1), (Rows{"5"}));
        EXPECT_EQ(book.sheet("Summary Page 3").text(1, 2), "Caption qty");
    }
    {
        SummaryFakeRun run;
        run.run({{Variant(int32_t{7})}, {Variant(int32_t{8})}, {Variant(int32_t{9})}}, 0, {"posnr"});
        EXPECT_EQ(columnFromRow2(run.book().sheet("Summary Page 1"), 1), (Rows{"7", "8", "9"}));
    }
    {
        SummaryFakeRun run;
        run.run({}, 0);
        EXPECT_EQ(run.book().sheetNames(), (Rows{"Layout"}));
        EXPECT_EQ(run.book().saves, 1);
    }
}

TEST(SummaryList, PlaceholderNamesAndScanWidth) {
    SummaryFakeRun run;
    run.app->addTemplate(run.templatePath, [](fake::FakeWorkbook& book) {
        fake::FakeSheet& sheet = book.addSheet("Layout");
        sheet.put(3, 1, Variant("$pos:QTY"));
        sheet.put(3, 2, Variant("$pos:qty"));
        sheet.put(3, 53, Variant("$pos:posnr"));  // within RecordSize + 50 = 53
        sheet.put(3, 54, Variant("$pos:posnr"));  // right of it
        sheet.put(6, 1, Variant("below"));
    });
    // "Qty" with a capital matches nothing; "qty" matches both placeholders.
    run.run({{Variant(int32_t{1}), Variant("a"), Variant("x")}, {Variant(int32_t{2}), Variant("b"), Variant("y")}}, 0,
            {"posnr", "Qty", "qty"});
    fake::FakeSheet& page = run.book().sheet("Summary Page 1");
    EXPECT_EQ(page.text(3, 1), "x");
    EXPECT_EQ(page.text(4, 2), "y");
    EXPECT_EQ(page.text(4, 53), "2");
    EXPECT_EQ(page.text(3, 54), "$pos:posnr");
    EXPECT_EQ(page.text(4, 54), "");
    EXPECT_EQ(page.text(5, 1), "below");  // the leftover row shows the row below it
    EXPECT_EQ(page.columnFormats[53], "@");
    EXPECT_FALSE(page.columnFormats.count(61));
}

TEST(SummaryList, PicturesOnTheLaterRoute) {
    SummaryFakeRun run;
    const std::string picture = run.dir.file("part.png");
    std::ofstream(picture) << "png";
    run.app->addPictureFile(picture, 200, 100);
    run.run({item(1, 1, run.dir.file("missing.png")), item(2, 1, picture)}, 0);
    fake::FakeSheet& page = run.book().sheet("Summary Page 1");
    // Missing file: empty cell, the measurement still made on the first picture cell.
    EXPECT_EQ(page.text(2, 3), "");
    EXPECT_DOUBLE_EQ(toDouble(page.cell(2, 3).font[sheet::FontProperty::Size]), 10);
    // 200 x 100 points with a width unit of 5: row 100, column 40, picture at the corner.
    ASSERT_EQ(page.pictures.size(), 1u);
    const fake::FakePicture& placed = *page.pictures[0];
    EXPECT_TRUE(placed.viaShapes);
    EXPECT_DOUBLE_EQ(page.rowHeight(3), 100);
    EXPECT_DOUBLE_EQ(page.columnWidth(3), 40);
    EXPECT_DOUBLE_EQ(placed.left, page.left(3));
    EXPECT_DOUBLE_EQ(placed.top, page.top(3));
    EXPECT_DOUBLE_EQ(placed.width, 200);
    EXPECT_DOUBLE_EQ(placed.height, 100);
    EXPECT_EQ(placed.placement, sheet::xl::PlacementMoveAndSize);
    EXPECT_EQ(page.text(3, 3), "");
}

TEST(SummaryList, PicturesOnTheEarlierRoute) {
    SummaryFakeRun run;
    run.app->version = "12.0";
    const std::string small = run.dir.file("small.png");
    const std::string tall = run.dir.file("tall.png");
    std::ofstream(small) << "png";
    std::ofstream(tall) << "png";
    run.app->addPictureFile(small, 30, 10);
    run.app->addPictureFile(tall, 30, 60);
    run.run({item(1, 1, small), item(2, 1, tall)}, 0);
    fake::FakeSheet& page = run.book().sheet("Summary Page 1");
    ASSERT_EQ(page.pictures.size(), 2u);
    EXPECT_FALSE(page.pictures[0]->viaShapes);
    EXPECT_DOUBLE_EQ(page.pictures[0]->top, page.top(2));
    EXPECT_DOUBLE_EQ(page.pictures[0]->left, page.left(3));
    EXPECT_DOUBLE_EQ(page.rowHeight(2), 15);     // not taller than the row
    EXPECT_DOUBLE_EQ(page.rowHeight(3), 60);     // taller: the row grows
    EXPECT_DOUBLE_EQ(page.columnWidth(3), 100);  // the measurement's width stays
}

TEST(SummaryList, InputLimitsAreRefusedBeforeExcelIsTouched) {
    for (auto [recordSize, posPerSheet, number] :
         {std::tuple{0, 0, err::DivisionByZero}, std::tuple{-1, 0, err::InvalidCall},
          std::tuple{1, -1, err::InvalidCall}}) {
        SummaryFakeRun run;
        KestDBBomExcel server;
        try {
            server.CreateSummaryExcel(Variant::array({Variant("posnr")}), Variant::array({Variant("No.")}),
                                      Variant::array({Variant(int32_t{1})}), recordSize, run.templatePath,
                                      run.outputPath, 0, 0, posPerSheet);
            ADD_FAILURE() << "no error for " << recordSize << ", " << posPerSheet;
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.number(), number);
        }
        EXPECT_EQ(run.applicationsMade, 0);
        EXPECT_EQ(run.logLines(), (Rows{"EXCEL - BOM - OUTPUT: Entering CreateSummaryExcel"}));
    }
}

TEST(SummaryList, FailuresWhileOpeningAndBuilding) {
    {  // missing template: the message, the application kept, no leaving line
        SummaryFakeRun run;
        std::filesystem::remove(run.templatePath);
        std::ofstream(run.outputPath) << "old";
        EXPECT_EQ(run.run({item(1, 1)}, 0).asInteger(), 1);
        EXPECT_EQ(run.messages(), (Rows{"Failed to obtain COM object to Workbook from Excel"}));
        EXPECT_TRUE(session::excelReferences().ExcelApp);
        EXPECT_FALSE(std::filesystem::exists(run.outputPath));
        EXPECT_EQ(run.logLines().size(), 4u);  // entry, open, the message and the engine's reason
        EXPECT_TRUE(run.presenter->presented.empty());
    }
    {  // a picture that cannot be inserted: logged, the file stays as saved before the pages
        SummaryFakeRun run;
        const std::string notAPicture = run.dir.file("notes.txt");
        std::ofstream(notAPicture) << "text";
        EXPECT_EQ(run.run({item(1, 1), item(2, 1, notAPicture)}, 0).asInteger(), 1);
        EXPECT_EQ(run.logLines(), (Rows{"EXCEL - BOM - OUTPUT: Entering CreateSummaryExcel",
                                        "EXCEL - BOM - OUTPUT: Trying to open: " + run.templatePath,
                                        "EXCEL - BOM - OUTPUT: Unable to get the Insert property of the Pictures class",
                                        "EXCEL - BOM - OUTPUT: Leaving CreateSummaryExcel"}));
        EXPECT_EQ(run.book().savedAs, (Rows{run.outputPath}));
        EXPECT_EQ(run.book().saves, 0);
        EXPECT_FALSE(session::excelReferences().ExcelApp);
        EXPECT_FALSE(session::excelReferences().ExcelBook);
    }
    {  // an unreadable version: the page keeps its header and no positions
        SummaryFakeRun run;
        run.app->version = "";
        run.run({item(1, 1), item(2, 1)}, 1);
        EXPECT_EQ(run.book().sheetNames(), (Rows{"Summary Page 1", "Layout"}));
        EXPECT_EQ(run.book().sheet("Summary Page 1").text(1, 1), "Caption posnr");
        EXPECT_EQ(run.book().sheet("Summary Page 1").text(2, 1), "$pos:posnr");
        EXPECT_EQ(run.logLines()[2], "EXCEL - BOM - OUTPUT: Version cannot be read");
        EXPECT_EQ(run.book().saves, 1);
    }
    {  // a record size beyond the sheet's columns and the names: an error logged, no endless scan
        SummaryFakeRun run;
        KestDBBomExcel server;
        server.CreateSummaryExcel(Variant::array({Variant("posnr")}), Variant::array({Variant("No.")}),
                                  Variant::array({Variant(int32_t{1})}), 1 << 30, run.templatePath, run.outputPath, 0,
                                  0, 0);
        EXPECT_EQ(run.logLines()[2], "EXCEL - BOM - OUTPUT: Subscript out of range");
        EXPECT_EQ(run.book().saves, 0);
    }
    {  // a template page without a position row: one page with its header only
        SummaryFakeRun run;
        run.app->addTemplate(run.templatePath,
                             [](fake::FakeWorkbook& book) { book.addSheet("Layout").put(1, 1, Variant("$head:qty")); });
        run.run({item(1, 1), item(2, 1), item(3, 1)}, 1);
        EXPECT_EQ(run.book().sheetNames(), (Rows{"Summary Page 1", "Layout"}));
        EXPECT_EQ(run.book().sheet("Summary Page 1").text(1, 1), "Caption qty");
        EXPECT_EQ(run.book().saves, 1);
    }
}

TEST(SummaryTemplate, WritesPlaceholdersAndHandsTheSavedFileOver) {
    SummaryFakeRun run;
    KestDBBomExcel server;
    const Variant result =
        server.CreateSummaryTemplate(Variant::array({Variant("posnr"), Variant("Qty"), Variant("bmp")}));
    EXPECT_EQ(result.asInteger(), 1);
    ASSERT_EQ(run.app->opened.size(), 1u);
    fake::FakeSheet& sheet = *run.app->opened[0]->sheets[0];
    EXPECT_EQ(sheet.text(1, 1), "$head:posnr");
    EXPECT_EQ(sheet.text(1, 2), "$head:Qty");
    EXPECT_EQ(sheet.text(1, 3), "$head:bmp");
    EXPECT_EQ(sheet.text(2, 1), "$pos:posnr");
    EXPECT_EQ(sheet.text(2, 3), "$pos:bmp");
    EXPECT_EQ(sheet.text(1, 4), "");
    ASSERT_EQ(run.presenter->presented.size(), 1u);
    const std::string first = run.presenter->presented[0];
    EXPECT_EQ(std::filesystem::path(first).parent_path(), run.dir.path());
    EXPECT_TRUE(std::filesystem::exists(first));
    EXPECT_FALSE(session::excelReferences().ExcelApp);
    EXPECT_TRUE(run.logLines().empty());

    server.CreateSummaryTemplate(Variant::array({}));  // a blank workbook, under a new name
    ASSERT_EQ(run.presenter->presented.size(), 2u);
    EXPECT_NE(run.presenter->presented[1], first);
    EXPECT_EQ(run.app->opened[1]->sheets[0]->cells.size(), 0u);
}

}  // namespace
}  // namespace kbx::test
