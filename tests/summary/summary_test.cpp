// The summary methods on the engine: summary.xlsx (openpyxl) filled page by
// page, read back by openpyxl. Messages and the log: tests/automation.

#include <gtest/gtest.h>

#include "automation/kest_db_bom_excel.h"
#include "engine/engine.h"
#include "session/excel_references.h"
#include "support/test_support.h"

namespace kbx::test {
namespace {

using Lines = std::vector<std::string>;

class RecordingPresenter : public session::Presenter {
public:
    void Present(const std::string& file) override { presented.push_back(file); }
    Lines presented;
};

struct SummaryRun : MethodRun {
    std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
    std::string templ = copyData(dir, "summary.xlsx");
    std::string output = dir.file("out.xlsx");
    SummaryRun() { session::platform().presenter = presenter; }
    // Records of the fields given, captions "Caption <field>".
    void run(const std::vector<std::vector<Variant>>& records, int32_t perSheet,
             const std::vector<std::string>& fields = {"posnr", "qty", "bmp"}) {
        std::vector<Variant> names, captions, values;
        for (const std::string& field : fields) {
            names.emplace_back(field);
            captions.emplace_back("Caption " + field);
        }
        for (const auto& record : records) values.insert(values.end(), record.begin(), record.end());
        automation::KestDBBomExcel().CreateSummaryExcel(Variant::array(names), Variant::array(captions),
                                                        Variant::array(values), static_cast<int32_t>(fields.size()),
                                                        templ, output, 0, 0, perSheet);
    }
};

std::vector<Variant> item(int n, double qty, const std::string& picture = "") {
    return {Variant(int32_t{n}), Variant(qty), Variant(picture)};
}

TEST(Summary, OnePageWithPicturesFittedIntoTheirCells) {
    SummaryRun run;
    std::weak_ptr<sheet::Application> engine;
    session::platform().createApplication = [&engine] {
        std::shared_ptr<sheet::Application> app = engine::createApplication();
        engine = app;
        return app;
    };
    run.run({item(1, 2, run.dir.file("missing.png")), item(2, 5, dataFile("red_200x100pt_72dpi.png")), item(3, 1.5)},
            0);
    EXPECT_TRUE(engine.expired()) << "the saved and presented workbook stays in memory with nothing holding it";
    const ReadBack book(run.output, {"xl/workbook.xml"}, ReadBack::Cells::Computed);
    EXPECT_EQ(book["sheets"], "Summary Page 1,Layout");
    EXPECT_EQ(book.column("Summary Page 1", "A", 2), (Lines{"1", "2", "3"}));
    EXPECT_EQ(book.column("Summary Page 1", "B", 2), (Lines{"2", "5", "1.5"}));  // "$pos:QTY" matched qty
    const std::string p = "Summary Page 1!";
    // BA2 is the last scanned column, BB2 lies right of it; the leftover row 5 took the one below.
    // 200 x 100 points with a width unit of 5 make row 3 100 high and column C 40 wide: the file
    // stores 40 digits with the padding of the 7-pixel digit, (40 * 7 + 5) / 7.
    book.expect({"value " + p + "A1=Caption posnr", "value " + p + "C1=Caption bmp", "type " + p + "B3=int",
                 "italic " + p + "A3=1", "value " + p + "D2=$pos:unknown",
                 "value " + p + "D3=", "value " + p + "BA4=1.5", "value " + p + "BB2=$pos:posnr",
                 "value " + p + "BB3=", "value " + p + "A5=", "value " + p + "E5=note",
                 "value " + p + "C2=", "value " + p + "C3=", "colfmt " + p + "D=@", "height " + p + "3=100",
                 "width " + p + "C=40.7109", "value Layout!A2=$pos:posnr", "images Layout=0"});
    // The picture moves and sizes with C3 and fills it.
    EXPECT_EQ(book.images("Summary Page 1"), Lines{"TwoCellAnchor twoCell C3+0,0 at 96.0,30.0 size 200.0x100.0"});
    // E1 of the layout sums column B: on the page the quantities written there.
    book.expect({"value " + p + "E1=8.5", "value Layout!E1=0"});
    EXPECT_EQ(book["xml xl/workbook.xml"].find("fullCalcOnLoad"), std::string::npos);
    // Measured, removed and embedded anew: the media are numbered from 1.
    EXPECT_EQ(book.count("part xl/media/"), 1u);
    EXPECT_TRUE(book.has("part xl/media/image1.png"));
    // Pages that fail after the first save still hand the saved workbook over.
    SummaryRun failing;
    failing.run({item(1, 2, dataFile("not_a_picture.png"))}, 0);
    EXPECT_EQ(failing.presenter->presented, Lines{failing.output});
}

TEST(Summary, PagesOfThePositionsPerSheet) {
    struct Row {
        int records, perSheet;
        Lines fields;
        const char* sheets;
        std::vector<Lines> pages;
        Lines totals;  // E1 of each page: the sum of its column B, quantities of 1
        bool lastPictureFails = false;
    };
    const Row rows[] = {
        {5,
         2,
         {"posnr", "qty", "bmp"},
         "Summary Page 1,Summary Page 2,Summary Page 3,Layout",
         {{"1", "2"}, {"3", "4"}, {"5"}},
         {"2", "2", "1"}},
        {3, 0, {"posnr"}, "Summary Page 1,Layout", {{"1", "2", "3"}}, {"0"}},
        {0, 0, {"posnr", "qty", "bmp"}, "Layout", {}, {}},
        // What was built before the error is saved, up to the placeholders carried below the last row.
        {2,
         1,
         {"posnr", "qty", "bmp"},
         "Summary Page 1,Summary Page 2,Layout",
         {{"1"}, {"2", "$pos:posnr"}},
         {"1", "1"},
         true},
    };
    for (const Row& row : rows) {
        SummaryRun run;
        std::vector<std::vector<Variant>> records;
        for (int n = 1; n <= row.records; ++n) {
            std::vector<Variant> record = item(n, 1);
            record.resize(row.fields.size());
            if (row.lastPictureFails && n == row.records) record[2] = Variant(dataFile("not_a_picture.png"));
            records.push_back(record);
        }
        run.run(records, row.perSheet, row.fields);
        EXPECT_EQ(run.presenter->presented, Lines{run.output});
        const ReadBack book(run.output, {}, ReadBack::Cells::Computed);
        EXPECT_EQ(book["sheets"], row.sheets);
        for (size_t p = 0; p < row.pages.size(); ++p) {
            const std::string sheet = "Summary Page " + std::to_string(p + 1);
            EXPECT_EQ(book.column(sheet, "A", 2), row.pages[p]) << sheet;
            EXPECT_EQ(book.value(sheet + "!A1"), "Caption posnr") << sheet;
            EXPECT_EQ(book.value(sheet + "!E1"), row.totals[p]) << sheet;
        }
    }
}

TEST(SummaryTemplate, WritesPlaceholderRowsAndHandsTheSavedFileOver) {
    SummaryRun run;
    automation::KestDBBomExcel server;
    const std::shared_ptr<sheet::Application> host = engine::createApplication();
    session::excelReferences().ExcelApp = host;  // made visible for the user, then let go
    server.CreateSummaryTemplate(array({Variant("posnr"), Variant("Qty")}));
    EXPECT_TRUE(toBoolean(host->Get(sheet::AppSetting::Visible)));
    server.CreateSummaryTemplate(array({}));  // a blank workbook, under a name of its own
    ASSERT_EQ(run.presenter->presented.size(), 2u);
    EXPECT_NE(run.presenter->presented[0], run.presenter->presented[1]);
    EXPECT_EQ(std::filesystem::path(run.presenter->presented[0]).parent_path(), run.dir.path());
    const ReadBack book(run.presenter->presented[0]);
    const std::string sheet = book["sheets"] + "!";
    for (const auto& [cell, text] :
         {std::pair{"A1", "$head:posnr"}, {"B1", "$head:Qty"}, {"A2", "$pos:posnr"}, {"B2", "$pos:Qty"}})
        EXPECT_EQ(book.value(sheet + cell), text);
    EXPECT_EQ(book.count("value "), 4u);
    EXPECT_EQ(ReadBack(run.presenter->presented[1]).count("value "), 0u);
    EXPECT_FALSE(session::excelReferences().ExcelApp);
    EXPECT_EQ(run.log(), Lines{});
}

}  // namespace
}  // namespace kbx::test
