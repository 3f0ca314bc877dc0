// ExportBomExcel's steps, references and failure paths, on the in-memory sheet.
#include "templatefill/export_bom_excel.h"

#include <gtest/gtest.h>

#include "fake_sheet.h"
#include "log/write_log.h"
#include "session/excel_references.h"
#include "support/test_support.h"
#include "test_helpers.h"
#include "value/runtime_error.h"

namespace kbx {
namespace {

using sheet::AppSetting;
using test::Array;

class ExportBomExcelTest : public ::testing::Test {
protected:
    ExportBomExcelTest() {
        session::platform().createApplication = [this]() -> std::shared_ptr<sheet::Application> {
            ++creations;
            return app;
        };
        cover = book->addSheet("Cover");
        parts = book->addSheet("Parts");
        cover->put(1, 1, "$head:drawno");
        parts->put(1, 1, "$head:drawno");
        parts->put(2, 1, "$pos:posnr");
    }

    // The arguments of one call; setters change one from its default.
    struct Call {
        std::string file_ = "/work/parts.xlsx";
        std::string profile_ = "Parts";
        std::string sheetName_;
        int32_t recordSize_ = 1;
        Variant posVals_ = Array({int32_t{1}, int32_t{2}});
        int32_t embed_ = 0;
        int32_t clos_ = 0;
        Call& file(std::string v) {
            file_ = std::move(v);
            return *this;
        }
        Call& profile(std::string v) {
            profile_ = std::move(v);
            return *this;
        }
        Call& sheetName(std::string v) {
            sheetName_ = std::move(v);
            return *this;
        }
        Call& recordSize(int32_t v) {
            recordSize_ = v;
            return *this;
        }
        Call& posVals(Variant v) {
            posVals_ = std::move(v);
            return *this;
        }
        Call& embed(int32_t v) {
            embed_ = v;
            return *this;
        }
        Call& clos(int32_t v) {
            clos_ = v;
            return *this;
        }
    };

    int32_t Export(Call call) {
        return templatefill::ExportBomExcel(Array({"drawno"}), Array({"D-7"}), call.recordSize_, Array({"posnr"}),
                                            call.posVals_, call.file_, 0, "", call.embed_, call.profile_, 0, "",
                                            call.clos_, call.sheetName_);
    }

    int32_t ErrorOf(Call call) {
        try {
            Export(call);
        } catch (const RuntimeError& e) {
            return e.number();
        }
        return 0;
    }

    std::vector<std::string> LogLines() { return test::readLines(temp.file(kLogFileName)); }

    test::TempDir temp;
    test::EnvGuard tempVariable{"TEMP", temp.path().string()};
    test::PlatformGuard guard;
    std::shared_ptr<fake::Application> app = std::make_shared<fake::Application>();
    std::shared_ptr<fake::Workbook> book = app->addFile("/work/parts.xlsx");
    std::shared_ptr<fake::Sheet> cover;
    std::shared_ptr<fake::Sheet> parts;
    int creations = 0;
};

TEST_F(ExportBomExcelTest, FillsTheProfileSavesAndRestoresTheSettingsInOrder) {
    app->settings[AppSetting::DisplayAlerts] = Variant(false);
    app->settings[AppSetting::EnableEvents] = Variant(int32_t{-1});  // kept exactly as the application returns it
    app->calculation = sheet::xl::CalculationManual;

    EXPECT_EQ(Export(Call().sheetName("Parts")), 1);

    EXPECT_EQ(parts->text(1, 1), "D-7");
    EXPECT_EQ(parts->text(3, 1), "2");
    EXPECT_EQ(cover->text(1, 1), "$head:drawno");
    EXPECT_EQ(book->saves, 1);
    EXPECT_EQ(book->activeAtSave, "Parts");
    EXPECT_EQ(app->calculation, sheet::xl::CalculationAutomatic);  // automatic afterwards, whatever it was

    using W = std::pair<AppSetting, Variant>;
    const std::vector<W> expected = {
        {AppSetting::Visible, Variant(true)},
        {AppSetting::EnableAnimations, Variant(false)},
        {AppSetting::EnableAutoComplete, Variant(false)},
        {AppSetting::EnableEvents, Variant(false)},
        {AppSetting::DisplayAlerts, Variant(false)},
        {AppSetting::DisplayStatusBar, Variant(false)},
        {AppSetting::DisplayStatusBar, Variant(true)},
        {AppSetting::EnableAnimations, Variant(true)},
        {AppSetting::EnableAutoComplete, Variant(true)},
        {AppSetting::EnableEvents, Variant(int32_t{-1})},
        {AppSetting::DisplayAlerts, Variant(false)},
    };
    EXPECT_EQ(app->settingWrites, expected);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "EXCEL - BOM - OUTPUT: Entering ExportBomExcel, trying to write /work/parts.xlsx",
                              "EXCEL - BOM - OUTPUT: Trying to open: /work/parts.xlsx",
                              "EXCEL - BOM - OUTPUT: Leaving ExportBOMExcel"}));
    EXPECT_EQ(session::excelReferences().ExcelApp, app);
    EXPECT_EQ(session::excelReferences().ExcelBook, book);
    EXPECT_TRUE(guard.messages->shown.empty());
}

TEST_F(ExportBomExcelTest, EmptyProfileFillsTheActiveSheetAndSheetNameMustMatchExactly) {
    parts->Activate();
    EXPECT_EQ(Export(Call().profile("").sheetName("cover")), 1);
    EXPECT_EQ(parts->text(1, 1), "D-7");
    EXPECT_EQ(cover->text(1, 1), "$head:drawno");
    EXPECT_EQ(book->activeAtSave, "Parts");  // "cover" differs in case: nothing activated

    Export(Call().profile("").sheetName("Nowhere"));
    EXPECT_EQ(book->activeAtSave, "Parts");
    Export(Call().profile("").sheetName("Cover"));
    EXPECT_EQ(book->activeAtSave, "Cover");

    EXPECT_FALSE(templatefill::ActivateSheet(*book, ""));
    EXPECT_TRUE(templatefill::ActivateSheet(*book, "Parts"));
    EXPECT_EQ(book->ActiveSheet(), parts);
}

TEST_F(ExportBomExcelTest, ClosAndEmBedDecideWhatIsKeptClosedOrQuit) {
    struct Row {
        int32_t clos, embed;
        bool closed, quit, referencesKept;
    };
    for (const Row& row : {Row{0, -1, false, false, true}, Row{1, 0, false, false, false},
                           Row{1, -1, true, true, false}, Row{1, 1, true, false, false}}) {
        SCOPED_TRACE("Clos " + std::to_string(row.clos) + ", EmBed " + std::to_string(row.embed));
        session::excelReferences() = {};
        app->quit = false;
        const int savesBefore = book->saves;
        EXPECT_EQ(Export(Call().embed(row.embed).clos(row.clos)), 1);
        EXPECT_EQ(book->saves, savesBefore + 1);
        EXPECT_EQ(book->closed, row.closed);
        EXPECT_EQ(app->quit, row.quit);
        EXPECT_EQ(session::excelReferences().ExcelApp != nullptr, row.referencesKept);
        EXPECT_EQ(session::excelReferences().ExcelBook != nullptr, row.referencesKept);
        EXPECT_EQ(app->settings.at(AppSetting::Visible), Variant(true));
    }
}

TEST_F(ExportBomExcelTest, SecondCallReusesTheHeldWorkbookWhateverFileItNames) {
    Export(Call());
    EXPECT_EQ(Export(Call().file("/work/other.xlsx")), 1);
    EXPECT_EQ(creations, 1);
    EXPECT_EQ(app->opens, 1);
    EXPECT_EQ(book->saves, 2);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[4], "EXCEL - BOM - OUTPUT: Trying to open: /work/other.xlsx");
}

TEST_F(ExportBomExcelTest, ConditionsItDetectsItselfShowAMessageAndReturnOne) {
    // No application object.
    session::platform().createApplication = [] { return std::shared_ptr<sheet::Application>(); };
    EXPECT_EQ(Export(Call()), 1);
    ASSERT_EQ(guard.messages->shown.size(), 1u);
    EXPECT_EQ(guard.messages->shown[0].text, "Failed to obtain COM object from Excel.Application");
    EXPECT_EQ(guard.messages->shown[0].caption, "KestBomEx");
    EXPECT_FALSE(session::excelReferences().ExcelApp);

    // No workbook: the application stays set and is not made visible.
    session::platform().createApplication = [this] { return app; };
    EXPECT_EQ(Export(Call().file("/work/missing.xlsx")), 1);
    ASSERT_EQ(guard.messages->shown.size(), 2u);
    EXPECT_EQ(guard.messages->shown[1].text, "Failed to obtain COM object to Workbook from Excel");
    EXPECT_EQ(session::excelReferences().ExcelApp, app);
    EXPECT_FALSE(session::excelReferences().ExcelBook);
    EXPECT_EQ(app->settings.at(AppSetting::Visible), Variant(false));

    // No sheet object: both references dropped, the workbook stays open.
    book->activeSheet = nullptr;
    EXPECT_EQ(Export(Call().profile("")), 1);
    ASSERT_EQ(guard.messages->shown.size(), 3u);
    EXPECT_EQ(guard.messages->shown[2].text, "Failed to obtain sheet object from Excel (Wrong Sheetname?)");
    EXPECT_FALSE(session::excelReferences().ExcelApp);
    EXPECT_FALSE(session::excelReferences().ExcelBook);
    EXPECT_FALSE(book->closed);
    EXPECT_EQ(book->saves, 0);

    for (const std::string& line : LogLines()) EXPECT_NE(line, "EXCEL - BOM - OUTPUT: Leaving ExportBOMExcel");
}

TEST_F(ExportBomExcelTest, DataSetFailuresComeBeforeTheApplicationIsTouched) {
    EXPECT_EQ(ErrorOf(Call().posVals(Variant("no array"))), err::TypeMismatch);
    EXPECT_EQ(ErrorOf(Call().recordSize(0)), err::DivisionByZero);
    EXPECT_EQ(ErrorOf(Call().recordSize(0).posVals(Array({}))), err::Overflow);
    EXPECT_EQ(creations, 0);
    EXPECT_EQ(LogLines().size(), 3u);  // only the entering lines

    // An empty PosVals with a record size fills the header only.
    EXPECT_EQ(Export(Call().posVals(Array({}))), 1);
    EXPECT_EQ(parts->text(1, 1), "D-7");
    EXPECT_EQ(parts->text(2, 1), "$pos:posnr");
}

TEST_F(ExportBomExcelTest, UntrappedFailuresLeaveTheStateOfTheirStep) {
    // A profile naming no sheet: references set, visible, nothing filled.
    EXPECT_EQ(ErrorOf(Call().profile("Nope")), err::SubscriptOutOfRange);
    EXPECT_EQ(session::excelReferences().ExcelBook, book);
    EXPECT_EQ(app->settings.at(AppSetting::Visible), Variant(true));
    EXPECT_EQ(parts->text(1, 1), "$head:drawno");

    // A refused write during the fill: settings still off, calculation manual.
    parts->protectedSheet = true;
    EXPECT_EQ(ErrorOf(Call()), err::Application);
    EXPECT_EQ(app->settings.at(AppSetting::EnableEvents), Variant(false));
    EXPECT_EQ(app->calculation, sheet::xl::CalculationManual);
    EXPECT_EQ(book->saves, 0);

    // The next call remembers them as off and restores them to off.
    parts->protectedSheet = false;
    book->readOnly = true;
    EXPECT_EQ(ErrorOf(Call()), err::Application);
    EXPECT_EQ(app->settings.at(AppSetting::EnableEvents), Variant(false));
    EXPECT_EQ(app->calculation, sheet::xl::CalculationAutomatic);
    EXPECT_EQ(parts->text(1, 1), "D-7");  // filled but not saved
    EXPECT_EQ(book->saves, 0);
    EXPECT_EQ(session::excelReferences().ExcelBook, book);
    EXPECT_EQ(session::excelReferences().ExcelApp, app);
}

TEST_F(ExportBomExcelTest, AnUnwritableLogFailsTheCallFirst) {
    test::EnvGuard missing("TEMP", temp.file("no/such/dir"));
    EXPECT_EQ(ErrorOf(Call()), err::PathNotFound);
    EXPECT_EQ(creations, 0);
}

}  // namespace
}  // namespace kbx
