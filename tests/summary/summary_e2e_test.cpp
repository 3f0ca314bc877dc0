// End-to-end: the summary methods on an openpyxl-made template through the
// embedded engine, read back by openpyxl.

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/engine.h"
#include "plainbom/read_back.h"
#include "session/excel_references.h"
#include "summary/summary_fixture.h"
#include "value/runtime_error.h"

namespace kbx::test {
namespace {

using Rows = std::vector<std::string>;

struct SummaryEngineRun {
    PlatformGuard guard;
    TempDir dir;
    EnvGuard temp{"TEMP", dir.path().string()};
    std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
    std::string templatePath = dir.file("summary_template.xlsx");
    std::string outputPath = dir.file("summary_out.xlsx");

    SummaryEngineRun() {
        session::platform().presenter = presenter;
        std::filesystem::copy_file(dataFile("summary/summary_template.xlsx"), templatePath);
    }
    Variant run(const std::vector<std::vector<Variant>>& records, int32_t posPerSheet,
                std::vector<std::string> fields = {"posnr", "qty", "bmp"}) {
        std::vector<Variant> names(fields.begin(), fields.end());
        std::vector<Variant> captions;
        for (const std::string& field : fields) captions.emplace_back("Caption " + field);
        std::vector<Variant> values;
        for (const auto& record : records) values.insert(values.end(), record.begin(), record.end());
        KestDBBomExcel server;
        return server.CreateSummaryExcel(Variant::array(names), Variant::array(captions), Variant::array(values),
                                         static_cast<int32_t>(fields.size()), templatePath, outputPath, 0, 0,
                                         posPerSheet);
    }
    std::vector<std::string> logLines() const { return readLines(dir.file("KestDBBomEx.log")); }
};

Rows columnFromRow2(const ReadBack& book, const std::string& sheet, const std::string& column) {
    Rows values;
    for (int row = 2; book.has("cell " + sheet + "!" + column + std::to_string(row)); ++row)
        values.push_back(book.cell(sheet + "!" + column + std::to_string(row)));
    return values;
}

TEST(SummaryEngine, OnePageWithPicturesFittedIntoTheirCells) {
    SummaryEngineRun run;
    std::weak_ptr<sheet::Application> engine;
    session::platform().createApplication = [&engine] {
        std::shared_ptr<sheet::Application> app = createEngineApplication();
        engine = app;
        return app;
    };
    const std::string picture = dataFile("summary/red_200x100pt.png");
    const Variant result = run.run({item(1, 2, run.dir.file("missing.png")), item(2, 5, picture), item(3, 1.5)}, 0);
    EXPECT_EQ(result.asInteger(), 1);
    EXPECT_TRUE(engine.expired()) << "the saved and presented workbook stays in memory with nothing holding it";
    ReadBack book(run.outputPath);
    EXPECT_EQ(book["sheets"], "Summary Page 1,Layout");
    const std::string page = "Summary Page 1";
    EXPECT_EQ(book.cell(page + "!A1"), "Caption posnr");
    EXPECT_EQ(book.cell(page + "!C1"), "Caption bmp");
    EXPECT_EQ(columnFromRow2(book, page, "A"), (Rows{"1", "2", "3"}));
    EXPECT_EQ(columnFromRow2(book, page, "B"), (Rows{"2", "5", "1.5"}));  // "$pos:QTY" matched qty
    EXPECT_EQ(book["type " + page + "!B3"], "int");                       // values go in unchanged
    EXPECT_EQ(book.cell(page + "!D2"), "$pos:unknown");
    EXPECT_FALSE(book.has("cell " + page + "!D3"));
    EXPECT_EQ(book.cell(page + "!BB2"), "$pos:posnr");  // right of the scanned columns
    EXPECT_FALSE(book.has("cell " + page + "!BB3"));
    EXPECT_FALSE(book.has("cell " + page + "!A5"));  // the leftover row
    EXPECT_EQ(book.cell(page + "!A9"), "note");
    EXPECT_FALSE(book.has("cell " + page + "!C2"));  // missing picture: emptied
    EXPECT_FALSE(book.has("cell " + page + "!C3"));
    for (const char* column : {"A", "B", "C", "D"}) EXPECT_EQ(book["colfmt " + page + "!" + column], "@") << column;
    // 200 x 100 points with a width unit of 5: row 100, column 40, the picture at C3's corner.
    EXPECT_EQ(book["height " + page + "!3"], "100");
    // The file stores a width of 40 digits with the cell padding of the 7-pixel
    // default digit: (40 * 7 + 5) / 7, cut to 1/256.
    EXPECT_NEAR(std::stod(book["width " + page + "!C"]), 40.7109, 0.0001);
    EXPECT_EQ(book.count("image " + page + "#"), 1u);
    const std::string image = book["image " + page + "#0"];
    EXPECT_EQ(image.rfind("TwoCellAnchor", 0), 0u) << image;  // moves and sizes with its cell
    EXPECT_NE(image.find(" C3+0,0 "), std::string::npos) << image;
    // 200 x 100 points: the far corner lies 200 points into column C, at the row's bottom.
    EXPECT_TRUE(image.find("to C3+200,100") != std::string::npos || image.find("to C4+200,0") != std::string::npos)
        << image;
    EXPECT_EQ(book.count("image Layout#"), 0u);
    EXPECT_EQ(book.cell("Layout!A2"), "$pos:posnr");  // the template sheet stays as it was
    EXPECT_EQ(run.presenter->presented, (Rows{run.outputPath}));
    EXPECT_EQ(run.logLines().back(), "EXCEL - BOM - OUTPUT: Leaving CreateSummaryExcel");
}

TEST(SummaryEngine, PagesRecordSizeOneAndNoRecords) {
    {
        SummaryEngineRun run;
        run.run({item(1, 1), item(2, 1), item(3, 1), item(4, 1), item(5, 1)}, 2);
        ReadBack book(run.outputPath);
        EXPECT_EQ(book["sheets"], "Summary Page 1,Summary Page 2,Summary Page 3,Layout");
        EXPECT_EQ(columnFromRow2(book, "Summary Page 1", "A"), (Rows{"1", "2"}));
        EXPECT_EQ(columnFromRow2(book, "Summary Page 2", "A"), (Rows{"3", "4"}));
        EXPECT_EQ(columnFromRow2(book, "Summary Page 3", "A"), (Rows{"5"}));
    }
    {
        SummaryEngineRun run;
        run.run({{Variant(int32_t{7})}, {Variant(int32_t{8})}, {Variant(int32_t{9})}}, 0, {"posnr"});
        ReadBack book(run.outputPath);
        EXPECT_EQ(columnFromRow2(book, "Summary Page 1", "A"), (Rows{"7", "8", "9"}));
    }
    {
        SummaryEngineRun run;
        run.run({}, 0);
        EXPECT_EQ(ReadBack(run.outputPath)["sheets"], "Layout");
    }
}

TEST(SummaryEngine, Failures) {
    {
        SummaryEngineRun run;
        KestDBBomExcel server;
        try {
            server.CreateSummaryExcel(Variant::array({Variant("posnr")}), Variant::array({Variant("No.")}),
                                      Variant::array({Variant(int32_t{1})}), 0, run.templatePath, run.outputPath, 0, 0,
                                      0);
            ADD_FAILURE() << "RecordSize 0 was accepted";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.number(), err::DivisionByZero);
        }
        EXPECT_EQ(run.logLines(), (Rows{"EXCEL - BOM - OUTPUT: Entering CreateSummaryExcel"}));
        EXPECT_FALSE(session::excelReferences().ExcelApp);
    }
    {
        SummaryEngineRun run;
        std::filesystem::remove(run.templatePath);
        EXPECT_EQ(run.run({item(1, 1)}, 0).asInteger(), 1);
        ASSERT_EQ(run.guard.messages->shown.size(), 1u);
        EXPECT_EQ(run.guard.messages->shown[0].text, "Failed to obtain COM object to Workbook from Excel");
        EXPECT_TRUE(session::excelReferences().ExcelApp);
    }
    {
        SummaryEngineRun run;
        run.run({item(1, 1), item(2, 1, dataFile("plainbom/not_a_picture.png"))}, 0);
        const Rows lines = run.logLines();
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_NE(lines[2].find("not_a_picture.png"), std::string::npos) << lines[2];
        EXPECT_EQ(lines[3], "EXCEL - BOM - OUTPUT: Leaving CreateSummaryExcel");
        ReadBack book(run.outputPath);  // as saved before the pages
        EXPECT_EQ(book["sheets"], "Layout");
        EXPECT_EQ(book.cell("Layout!A2"), "$pos:posnr");
    }
}

TEST(SummaryEngine, TemplateWithPlaceholderRows) {
    SummaryEngineRun run;
    KestDBBomExcel server;
    EXPECT_EQ(
        server.CreateSummaryTemplate(Variant::array({Variant("posnr"), Variant("qty"), Variant("bmp")})).asInteger(),
        1);
    ASSERT_EQ(run.presenter->presented.size(), 1u);
    ReadBack book(run.presenter->presented[0]);
    const std::string sheet = book["sheets"];
    EXPECT_EQ(book.cell(sheet + "!A1"), "$head:posnr");
    EXPECT_EQ(book.cell(sheet + "!B1"), "$head:qty");
    EXPECT_EQ(book.cell(sheet + "!C1"), "$head:bmp");
    EXPECT_EQ(book.cell(sheet + "!A2"), "$pos:posnr");
    EXPECT_EQ(book.cell(sheet + "!B2"), "$pos:qty");
    EXPECT_EQ(book.cell(sheet + "!C2"), "$pos:bmp");
    EXPECT_EQ(book.count("cell "), 6u);
    EXPECT_FALSE(session::excelReferences().ExcelApp);
}

}  // namespace
}  // namespace kbx::test
