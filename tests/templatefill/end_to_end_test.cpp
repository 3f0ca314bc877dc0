// ExportBomExcel through the class and the embedded engine, on templates made
// by openpyxl, with the saved workbooks read back by openpyxl.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "automation/kest_db_bom_excel.h"
#include "engine/engine.h"
#include "log/write_log.h"
#include "read_back.h"
#include "session/excel_references.h"
#include "session/platform.h"
#include "support/test_support.h"
#include "test_helpers.h"
#include "value/runtime_error.h"

namespace kbx {
namespace {

using test::Array;
using test::Numbers;

// The data set of one call; tests change what they need.
struct Data {
    Variant headNames = Array({"drawno", "title", "weight", "Owner"});
    Variant headVals = Array({"KB-1", "Gear", 12.5, "Kim"});
    int32_t recordSize = 3;
    Variant posNames = Array({"posnr", "name", "qty"});
    Variant posVals = Array({int32_t{1}, "Bolt", int32_t{4}, int32_t{2}, "Nut", 4.5, int32_t{3}, "Washer", int32_t{8}});
};

class EndToEndTest : public ::testing::Test {
protected:
    // A fresh copy of a committed template in the temporary directory.
    std::string Template(const std::string& name) {
        const std::string copy = temp.file(name);
        std::filesystem::copy_file(test::dataFile("templatefill/" + name), copy,
                                   std::filesystem::copy_options::overwrite_existing);
        return copy;
    }

    int32_t Export(std::string file, const std::string& profile, int32_t reverse, int32_t embed, int32_t clos,
                   const std::string& sheetName, const Data& data = Data()) {
        return server.ExportBomExcel(data.headNames, data.headVals, data.recordSize, data.posNames, data.posVals, file,
                                     0, "", embed, profile, reverse, "", clos, sheetName);
    }

    int32_t ErrorOf(std::string file, const std::string& profile, const Data& data = Data()) {
        try {
            Export(std::move(file), profile, 0, 0, 0, "", data);
        } catch (const RuntimeError& e) {
            return e.number();
        }
        return 0;
    }

    std::vector<std::string> LogLines() { return test::readLines(temp.file(kLogFileName)); }

    test::TempDir temp;
    test::EnvGuard tempVariable{"TEMP", temp.path().string()};
    test::PlatformGuard guard;
    KestDBBomExcel server;
};

TEST_F(EndToEndTest, FillsHeadersAndPositionsAndKeepsEverythingElseOfTheTemplate) {
    const std::string file = Template("fill.xlsx");
    ASSERT_EQ(Export(file, "Parts", 0, 1, 1, "Parts"), 1);
    ASSERT_FALSE(session::excelReferences().ExcelApp);

    const test::ReadBack parts = test::readBack(file, "Parts");
    EXPECT_EQ(parts.sheetNames, (std::vector<std::string>{"Cover", "Parts"}));
    EXPECT_EQ(parts.activeSheet, "Parts");
    // Header values, numbers as text; unknown or upper-case names and cells
    // outside rows 1..57 / columns 1..50 keep their placeholder.
    EXPECT_EQ(parts.value("A1"), "KB-1");
    EXPECT_EQ(parts.value("B1"), "Gear");
    EXPECT_EQ(parts.cell("D1").type, "s");
    EXPECT_EQ(parts.value("D1"), "12.5");
    EXPECT_EQ(parts.value("E1"), "$head:owner");
    EXPECT_EQ(parts.value("AY1"), "$head:drawno");
    EXPECT_EQ(parts.value("A60"), "$pos:posnr");
    EXPECT_EQ(parts.value("A3"), "$pos:posnr");  // the upper position row stays
    // One row per position from the lower position row down, model format.
    EXPECT_EQ(parts.value("A6"), "1");
    EXPECT_EQ(parts.value("A7"), "2");
    EXPECT_EQ(parts.value("A8"), "3");
    EXPECT_EQ(parts.value("B8"), "Washer");
    EXPECT_EQ(parts.value("C7"), "4.5");
    EXPECT_EQ(parts.cell("C7").type, "n");
    EXPECT_EQ(parts.value("A9"), "");
    for (const char* coordinate : {"A6", "A7", "A8"}) {
        const test::ReadBackCell& cell = parts.cell(coordinate);
        EXPECT_TRUE(cell.bold) << coordinate;
        EXPECT_EQ(cell.size, "12") << coordinate;
        EXPECT_EQ(cell.color, "FFFF0000") << coordinate;
        EXPECT_EQ(cell.horizontal, "center") << coordinate;
        EXPECT_EQ(cell.vertical, "top") << coordinate;
        EXPECT_EQ(cell.numberFormat, "@") << coordinate;
    }
    EXPECT_TRUE(parts.cell("B7").italic);
    EXPECT_EQ(parts.cell("B7").horizontal, "left");
    EXPECT_EQ(parts.cell("C8").horizontal, "right");
    // Untouched parts of the template.
    EXPECT_EQ(parts.value("D6"), "keep");
    EXPECT_EQ(parts.value("D8"), "untouched");
    EXPECT_EQ(parts.cell("A1").border, "thin,thin,thin,thin");
    EXPECT_EQ(parts.cell("D6").border, "thin,thin,thin,thin");
    EXPECT_EQ(parts.cell("A6").border, "thin,thin,thin,thin");
    EXPECT_EQ(parts.mergedRanges, "B1:C1");
    EXPECT_EQ(parts.images, 1);
    EXPECT_NE(parts.printArea.find("$A$1:$E$20"), std::string::npos) << parts.printArea;
    EXPECT_EQ(test::readBack(file, "Cover").value("A1"), "$head:title");

    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{"EXCEL - BOM - OUTPUT: Entering ExportBomExcel, trying to write " + file,
                                        "EXCEL - BOM - OUTPUT: Trying to open: " + file,
                                        "EXCEL - BOM - OUTPUT: Leaving ExportBOMExcel"}));
}

TEST_F(EndToEndTest, ReverseMirrorsFromRowOneAndKeepsTheCellBesideTheBlock) {
    const std::string file = Template("reverse.xlsx");
    Data data;
    data.headNames = Array({"title"});
    data.headVals = Array({"T"});
    data.recordSize = 2;
    data.posNames = Array({"n", "m"});
    data.posVals = Array({int32_t{1}, "a", int32_t{2}, "b", int32_t{3}, "c"});
    ASSERT_EQ(Export(file, "Reverse", 1, 1, 1, "", data), 1);

    // Rows 1..6 (position row 4, three positions) are mirrored: r -> 7 - r.
    const test::ReadBack sheet = test::readBack(file, "Reverse");
    EXPECT_EQ(sheet.value("A6"), "T");
    EXPECT_EQ(sheet.value("A5"), "Header 2");
    EXPECT_TRUE(sheet.cell("A5").bold);
    EXPECT_EQ(sheet.value("A3"), "1");
    EXPECT_EQ(sheet.value("A1"), "3");
    EXPECT_EQ(sheet.value("B1"), "c");
    EXPECT_TRUE(sheet.cell("A1").italic);
    EXPECT_EQ(sheet.cell("A1").horizontal, "right");
    EXPECT_FALSE(sheet.cell("A6").italic);
    EXPECT_EQ(sheet.value("A4"), "");
    // Row 1, column lastCol + 1 as the template had it.
    const test::ReadBackCell& beside = sheet.cell("C1");
    EXPECT_EQ(beside.value, "beside");
    EXPECT_TRUE(beside.bold);
    EXPECT_EQ(beside.size, "14");
    EXPECT_EQ(beside.horizontal, "right");
    EXPECT_EQ(beside.vertical, "center");
}

TEST_F(EndToEndTest, IncompleteLastGroupIsWrittenForTheFieldsItCovers) {
    const std::string file = Template("groups.xlsx");
    Data data;
    data.recordSize = 3;
    data.posNames = Array({"f0", "f1", "f2"});
    data.posVals = Numbers(7);
    ASSERT_EQ(Export(file, "", 0, 1, 1, "", data), 1);
    const test::ReadBack sheet = test::readBack(file, "Groups");
    EXPECT_EQ(sheet.value("A2") + sheet.value("A3") + sheet.value("A4"), "036");
    EXPECT_EQ(sheet.value("B2") + sheet.value("B3"), "14");
    EXPECT_EQ(sheet.value("C2") + sheet.value("C3"), "25");
    EXPECT_EQ(sheet.value("B4"), "");
    EXPECT_EQ(sheet.value("C4"), "");
}

TEST_F(EndToEndTest, EmptyProfileFillsTheActiveSheetAndSheetNameActivatesExactly) {
    const std::string file = Template("fill.xlsx");
    ASSERT_EQ(Export(file, "", 0, 1, 1, "parts"), 1);  // case differs: nothing activated
    test::ReadBack cover = test::readBack(file, "Cover");
    EXPECT_EQ(cover.value("A1"), "Gear");
    EXPECT_EQ(cover.activeSheet, "Cover");
    EXPECT_EQ(test::readBack(file, "Parts").value("A1"), "$head:drawno");

    ASSERT_EQ(Export(file, "Parts", 0, 1, 1, "Parts"), 1);
    EXPECT_EQ(test::readBack(file, "Parts").activeSheet, "Parts");
}

TEST_F(EndToEndTest, ClosAndEmBedDecideWhatStaysOpen) {
    struct Row {
        int32_t clos, embed;
        int32_t openWorkbooks;
        bool referencesKept;
    };
    for (const Row& row : {Row{0, -1, 1, true}, Row{1, 0, 1, false}, Row{1, -1, 0, false}, Row{1, 1, 0, false}}) {
        SCOPED_TRACE("Clos " + std::to_string(row.clos) + ", EmBed " + std::to_string(row.embed));
        session::excelReferences() = {};
        const std::shared_ptr<sheet::Application> app = session::createExcelApplication();
        ASSERT_TRUE(app);
        session::excelReferences().ExcelApp = app;
        const std::string file = Template("fill.xlsx");
        ASSERT_EQ(Export(file, "Parts", 0, row.embed, row.clos, ""), 1);
        EXPECT_EQ(app->GetWorkbooks().Count(), row.openWorkbooks);
        EXPECT_EQ(session::excelReferences().ExcelApp != nullptr, row.referencesKept);
        EXPECT_EQ(session::excelReferences().ExcelBook != nullptr, row.referencesKept);
        EXPECT_EQ(test::readBack(file, "Parts").value("A1"), "KB-1");  // saved in every case
        if (row.embed != -1) {
            EXPECT_TRUE(toBoolean(app->Get(sheet::AppSetting::Visible)));
        }
        EXPECT_EQ(app->Calculation(), sheet::xl::CalculationAutomatic);
    }
}

TEST_F(EndToEndTest, ASecondCallFillsAndSavesTheHeldWorkbookWhateverFileItNames) {
    const std::string file = Template("reverse.xlsx");
    Data data;
    data.headNames = Array({"title"});
    data.headVals = Array({"T"});
    data.recordSize = 1;
    data.posNames = Array({"n"});
    data.posVals = Array({"x", "y"});
    ASSERT_EQ(Export(file, "Reverse", 0, 0, 0, "", data), 1);
    ASSERT_TRUE(session::excelReferences().ExcelBook);
    EXPECT_EQ(test::readBack(file, "Reverse").value("A5"), "y");

    // The second call names another file, but fills the held workbook: its
    // remaining "$pos:m" row is written and rows 1..5 are reversed.
    const std::string other = temp.file("other.xlsx");
    data.posNames = Array({"m"});
    ASSERT_EQ(Export(other, "Reverse", 1, 1, 1, "", data), 1);
    EXPECT_FALSE(std::filesystem::exists(other));
    const test::ReadBack sheet = test::readBack(file, "Reverse");
    EXPECT_EQ(sheet.value("A1"), "y");
    EXPECT_EQ(sheet.value("A4"), "Header 2");
    EXPECT_EQ(sheet.value("A5"), "T");
    EXPECT_EQ(sheet.value("B1"), "y");
    EXPECT_EQ(sheet.value("B2"), "x");
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[4], "EXCEL - BOM - OUTPUT: Trying to open: " + other);
}

TEST_F(EndToEndTest, FailuresReachTheHostWithTheRightStateLeftBehind) {
    // Missing workbook: a message, the application kept and not made visible.
    ASSERT_EQ(Export(temp.file("missing.xlsx"), "Parts", 0, 0, 0, ""), 1);
    ASSERT_EQ(guard.messages->shown.size(), 1u);
    EXPECT_EQ(guard.messages->shown[0].text, "Failed to obtain COM object to Workbook from Excel");
    EXPECT_EQ(guard.messages->shown[0].caption, "KestBomEx");
    ASSERT_TRUE(session::excelReferences().ExcelApp);
    EXPECT_FALSE(session::excelReferences().ExcelBook);
    EXPECT_FALSE(toBoolean(session::excelReferences().ExcelApp->Get(sheet::AppSetting::Visible)));

    // A sheet name the workbook lacks: the lookup's error, nothing filled or saved.
    const std::string file = Template("fill.xlsx");
    EXPECT_EQ(ErrorOf(file, "Stückliste"), err::SubscriptOutOfRange);
    EXPECT_TRUE(session::excelReferences().ExcelBook);
    EXPECT_TRUE(toBoolean(session::excelReferences().ExcelApp->Get(sheet::AppSetting::Visible)));
    EXPECT_EQ(test::readBack(file, "Parts").value("A1"), "$head:drawno");

    // Bad data sets fail before the engine is asked for anything.
    session::excelReferences() = {};
    Data noArray;
    noArray.posVals = Variant("1;2;3");
    EXPECT_EQ(ErrorOf(file, "Parts", noArray), err::TypeMismatch);
    Data zeroSize;
    zeroSize.recordSize = 0;
    EXPECT_EQ(ErrorOf(file, "Parts", zeroSize), err::DivisionByZero);
    EXPECT_FALSE(session::excelReferences().ExcelApp);
    EXPECT_EQ(test::readBack(file, "Parts").value("A1"), "$head:drawno");
}

// Makes a directory unwritable for this process for the guard's life: mode
// 0555, and for root (who ignores modes) the immutable attribute as well.
class UnwritableDirectory {
public:
    explicit UnwritableDirectory(std::filesystem::path dir) : dir_(std::move(dir)) {
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                               std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                                               std::filesystem::perms::others_read |
                                               std::filesystem::perms::others_exec);
        if (::geteuid() == 0) immutable_ = std::system(("chattr +i '" + dir_.string() + "' 2>/dev/null").c_str()) == 0;
        effective_ = ::geteuid() != 0 || immutable_;
    }
    ~UnwritableDirectory() {
        if (immutable_) {
            const int restored = std::system(("chattr -i '" + dir_.string() + "'").c_str());
            static_cast<void>(restored);
        }
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
    }
    UnwritableDirectory(const UnwritableDirectory&) = delete;
    UnwritableDirectory& operator=(const UnwritableDirectory&) = delete;
    bool effective() const { return effective_; }

private:
    std::filesystem::path dir_;
    bool immutable_ = false;
    bool effective_ = false;
};

TEST_F(EndToEndTest, AnUnwritableTargetFailsAtTheSaveWithTheWorkbookFilledButUnsaved) {
    const std::filesystem::path dir = temp.path() / "locked";
    std::filesystem::create_directory(dir);
    const std::string file = (dir / "fill.xlsx").string();
    std::filesystem::copy_file(test::dataFile("templatefill/fill.xlsx"), file);
    int32_t number = 0;
    {
        UnwritableDirectory locked(dir);
        if (!locked.effective()) GTEST_SKIP() << "cannot make a directory unwritable here";
        number = ErrorOf(file, "Parts");
    }
    EXPECT_TRUE(number == err::PermissionDenied || number == err::PathFileAccessError) << number;
    ASSERT_TRUE(session::excelReferences().ExcelBook);
    ASSERT_TRUE(session::excelReferences().ExcelApp);
    // Settings restored and calculation automatic before the save was tried.
    EXPECT_TRUE(toBoolean(session::excelReferences().ExcelApp->Get(sheet::AppSetting::DisplayAlerts)));
    EXPECT_EQ(session::excelReferences().ExcelApp->Calculation(), sheet::xl::CalculationAutomatic);
    EXPECT_EQ(session::excelReferences().ExcelBook->GetSheets().Item("Parts")->Cells(1, 1)->Text(), "KB-1");
    EXPECT_EQ(test::readBack(file, "Parts").value("A1"), "$head:drawno");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
}

// A workbook left open once the references are dropped can never be reached
// again: the engine application behind it is freed when the method returns.
// Whatever someone still holds stays open and usable.
TEST_F(EndToEndTest, EngineWorkbooksNobodyHoldsAreFreedAndHeldOnesStayOpen) {
    std::vector<std::weak_ptr<sheet::Application>> made;
    session::platform().createApplication = [&made] {
        std::shared_ptr<sheet::Application> app = createEngineApplication();
        made.push_back(app);
        return app;
    };

    // Not embedded, closing asked: the workbook is left open, the references dropped.
    ASSERT_EQ(Export(Template("fill.xlsx"), "Parts", 0, 0, 1, "Parts"), 1);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_TRUE(made[0].expired());

    // Kept by the references: still open, and a later call fills it again.
    const std::string kept = Template("groups.xlsx");
    ASSERT_EQ(Export(kept, "", 0, 0, 0, ""), 1);
    ASSERT_EQ(made.size(), 2u);
    ASSERT_FALSE(made[1].expired());
    std::shared_ptr<sheet::Worksheet> sheet = session::excelReferences().ExcelBook->ActiveSheet();

    // A sheet held from outside keeps its workbook open past ReleaseExcel.
    server.ReleaseExcel();
    ASSERT_FALSE(made[1].expired());
    EXPECT_NO_THROW((void)sheet->Cells(1, 1)->Text());
    EXPECT_EQ(made[1].lock()->GetWorkbooks().Count(), 1);

    sheet.reset();
    server.ReleaseExcel();
    EXPECT_TRUE(made[1].expired());
}

}  // namespace
}  // namespace kbx
