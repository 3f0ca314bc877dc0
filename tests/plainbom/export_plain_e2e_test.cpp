// End-to-end: the class method on a template made by openpyxl, run through the
// embedded engine, read back by openpyxl.

#include <gtest/gtest.h>

#include <filesystem>

#include "plainbom/plain_fixture.h"
#include "plainbom/read_back.h"
#include "session/excel_references.h"

namespace kbx::test {
namespace {

using Rows = std::vector<std::string>;

struct PlainEngineRun {
    PlatformGuard guard;
    TempDir dir;
    EnvGuard temp{"TEMP", dir.path().string()};
    std::string templatePath = dir.file("plain_template.xlsx");
    std::string outputPath = dir.file("plain_out.xlsx");

    PlainEngineRun() { std::filesystem::copy_file(dataFile("plainbom/plain_template.xlsx"), templatePath); }

    Variant run(const PlainData& data, int32_t posPerSheet, int32_t insertEmptyRows,
                const std::string& targetSheet = "", const std::string& output = "") {
        const Variant headNames = Variant::array({Variant("title"), Variant("drawno")});
        const Variant headVals = Variant::array({Variant("Pump"), Variant(int32_t{4711})});
        KestDBBomExcel server;
        return server.ExportPlain2(headNames, headVals, data.recordSize(), data.posNames(), data.posVals(),
                                   templatePath, output.empty() ? outputPath : output, 0, 0, posPerSheet,
                                   insertEmptyRows, targetSheet);
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& m : guard.messages->shown) texts.push_back(m.text);
        return texts;
    }
};

// Column A from the position row (5) down to the first empty cell.
Rows positionNumbers(const ReadBack& book, const std::string& sheet) {
    Rows numbers;
    for (int row = 5; book.has("cell " + sheet + "!A" + std::to_string(row)); ++row)
        numbers.push_back(book.cell(sheet + "!A" + std::to_string(row)));
    return numbers;
}

TEST(ExportPlainEngine, PagingOverCopiesOfTheTemplateSheet) {
    PlainEngineRun run;
    const Variant result = run.run(numberedRecords({1, 2, 3, 4, 5, 6, 7}), 3, 0);
    EXPECT_EQ(result.asInteger(), 1);
    ASSERT_TRUE(run.messages().empty()) << run.messages()[0];
    ReadBack book(run.outputPath);
    EXPECT_EQ(book["sheets"], "Cover,BOM,BOM2,BOM3,Template,Other");
    EXPECT_EQ(positionNumbers(book, "BOM"), (Rows{"1", "2", "3"}));
    EXPECT_EQ(positionNumbers(book, "BOM2"), (Rows{"4", "5", "6"}));
    EXPECT_EQ(positionNumbers(book, "BOM3"), (Rows{"7"}));
    EXPECT_EQ(book.cell("BOM3!B5"), "P7");
    EXPECT_EQ(book.cell("BOM2!B1"), "Pump");
    EXPECT_EQ(book.cell("BOM2!B2"), "4711");    // "$HEAD:DrawNo" matched in any letter case
    EXPECT_EQ(book["bold BOM!B7"], "True");     // the cell copy carried the font
    EXPECT_EQ(book["border BOM2!A8"], "thin");  // formats under the rows survive
    EXPECT_EQ(book.cell("Template!A5"), "$pos:posnr");
    EXPECT_EQ(book.cell("Template!B1"), "$head:title");
    EXPECT_FALSE(book.has("cell BOM!A8"));  // the leftover row took the empty row below
    EXPECT_EQ(book["colfmt BOM!A"], "@");
    EXPECT_FALSE(session::excelReferences().ExcelApp);
    EXPECT_FALSE(session::excelReferences().ExcelBook);

    PlainEngineRun exact;
    exact.run(numberedRecords({1, 2, 3, 4}), 4, 0);
    ReadBack exactBook(exact.outputPath);
    EXPECT_EQ(exactBook["sheets"], "Cover,BOM,Template,Other");
    EXPECT_EQ(positionNumbers(exactBook, "BOM"), (Rows{"1", "2", "3", "4"}));
}

TEST(ExportPlainEngine, GapRowsAndTargetSheet) {
    {
        PlainEngineRun run;
        run.run(numberedRecords({1, 2, 5}), 10, 1);
        ReadBack book(run.outputPath);
        EXPECT_EQ(positionNumbers(book, "BOM"), (Rows{"1", "2", "3", "4", "5"}));
        EXPECT_EQ(book["type BOM!A7"], "str");  // gap numbers are text
        EXPECT_FALSE(book.has("cell BOM!B7"));
        EXPECT_EQ(book.cell("BOM!B9"), "P5");
    }
    {
        PlainEngineRun run;
        run.run(numberedRecords({1, 2, 5}), 10, 0);
        EXPECT_EQ(positionNumbers(ReadBack(run.outputPath), "BOM"), (Rows{"1", "2", "5"}));
    }
    {
        PlainEngineRun run;
        run.run(numberedRecords({1, 2, 5}), 3, 1);
        ReadBack book(run.outputPath);
        EXPECT_EQ(book["sheets"], "Cover,BOM,BOM2,Template,Other");
        EXPECT_EQ(positionNumbers(book, "BOM"), (Rows{"1", "2", "3"}));
        EXPECT_EQ(positionNumbers(book, "BOM2"), (Rows{"4", "5"}));
    }
    {
        PlainEngineRun run;
        run.run(numberedRecords({1, 5, 9}), 3, 1, "other");
        ReadBack book(run.outputPath);
        EXPECT_EQ(book["sheets"], "Cover,BOM,Other");
        EXPECT_EQ(positionNumbers(book, "Other"), (Rows{"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
        EXPECT_EQ(book.cell("BOM!A5"), "$pos:posnr");
    }
}

TEST(ExportPlainEngine, PicturesShortfallAndFieldLookups) {
    PlainEngineRun run;
    const std::string picture = dataFile("plainbom/part_40x30px.png");
    PlainData data;
    // Record 2 has its fields in another order.
    data.records = {
        {Variant(int32_t{1}), Variant("P1"), Variant(int32_t{2}), Variant(int32_t{1}), Variant(int32_t{5}),
         Variant("low"), Variant(picture)},
        {Variant(int32_t{2}), Variant("P2"), Variant(int32_t{2}), Variant(int32_t{1}), Variant(int32_t{3}),
         Variant("ok"), Variant(run.dir.file("missing.png"))},
    };
    std::vector<Variant> names, values;
    for (const auto& f : kPlainFields) names.emplace_back(f);
    values.insert(values.end(), data.records[0].begin(), data.records[0].end());
    const std::vector<std::string> swapped = {"name", "posnr", "verw1", "verw2", "count", "warn", "bmp"};
    for (const auto& f : swapped) names.emplace_back(f);
    values.push_back(data.records[1][1]);
    values.push_back(data.records[1][0]);
    values.insert(values.end(), data.records[1].begin() + 2, data.records[1].end());
    // Record 3 spells "name" in capitals: it matches no placeholder.
    const std::vector<std::string> capital = {"posnr", "NAME", "verw1", "verw2", "count", "warn", "bmp"};
    for (const auto& f : capital) names.emplace_back(f);
    for (const Variant& v : {Variant(int32_t{3}), Variant("P3"), Variant(), Variant(), Variant(), Variant(), Variant()})
        values.push_back(v);

    KestDBBomExcel server;
    server.ExportPlain2(Variant::array({}), Variant::array({}), 7, Variant::array(names), Variant::array(values),
                        run.templatePath, run.outputPath, 0, 0, 10, 0, "");
    ASSERT_TRUE(run.messages().empty()) << run.messages()[0];
    ReadBack book(run.outputPath);
    EXPECT_EQ(positionNumbers(book, "BOM"), (Rows{"1", "2", "3"}));
    EXPECT_EQ(book.cell("BOM!B6"), "P2");
    EXPECT_EQ(book.cell("BOM!B7"), "$POS:Name");
    EXPECT_EQ(book.cell("BOM!F5"), "!low");
    EXPECT_EQ(book.cell("BOM!F6"), "ok");
    // Two pictures in row 5, at the corners of G5 and H5; the row fits them.
    EXPECT_EQ(book.count("image BOM#"), 2u);
    const std::string images = book["image BOM#0"] + " " + book["image BOM#1"];
    EXPECT_NE(images.find("G5+0,0"), std::string::npos) << images;
    EXPECT_NE(images.find("H5+0,0"), std::string::npos) << images;
    EXPECT_NEAR(std::stod(book["height BOM!5"]), 22.5, 0.01);  // 30 pixels at 96 dpi
    EXPECT_FALSE(book.has("cell BOM!G5"));
    EXPECT_FALSE(book.has("cell BOM!G6"));  // missing file: the cell is emptied, no picture
}

TEST(ExportPlainEngine, MendedFaults) {
    {  // the output is the template: refused, the template kept
        PlainEngineRun run;
        const std::string before = readFile(run.templatePath);
        run.run(numberedRecords({1}), 3, 0, "", run.templatePath);
        ASSERT_EQ(run.messages().size(), 1u);
        EXPECT_NE(run.messages()[0].find("is the template file"), std::string::npos);
        EXPECT_EQ(readFile(run.templatePath), before);
    }
    {  // no limit in paging mode, numbers that do not rise, no warn column
        PlainEngineRun run;
        run.run(numberedRecords({3, 1, 2, 0}), 0, 0);
        ReadBack book(run.outputPath);
        EXPECT_EQ(book["sheets"], "Cover,BOM,Template,Other");
        EXPECT_EQ(positionNumbers(book, "BOM"), (Rows{"3", "1", "2", "0"}));
    }
    {  // a failed export leaves no workbook behind for the next one
        PlainEngineRun run;
        PlainData bad = numberedRecords({1, 2});
        bad.records[1][6] = Variant(dataFile("plainbom/not_a_picture.png"));
        run.run(bad, 10, 0);
        ASSERT_EQ(run.messages().size(), 1u);
        EXPECT_FALSE(session::excelReferences().ExcelBook);
        const std::string second = run.dir.file("second.xlsx");
        run.run(numberedRecords({8}), 10, 0, "", second);
        EXPECT_EQ(run.messages().size(), 1u);
        ReadBack book(second);
        EXPECT_EQ(positionNumbers(book, "BOM"), (Rows{"8"}));
        EXPECT_EQ(book["sheets"], "Cover,BOM,Template,Other");
    }
}

TEST(ExportPlainEngine, ShortfallWithoutWarnColumn) {
    PlainEngineRun run;
    const std::string templatePath = run.dir.file("no_warn.xlsx");
    runPython(
        "import sys\n"
        "from openpyxl import Workbook\n"
        "book = Workbook()\n"
        "sheet = book.active\n"
        "sheet.title = 'Parts'\n"
        "for column, name in enumerate(['posnr', 'verw1', 'verw2', 'count'], start=1):\n"
        "    sheet.cell(2, column, '$pos:' + name)\n"
        "book.save(sys.argv[1])\n",
        {templatePath});
    PlainData data;
    data.fields = {"posnr", "verw1", "verw2", "count"};
    data.records = {{Variant(int32_t{1}), Variant(int32_t{1}), Variant(int32_t{0}), Variant(int32_t{5})},
                    {Variant(int32_t{2}), Variant(int32_t{2}), Variant(int32_t{2}), Variant(int32_t{9})}};
    KestDBBomExcel server;
    server.ExportPlain2(Variant::array({}), Variant::array({}), 4, data.posNames(), data.posVals(), templatePath,
                        run.outputPath, 0, 0, 10, 0, "");
    EXPECT_TRUE(run.messages().empty());
    ReadBack book(run.outputPath);
    EXPECT_EQ(book["sheets"], "Parts,Template");
    EXPECT_EQ(book.cell("Parts!A2"), "1");
    EXPECT_EQ(book.cell("Parts!A3"), "2");
    EXPECT_EQ(book.cell("Parts!D3"), "9");
}

TEST(ExportPlainEngine, FailurePaths) {
    auto single = [](PlainEngineRun& run) { return run.messages().size() == 1 ? run.messages()[0] : std::string("?"); };
    {
        PlainEngineRun run;
        KestDBBomExcel server;
        EXPECT_EQ(server
                      .ExportPlain2(Variant::array({}), Variant::array({}), 1, Variant::array({}), Variant("x"),
                                    run.templatePath, run.outputPath, 0, 0, 3, 0, "")
                      .asInteger(),
                  1);
        EXPECT_EQ(single(run), "Type mismatch");
    }
    {
        PlainEngineRun run;
        PlainData data = numberedRecords({1});
        KestDBBomExcel server;
        server.ExportPlain2(Variant::array({}), Variant::array({}), 0, data.posNames(), data.posVals(),
                            run.templatePath, run.outputPath, 0, 0, 3, 0, "");
        EXPECT_EQ(single(run), "Division by zero");
    }
    {
        PlainEngineRun run;
        PlainData data = numberedRecords({1});
        data.records[0][0] = Variant("one");
        EXPECT_EQ(run.run(data, 3, 0).asInteger(), 1);
        EXPECT_EQ(single(run), "Type mismatch");
    }
    {
        PlainEngineRun run;
        PlainData data = numberedRecords({1});
        data.records[0][6] = Variant(dataFile("plainbom/not_a_picture.png"));
        run.run(data, 3, 0);
        EXPECT_NE(single(run), "?");
        EXPECT_NE(single(run).find("not_a_picture.png"), std::string::npos) << single(run);
    }
    {
        PlainEngineRun run;
        EXPECT_EQ(run.run(numberedRecords({1}), 3, 0, "", run.dir.file("x.xlsx")).asInteger(), 1);
        std::filesystem::remove(run.templatePath);
        PlainEngineRun missing;
        std::filesystem::remove(missing.templatePath);
        missing.run(numberedRecords({1}), 3, 0);
        EXPECT_EQ(single(missing), "Failed to obtain COM object to Workbook from Excel");
        EXPECT_TRUE(session::excelReferences().ExcelApp);
    }
    {
        PlainEngineRun run;
        run.run(numberedRecords({1}), 3, 0, "Missing");
        EXPECT_EQ(single(run), "Failed to obtain sheet object 'MISSING' from Excel....");
        EXPECT_FALSE(session::excelReferences().ExcelApp);
    }
}

}  // namespace
}  // namespace kbx::test
