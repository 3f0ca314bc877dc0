#include <cmath>

#include "ooxml_test_util.h"

namespace kbx::test {
namespace {

using sheet::FontProperty;
namespace xl = sheet::xl;

class EngineRead : public ::testing::Test {
protected:
    // The application and its open workbooks hold each other; quitting frees them.
    void TearDown() override { app->Quit(); }
    std::shared_ptr<sheet::Application> app = createEngineApplication();
    std::shared_ptr<sheet::Workbook> open(const std::string& name, bool readOnly = true) {
        return app->GetWorkbooks().Open(ooxmlTemplate(name), Variant(false), readOnly);
    }
};

TEST_F(EngineRead, ValuesTextAndNumberFormatsOfATemplate) {
    auto book = open("basic.xlsx");
    auto ws = book->GetSheets().Item("Data");
    EXPECT_EQ(ws->Cells(1, 1)->Value(), Variant("$head:drawno"));
    EXPECT_EQ(ws->Cells(2, 1)->Value2(), Variant(42.0));
    EXPECT_EQ(ws->Cells(2, 2)->Text(), "3.25");
    EXPECT_EQ(ws->Cells(2, 3)->Value(), Variant(true));
    EXPECT_EQ(ws->Cells(2, 3)->Text(), "TRUE");
    // A date cell: Value gives a Date, Value2 its serial, Text the formatted date.
    EXPECT_EQ(ws->Cells(2, 4)->Value(), Variant(Date{45366}));
    EXPECT_EQ(ws->Cells(2, 4)->Value2(), Variant(45366.0));
    EXPECT_EQ(ws->Cells(2, 4)->Text(), "2024-03-15");
    EXPECT_EQ(ws->Cells(2, 5)->Text(), "1,234.50");
    EXPECT_EQ(ws->Cells(2, 5)->NumberFormat(), "#,##0.00");
    EXPECT_EQ(ws->Cells(2, 6)->Text(), "12.5%");
    EXPECT_EQ(ws->Cells(2, 7)->Value(), Variant("00123"));
    EXPECT_EQ(ws->Cells(2, 7)->NumberFormat(), "General");
    EXPECT_TRUE(ws->Cells(50, 50)->Value().isEmpty());
    EXPECT_EQ(ws->Cells(50, 50)->Text(), "");
}

TEST_F(EngineRead, FontsAlignmentsAndSizes) {
    auto book = open("basic.xlsx");
    auto ws = book->GetSheets().Item(1);
    auto font = ws->Cells(3, 1)->GetFont();
    EXPECT_EQ(font->Name(), "Arial");
    EXPECT_EQ(font->Get(FontProperty::Bold), Variant(true));
    EXPECT_EQ(font->Get(FontProperty::Italic), Variant(true));
    EXPECT_EQ(font->Get(FontProperty::FontStyle), Variant("Bold Italic"));
    EXPECT_EQ(font->Get(FontProperty::Size), Variant(12.0));
    EXPECT_EQ(font->Get(FontProperty::Color), Variant(int32_t{255}));  // red as BGR
    EXPECT_EQ(font->Get(FontProperty::ColorIndex), Variant(int32_t{3}));
    EXPECT_EQ(font->Get(FontProperty::Underline), Variant(xl::UnderlineStyleDouble));
    EXPECT_EQ(font->Get(FontProperty::Subscript), Variant(false));
    EXPECT_EQ(ws->Cells(3, 1)->HorizontalAlignment(), Variant(xl::HAlignCenter));
    EXPECT_EQ(ws->Cells(3, 1)->VerticalAlignment(), Variant(xl::VAlignTop));
    EXPECT_EQ(ws->Cells(2, 1)->HorizontalAlignment(), Variant(xl::HAlignGeneral));
    EXPECT_EQ(ws->Cells(2, 1)->VerticalAlignment(), Variant(xl::VAlignBottom));
    auto plain = ws->Cells(2, 1)->GetFont();
    EXPECT_EQ(plain->Get(FontProperty::FontStyle), Variant("Regular"));
    EXPECT_EQ(plain->Get(FontProperty::Underline), Variant(xl::UnderlineStyleNone));

    // Column B is 20 wide in the file: 140 pixels with Calibri 11's 7-pixel digit.
    EXPECT_NEAR(ws->Cells(1, 2)->ColumnWidth(), 19.29, 1e-9);
    EXPECT_DOUBLE_EQ(ws->Cells(1, 2)->Width(), 105.0);
    EXPECT_DOUBLE_EQ(ws->Cells(1, 1)->Width(), 48.0);  // default 64 pixels
    EXPECT_DOUBLE_EQ(ws->Cells(1, 3)->Left(), 48.0 + 105.0);
    EXPECT_DOUBLE_EQ(ws->Cells(3, 1)->RowHeight(), 30.0);
    EXPECT_DOUBLE_EQ(ws->Cells(3, 1)->Height(), 30.0);
    EXPECT_DOUBLE_EQ(ws->Cells(4, 1)->Top(), 15.0 + 15.0 + 30.0);
    EXPECT_DOUBLE_EQ(ws->Cells(1, 1)->Top(), 0.0);
}

TEST_F(EngineRead, SheetsByNameAndIndex) {
    auto book = open("basic.xlsx");
    sheet::Sheets& sheets = book->GetSheets();
    EXPECT_EQ(sheets.Count(), 2);
    EXPECT_EQ(sheets.Item(1)->Name(), "Data");
    EXPECT_EQ(sheets.Item(2)->Name(), "Second");
    EXPECT_EQ(sheets.Item("sEcOnD")->Name(), "Second");
    EXPECT_EQ(errorOf([&] { sheets.Item("Missing"); }).number(), err::SubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { sheets.Item(3); }).number(), err::SubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { sheets.Item(0); }).number(), err::SubscriptOutOfRange);
    EXPECT_EQ(book->ActiveSheet()->Name(), "Data");
    sheets.Item(2)->Activate();
    EXPECT_EQ(book->ActiveSheet()->Name(), "Second");
    auto ws = sheets.Item(1);
    EXPECT_EQ(errorOf([&] { ws->Cells(1048577, 1); }).number(), err::Application);
    EXPECT_EQ(errorOf([&] { ws->Cells(1, 16385); }).number(), err::Application);
    EXPECT_EQ(errorOf([&] { ws->Cells(0, 1); }).number(), err::Application);
    EXPECT_NO_THROW(ws->Cells(1048576, 16384)->Value());
}

TEST_F(EngineRead, CellsOtherWritersProduce) {
    auto book = open("odd_cells.xlsx");
    auto ws = book->ActiveSheet();
    EXPECT_EQ(ws->Cells(1, 1)->Value(), Variant("inline text"));
    EXPECT_EQ(ws->Cells(1, 2)->Value(), Variant("rich inline"));
    EXPECT_EQ(ws->Cells(1, 3)->Value(), Variant("shared rich"));
    EXPECT_EQ(ws->Cells(1, 4)->Text(), "#N/A");
    EXPECT_EQ(ws->Cells(2, 1)->Value(), Variant("ab"));
    EXPECT_EQ(ws->Cells(2, 2)->Value(), Variant(2.0));
    EXPECT_EQ(ws->Cells(2, 3)->Value(), Variant(true));
    EXPECT_EQ(ws->Cells(2, 4)->Value(), Variant("plain shared"));
}

TEST_F(EngineRead, ApplicationStateAndErrors) {
    EXPECT_EQ(app->Get(sheet::AppSetting::Visible), Variant(false));
    EXPECT_EQ(app->Get(sheet::AppSetting::ScreenUpdating), Variant(true));
    app->Set(sheet::AppSetting::ScreenUpdating, Variant(false));
    EXPECT_EQ(app->Get(sheet::AppSetting::ScreenUpdating), Variant(false));
    EXPECT_EQ(app->Version(), "16.0");
    EXPECT_EQ(app->Calculation(), xl::CalculationAutomatic);
    app->SetCalculation(xl::CalculationManual);
    EXPECT_EQ(app->Calculation(), xl::CalculationManual);
    EXPECT_EQ(errorOf([&] { app->SetCalculation(12345); }).number(), err::Application);

    const RuntimeError missing = errorOf([&] { open("no_such_file.xlsx"); });
    EXPECT_EQ(missing.number(), err::FileNotFound);
    EXPECT_NE(missing.description().find("no_such_file.xlsx"), std::string::npos);

    auto book = open("basic.xlsx");
    EXPECT_EQ(app->GetWorkbooks().Count(), 1);
    auto cell = book->GetSheets().Item(2)->Cells(4, 3);
    cell->Select();
    EXPECT_EQ(book->ActiveSheet()->Name(), "Second");
    auto selected = std::dynamic_pointer_cast<sheet::Range>(app->GetSelection());
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(selected->Row(), 4);
    EXPECT_EQ(selected->Column(), 3);
    EXPECT_EQ(errorOf([&] { selected->SetPlacement(1); }).number(), err::MemberNotSupported);
    app->Quit();
    EXPECT_EQ(app->GetWorkbooks().Count(), 0);
    EXPECT_EQ(errorOf([&] { book->GetSheets().Count(); }).number(), err::ObjectRequired);
}

}  // namespace
}  // namespace kbx::test
