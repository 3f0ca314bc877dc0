#include <gtest/gtest.h>

#include "plainbom/plain_fixture.h"
#include "session/excel_references.h"

namespace kbx::test {
namespace {

using Rows = std::vector<std::string>;

std::vector<Variant> record(int n, Variant verw1, Variant verw2, Variant count, Variant warn, Variant bmp) {
    return {Variant(int32_t{n}), Variant("P" + std::to_string(n)), verw1, verw2, count, warn, bmp};
}

TEST(ExportPlainCells, ShortfallMark) {
    PlainFakeRun run;
    PlainData data;
    data.records.push_back(
        record(1, Variant(int32_t{2}), Variant(int32_t{1}), Variant(int32_t{5}), Variant("low"), {}));
    data.records.push_back(record(2, Variant(int32_t{2}), Variant(int32_t{1}), Variant(int32_t{3}), Variant("ok"), {}));
    data.records.push_back(record(3, Variant("x"), Variant("0"), Variant(1.0), Variant(), {}));  // non-numeric is 0
    data.records.push_back(record(4, Variant(int32_t{0}), Variant(int32_t{0}), Variant(int32_t{9}), Variant("w"), {}));
    data.fields.resize(7);
    run.run(data, 10, 0);
    fake::FakeSheet& page = run.book().sheet("BOM");
    EXPECT_EQ(page.text(3, 6), "!low");
    EXPECT_EQ(page.text(4, 6), "ok");
    EXPECT_EQ(page.text(5, 6), "!");
    EXPECT_EQ(page.text(5, 3), "x");  // the cell shows the value itself
    EXPECT_EQ(page.text(6, 6), "!w");

    // A record lacking one of the three counts never gets a mark.
    PlainFakeRun lacking;
    PlainData partial;
    partial.fields = {"posnr", "name", "verw1", "other", "count", "warn", "bmp"};
    partial.records.push_back(
        record(1, Variant(int32_t{0}), Variant(int32_t{0}), Variant(int32_t{9}), Variant("w"), {}));
    lacking.run(partial, 10, 0);
    fake::FakeSheet& lackingPage = lacking.book().sheet("BOM");
    EXPECT_EQ(lackingPage.text(3, 6), "w");
    EXPECT_EQ(lackingPage.text(3, 4), "$pos:verw2");  // no such field: the placeholder stays in its row
    EXPECT_EQ(lackingPage.text(4, 4), "");            // and is not carried down
}

TEST(ExportPlainCells, ShortfallWithoutWarnColumnIsSkipped) {
    PlainFakeRun run;
    run.app->addTemplate(run.templatePath, [](fake::FakeWorkbook& book) {
        fake::FakeSheet& sheet = book.addSheet("BOM");
        sheet.put(1, 1, Variant("$pos:posnr"));
        sheet.put(1, 2, Variant("$pos:verw1"));
        sheet.put(1, 3, Variant("$pos:verw2"));
        sheet.put(1, 4, Variant("$pos:count"));
    });
    PlainData data;
    data.records.push_back(record(1, Variant(int32_t{1}), Variant(int32_t{1}), Variant(int32_t{5}), Variant(), {}));
    data.records.push_back(record(2, Variant(int32_t{1}), Variant(int32_t{1}), Variant(int32_t{5}), Variant(), {}));
    run.run(data, 10, 0);
    EXPECT_TRUE(run.messages().empty());
    fake::FakeSheet& page = run.book().sheet("BOM");
    EXPECT_EQ(page.text(1, 1), "1");
    EXPECT_EQ(page.text(2, 1), "2");
    EXPECT_EQ(page.text(2, 4), "5");
}

TEST(ExportPlainCells, FieldOrderAndLetterCase) {
    PlainFakeRun run;
    // Record 2 has its fields in another order, record 3 spells "name" in capitals.
    PlainData data;
    data.fields = {"posnr", "name"};
    const Variant posNames = Variant::array(
        {Variant("posnr"), Variant("name"), Variant("name"), Variant("posnr"), Variant("posnr"), Variant("NAME")});
    const Variant posVals = Variant::array({Variant(int32_t{1}), Variant("first"), Variant("second"),
                                            Variant(int32_t{2}), Variant(int32_t{3}), Variant("third")});
    KestDBBomExcel server;
    server.ExportPlain2(Variant::array({}), Variant::array({}), 2, posNames, posVals, run.templatePath, run.outputPath,
                        0, 0, 10, 0, "");
    ASSERT_TRUE(run.messages().empty());
    fake::FakeSheet& page = run.book().sheet("BOM");
    EXPECT_EQ(firstColumnFromRow3(page), (Rows{"1", "2", "3"}));
    EXPECT_EQ(page.text(3, 2), "first");
    EXPECT_EQ(page.text(4, 2), "second");
    EXPECT_EQ(page.text(5, 2), "$POS:Name");  // "NAME" matches no placeholder
    EXPECT_EQ(page.text(6, 2), "");
}

TEST(ExportPlainCells, Pictures) {
    PlainFakeRun run;
    const std::string picture = run.dir.file("part.png");
    const std::string tall = run.dir.file("tall.png");
    std::ofstream(picture) << "png";
    std::ofstream(tall) << "png";
    run.app->addPictureFile(picture, 40, 30);
    run.app->addPictureFile(tall, 40, 500);
    run.app->addTemplate(run.templatePath, [](fake::FakeWorkbook& book) {
        fake::FakeSheet& sheet = book.addSheet("BOM");
        sheet.put(2, 1, Variant("$pos:posnr"));
        sheet.put(2, 2, Variant("$pos:bmp"));
        sheet.put(2, 4, Variant("$pos:bmp"));  // the same picture twice in one row
    });
    PlainData data;
    data.fields = {"posnr", "bmp"};
    data.records = {{Variant(int32_t{1}), Variant(picture)},
                    {Variant(int32_t{2}), Variant(run.dir.file("missing.png"))},
                    {Variant(int32_t{3}), Variant(tall)}};
    run.run(data, 10, 0);
    ASSERT_TRUE(run.messages().empty());
    fake::FakeSheet& page = run.book().sheet("BOM");
    ASSERT_EQ(page.pictures.size(), 4u);
    // Row 2: two pictures at their cells' top-left corners, the row grown to fit.
    std::sort(page.pictures.begin(), page.pictures.end(),
              [](const auto& a, const auto& b) { return std::pair(a->top, a->left) < std::pair(b->top, b->left); });
    EXPECT_DOUBLE_EQ(page.pictures[0]->top, page.top(2));
    EXPECT_DOUBLE_EQ(page.pictures[0]->left, page.left(2));
    EXPECT_DOUBLE_EQ(page.pictures[1]->left, page.left(4));
    EXPECT_DOUBLE_EQ(page.rowHeight(2), 30);
    EXPECT_EQ(page.text(2, 2), "");
    EXPECT_EQ(page.text(2, 4), "");
    EXPECT_DOUBLE_EQ(toDouble(page.cell(2, 2).font[sheet::FontProperty::Size]), 10);
    // Row 3: a missing file leaves the cell empty, no picture, the height as it was.
    EXPECT_EQ(page.text(3, 2), "");
    EXPECT_EQ(page.text(3, 1), "2");
    EXPECT_DOUBLE_EQ(page.rowHeight(3), 15);
    // Row 4: a picture taller than any row: the refused height is ignored.
    EXPECT_DOUBLE_EQ(page.pictures[2]->top, page.top(4));
    EXPECT_DOUBLE_EQ(page.rowHeight(4), 15);
}

TEST(ExportPlainCells, MendedRefusalsAndCleanUp) {
    {  // the output names the template: refused before anything is deleted
        PlainFakeRun run;
        const Variant result = run.run(numberedRecords({1}), 3, 0, "", run.dir.file("./template.xlsx"));
        EXPECT_EQ(result.asInteger(), 1);
        EXPECT_EQ(readFile(run.templatePath), "template");
        ASSERT_EQ(run.messages().size(), 1u);
        EXPECT_NE(run.messages()[0].find("is the template file"), std::string::npos);
        EXPECT_EQ(run.applicationsMade, 0);
    }
    {  // a failed export closes its workbook, so the next one starts from the template
        PlainFakeRun run;
        const std::string notAPicture = run.dir.file("notes.txt");
        std::ofstream(notAPicture) << "text";
        PlainData bad = numberedRecords({1, 2});
        bad.records[1][6] = Variant(notAPicture);
        EXPECT_EQ(run.run(bad, 10, 0).asInteger(), 1);
        EXPECT_EQ(run.messages(), (Rows{"Unable to get the Insert property of the Pictures class"}));
        EXPECT_TRUE(run.book().closed);
        EXPECT_EQ(run.book().saves, 0);
        EXPECT_FALSE(session::excelReferences().ExcelBook);
        EXPECT_TRUE(session::excelReferences().ExcelApp);  // kept, as the handler leaves it

        run.run(numberedRecords({1}), 10, 0, "", run.dir.file("second.xlsx"));
        EXPECT_EQ(run.app->opened.size(), 2u);
        EXPECT_EQ(run.book().savedAs, (Rows{run.dir.file("second.xlsx")}));
        EXPECT_EQ(firstColumnFromRow3(run.book().sheet("BOM")), (Rows{"1"}));
    }
}

TEST(ExportPlainCells, FailurePathsShowTheirMessageAndReturnOne) {
    auto expectMessage = [](PlainFakeRun& run, const Variant& result, const std::string& message) {
        EXPECT_EQ(result.type(), VarType::Integer);
        EXPECT_EQ(result.asInteger(), 1);
        EXPECT_EQ(run.messages(), (Rows{message}));
    };
    {
        PlainFakeRun run;
        KestDBBomExcel server;
        const Variant result =
            server.ExportPlain2(Variant::array({}), Variant::array({}), 1, Variant::array({}), Variant("not an array"),
                                run.templatePath, run.outputPath, 0, 0, 3, 0, "");
        expectMessage(run, result, "Type mismatch");
        EXPECT_EQ(run.applicationsMade, 0);
    }
    {
        PlainFakeRun run;
        PlainData data = numberedRecords({1});
        KestDBBomExcel server;
        const Variant result = server.ExportPlain2(Variant::array({}), Variant::array({}), 0, data.posNames(),
                                                   data.posVals(), run.templatePath, run.outputPath, 0, 0, 3, 0, "");
        expectMessage(run, result, "Division by zero");
        EXPECT_EQ(run.logLines(), (Rows{"EXCEL - BOM - OUTPUT: Entering ExportPlain"}));
    }
    {
        PlainFakeRun run;
        PlainData data = numberedRecords({1});
        data.records[0][0] = Variant("abc");
        expectMessage(run, run.run(data, 3, 0), "Type mismatch");
        EXPECT_TRUE(run.book().closed);
    }
    {
        PlainFakeRun run;
        std::ofstream(run.outputPath) << "old";
        std::filesystem::remove(run.templatePath);
        expectMessage(run, run.run(numberedRecords({1}), 3, 0), "Failed to obtain COM object to Workbook from Excel");
        EXPECT_TRUE(session::excelReferences().ExcelApp);
        EXPECT_FALSE(std::filesystem::exists(run.outputPath));  // the old output was deleted first
    }
    {
        PlainFakeRun run;
        expectMessage(run, run.run(numberedRecords({1}), 3, 0, "Nope"),
                      "Failed to obtain sheet object 'NOPE' from Excel....");
        EXPECT_FALSE(session::excelReferences().ExcelApp);
        EXPECT_FALSE(session::excelReferences().ExcelBook);
        EXPECT_FALSE(run.book().closed);
        EXPECT_EQ(run.book().savedAs, (Rows{run.outputPath}));
    }
    for (int32_t recordSize : {-1, -7, 1 << 30}) {  // outside the data model: an error, never a hang
        PlainFakeRun run;
        PlainData data = numberedRecords({1, 2});
        KestDBBomExcel server;
        const Variant result = server.ExportPlain2(Variant::array({}), Variant::array({}), recordSize, data.posNames(),
                                                   data.posVals(), run.templatePath, run.outputPath, 0, 0, 3, 0, "");
        expectMessage(run, result, "Subscript out of range");
    }
    {
        PlainFakeRun run;
        session::platform().createApplication = [] { return std::shared_ptr<sheet::Application>(); };
        expectMessage(run, run.run(numberedRecords({1}), 3, 0), "Failed to obtain COM object from Excel.Application");
    }
}

}  // namespace
}  // namespace kbx::test
