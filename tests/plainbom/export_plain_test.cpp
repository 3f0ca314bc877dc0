// The plain list on the engine: the template plain.xlsx (openpyxl) filled page by
// page, read back by openpyxl. Messages and the log: tests/automation.

#include <gtest/gtest.h>

#include <sstream>

#include "automation/kest_db_bom_excel.h"
#include "engine/engine.h"
#include "session/excel_references.h"
#include "support/test_support.h"

namespace kbx::test {
namespace {

const Variant kHeadNames = array({Variant("title"), Variant("drawno")});
const Variant kHeadVals = array({Variant("Pump"), Variant(int32_t{4711})});

struct PlainRun : MethodRun {
    std::string templ = copyData(dir, "plain.xlsx");
    std::string output = dir.file("out.xlsx");
    automation::KestDBBomExcel server;

    // Records of (name "P<n>", posnr): posnr is the last element of the array.
    void run(const std::vector<int>& numbers, int32_t perSheet, int32_t gaps, const std::string& target = "",
             const std::string& out = "") {
        std::vector<Variant> names, values;
        for (int n : numbers) {
            names.insert(names.end(), {Variant("name"), Variant("posnr")});
            values.insert(values.end(), {Variant("P" + std::to_string(n)), Variant(int32_t{n})});
        }
        server.ExportPlain2(kHeadNames, kHeadVals, 2, Variant::array(names), Variant::array(values), templ,
                            out.empty() ? output : out, 0, 0, perSheet, gaps, target);
    }
};

struct PagingRow {
    std::vector<int> numbers;
    int32_t perSheet, gaps;
    const char* target;
    const char* sheets;
    const char* pages;  // "SHEET:column A from the position row down" ...
    std::vector<std::string> facts;
};

TEST(ExportPlain, PagesGapRowsAndTargetSheet) {
    const PagingRow rows[] = {
        {{1, 2, 3, 4, 5, 6, 7},
         3,
         0,
         "",
         "Cover,BOM,BOM2,BOM3,Template,Other",
         "BOM:1,2,3 BOM2:4,5,6 BOM3:7",
         {"value BOM3!B5=P7", "value BOM2!B1=Pump", "value BOM2!B2=4711", "value BOM2!I5=4711", "bold BOM!B7=1",
          "color BOM!B7=FFC00000", "halign BOM2!A6=center", "border BOM2!A8=thin,thin,thin,thin",
          "value BOM!A8=", "value Template!A5=$pos:posnr", "value Template!B1=$head:title", "colfmt BOM!A=@"}},
        {{1, 2, 3, 4}, 4, 0, "", "Cover,BOM,Template,Other", "BOM:1,2,3,4", {}},  // no empty follower
        {{1, 2, 5},
         10,
         5,
         "",
         "Cover,BOM,Template,Other",
         "BOM:1,2,3,4,5",
         {"type BOM!A7=str", "value BOM!B7=", "value BOM!B9=P5"}},  // a gap row holds its number as text only
        {{1, 2, 5}, 10, 0, "", "Cover,BOM,Template,Other", "BOM:1,2,5", {}},
        {{1, 2, 5}, 3, 1, "", "Cover,BOM,BOM2,Template,Other", "BOM:1,2,3 BOM2:4,5", {"value BOM2!B6=P5"}},
        {{1, 5, 9}, 2, 1, "oTHer", "Cover,BOM,Other", "Other:1,2,3,4,5,6,7,8,9", {"value BOM!A5=$pos:posnr"}},
        {{1, 2, 3, 4, 5}, 0, 0, "", "Cover,BOM,Template,Other", "BOM:1,2,3,4,5", {}},  // no limit
        {{1, 2, 3}, -3, 0, "", "Cover,BOM,Template,Other", "BOM:1,2,3", {}},
        {{3, 1, 2}, 2, 0, "", "Cover,BOM,BOM2,Template,Other", "BOM:3,1 BOM2:2", {}},  // as given, not sorted
        {{2, 0}, 5, 0, "", "Cover,BOM,Template,Other", "BOM:2,0", {}},  // a last number 0 still starts the export
    };
    for (const PagingRow& row : rows) {
        PlainRun run;
        run.run(row.numbers, row.perSheet, row.gaps, row.target);
        SCOPED_TRACE(std::string(row.pages) + " per sheet " + std::to_string(row.perSheet));
        EXPECT_EQ(run.messages(), std::vector<std::string>());
        const ReadBack book(run.output);
        EXPECT_EQ(book["sheets"], row.sheets);
        std::istringstream pages(row.pages);
        for (std::string page; pages >> page;) {
            std::string numbers;
            for (const std::string& n : book.column(page.substr(0, page.find(':')), "A", 5)) numbers += "," + n;
            EXPECT_EQ(page.substr(0, page.find(':')) + ":" + numbers.substr(1), page);
        }
        book.expect(row.facts);
        EXPECT_FALSE(session::excelReferences().ExcelApp);
    }
}

// Row 30 of the template counts and totals the positions of its page: each
// page's copy computes its own, saved with the results as openpyxl reads them.
TEST(ExportPlain, EachPageTotalsItsOwnPositions) {
    PlainRun run;
    std::vector<Variant> names, values;
    for (int32_t n = 1; n <= 7; ++n) {
        names.insert(names.end(), {Variant("count"), Variant("posnr")});
        values.insert(values.end(), {Variant(10 * n), Variant(n)});
    }
    run.server.ExportPlain2(kHeadNames, kHeadVals, 2, Variant::array(names), Variant::array(values), run.templ,
                            run.output, 0, 0, 3, 0, "");
    ASSERT_EQ(run.messages(), std::vector<std::string>());
    const ReadBack book(run.output, {"xl/workbook.xml"}, ReadBack::Cells::Computed);
    book.expect({"sheets=Cover,BOM,BOM2,BOM3,Template,Other", "value BOM!E30=60", "value BOM2!E30=150",
                 "value BOM3!E30=70", "value BOM!A30=3", "value BOM2!A30=3", "value BOM3!A30=1", "value Template!E30=0",
                 "value Template!A30=0"});
    EXPECT_EQ(book["xml xl/workbook.xml"].find("fullCalcOnLoad"), std::string::npos);
}

TEST(ExportPlain, FieldsByNamePerRecordShortfallMarksAndPictures) {
    PlainRun run;
    const std::string picture = dataFile("green_120x80px_nodpi.png"), missing = run.dir.file("no.png");
    // Record 2 has its fields in another order (its first lookup misses the offsets of record 1), record 3 spells
    // "NAME" in capitals and counts "x" as 0, record 4 has no verw2 and so no mark.
    const Variant names = array({"posnr", "name", "verw1", "verw2", "count", "warn",  "bmp",   // record 1
                                 "bmp",   "name", "posnr", "verw1", "verw2", "count", "warn",  // record 2
                                 "posnr", "NAME", "verw1", "verw2", "count", "warn",  "bmp",   // record 3
                                 "posnr", "name", "verw1", "x",     "count", "warn",  "bmp"});
    const Variant values = array({1,       "P1", 2,   1,   5,   "low",     picture,    // record 1
                                  missing, "P2", 2,   2,   1,   3,         "ok",       // record 2
                                  3,       "P3", "x", "0", 1.0, Variant(), Variant(),  // record 3
                                  4,       "P4", 0,   0,   9,   "w",       Variant()});
    run.server.ExportPlain(kHeadNames, kHeadVals, 7, names, values, run.templ, run.output, 0, 0, 10, 0);
    ASSERT_EQ(run.messages(), std::vector<std::string>());
    const ReadBack book(run.output);
    EXPECT_EQ(book.column("BOM", "A", 5), (std::vector<std::string>{"1", "2", "3", "4"}));
    book.expect({"value BOM!B6=P2", "value BOM!B7=$POS:Name", "value BOM!F5=!low", "value BOM!F6=ok", "value BOM!F7=!",
                 "value BOM!C7=x", "value BOM!F8=w", "value BOM!D8=$pos:verw2", "value BOM!D9=", "type BOM!A5=int",
                 "height BOM!5=60", "value BOM!G5=", "value BOM!G6=", "value BOM!H6="});
    // Two pictures in row 5 at the corners of G5 and H5, the row as tall as they are; a missing
    // file empties its cell and places nothing.
    EXPECT_EQ(book.images("BOM"), (std::vector<std::string>{"OneCellAnchor - G5+0,0 at 288.0,60.0 size 90.0x60.0",
                                                            "OneCellAnchor - H5+0,0 at 336.0,60.0 size 90.0x60.0"}));
}

TEST(ExportPlain, TemplateKeptAndFailedExportLeavesNothingForTheNext) {
    PlainRun run;
    const std::string before = readFile(run.templ);
    run.run({1}, 3, 0, "", run.templ);
    EXPECT_EQ(readFile(run.templ), before);
    ASSERT_EQ(run.messages().size(), 1u);
    // A picture that is none fails the export; the next one starts from the template.
    run.server.ExportPlain2(kHeadNames, kHeadVals, 3, array({Variant("posnr"), Variant("name"), Variant("bmp")}),
                            array({Variant(1), Variant("x"), Variant(dataFile("not_a_picture.png"))}), run.templ,
                            run.output, 0, 0, 10, 0, "");
    ASSERT_EQ(run.messages().size(), 2u);
    EXPECT_FALSE(session::excelReferences().ExcelBook);
    run.run({8}, 10, 0, "", run.dir.file("second.xlsx"));
    EXPECT_EQ(run.messages().size(), 2u);
    const ReadBack book(run.dir.file("second.xlsx"));
    EXPECT_EQ(book["sheets"], "Cover,BOM,Template,Other");
    EXPECT_EQ(book.column("BOM", "A", 5), std::vector<std::string>{"8"});
    // A host's visible application keeps running with its workbooks; one made visible here is quit.
    for (const bool visible : {true, false}) {
        const auto host = session::excelReferences().ExcelApp = engine::createApplication();
        host->Set(sheet::AppSetting::Visible, Variant(visible));
        host->GetWorkbooks().Add();
        run.run({9}, 10, 0, "", run.dir.file("third.xlsx"));
        EXPECT_EQ(host->GetWorkbooks().Count(), visible ? 1 : 0);
    }
}

}  // namespace
}  // namespace kbx::test
