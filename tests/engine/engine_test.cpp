// The embedded engine through the automation interface: templates made by
// openpyxl read, filled and saved, the results read back by openpyxl; damaged
// packages and bad arguments refused as run-time errors.

#include "engine/engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "value/number_format.h"
#include "support/test_support.h"

namespace kbx::test {
namespace {

using sheet::FontProperty;
namespace xl = sheet::xl;
using Lines = std::vector<std::string>;

struct Engine : ::testing::Test {
    TempDir dir;
    std::shared_ptr<sheet::Application> app = engine::createApplication();
    std::shared_ptr<sheet::Workbook> open(const std::string& name, bool readOnly = true) {
        return app->GetWorkbooks().Open(copyData(dir, name), Variant(false), readOnly);
    }
};

TEST_F(Engine, ReadsValuesFormatsFontsAndGeometryOfATemplate) {
    auto ws = open("basic.xlsx")->GetSheets().Item("Data");
    const std::tuple<int, int, const char*> texts[] = {{2, 2, "3.25"},     {2, 3, "TRUE"},  {2, 4, "2024-03-15"},
                                                       {2, 5, "1,234.50"}, {2, 6, "12.5%"}, {2, 7, "00123"},
                                                       {50, 50, ""}};
    for (const auto& [row, column, text] : texts) EXPECT_EQ(ws->Cells(row, column)->Text(), text) << row << column;
    EXPECT_EQ(ws->Cells(1, 1)->Value(), Variant("$head:drawno"));
    EXPECT_EQ(ws->Cells(2, 1)->Value2(), Variant(42.0));
    EXPECT_EQ(ws->Cells(2, 3)->Value(), Variant(true));
    EXPECT_EQ(ws->Cells(2, 4)->Value(), Variant(Date{45366}));  // Value a date, Value2 its serial
    EXPECT_EQ(ws->Cells(2, 4)->Value2(), Variant(45366.0));
    EXPECT_EQ(ws->Cells(2, 5)->NumberFormat(), "#,##0.00");
    EXPECT_EQ(ws->Cells(2, 7)->NumberFormat(), "General");
    auto font = ws->Cells(3, 1)->GetFont();
    EXPECT_EQ(font->Name(), "Arial");
    const std::pair<FontProperty, Variant> properties[] = {{FontProperty::Bold, true},
                                                           {FontProperty::Italic, true},
                                                           {FontProperty::FontStyle, "Bold Italic"},
                                                           {FontProperty::Size, 12.0},
                                                           {FontProperty::Color, 255},  // red as BGR
                                                           {FontProperty::ColorIndex, 3},
                                                           {FontProperty::Underline, xl::UnderlineStyleDouble},
                                                           {FontProperty::Subscript, false}};
    for (const auto& [property, value] : properties) EXPECT_EQ(font->Get(property), value);
    EXPECT_EQ(ws->Cells(2, 1)->GetFont()->Get(FontProperty::FontStyle), Variant("Regular"));
    EXPECT_EQ(ws->Cells(3, 1)->HorizontalAlignment(), Variant(xl::HAlignCenter));
    EXPECT_EQ(ws->Cells(3, 1)->VerticalAlignment(), Variant(xl::VAlignTop));
    EXPECT_EQ(ws->Cells(2, 1)->VerticalAlignment(), Variant(xl::VAlignBottom));
    // Column B is 20 wide in the file: 140 pixels with Calibri 11's 7-pixel digit.
    EXPECT_NEAR(ws->Cells(1, 2)->ColumnWidth(), 19.29, 1e-9);
    EXPECT_DOUBLE_EQ(ws->Cells(1, 2)->Width(), 105.0);
    EXPECT_DOUBLE_EQ(ws->Cells(1, 3)->Left(), 48.0 + 105.0);  // A has the standard 64 pixels
    EXPECT_DOUBLE_EQ(ws->Cells(3, 1)->Height(), 30.0);
    EXPECT_DOUBLE_EQ(ws->Cells(4, 1)->Top(), 15.0 + 15.0 + 30.0);
}

// The text a number shows under a format: what Text() answers and a text export writes.
TEST(NumberFormat, DisplayedTextOfNumbers) {
    const std::tuple<double, const char*, const char*> rows[] = {
        {1234.5, "#,##0.00", "1,234.50"},
        {0.125, "0.00", "0.13"},  // halves away from zero
        {-1234.5, "#,##0.00;[Red](#,##0.00)", "(1,234.50)"},
        {1234.5, "$#,##0.00_);($#,##0.00)", "$1,234.50 "},
        {1234.5, "[$€-407] #,##0.00", "€ 1,234.50"},
        {1234.5, "[$€]#,##0.00", "€1,234.50"},
        {5, "0\\", "5\\"},  // a backslash at the end shows itself
        {0, "0.00;-0.00;\"zero\"", "zero"},
        {-0.001, "0.00", "0.00"},  // no minus sign on a zero
        {-5, "0;0", "5"},
        {0.5, "0%", "50%"},
        {12345.678, "0.00E+#0", "1.23E+04"},
        {0.000123, "0.00E+00", "1.23E-04"},  // a negative exponent keeps its sign
        {1234567, "#,##0,", "1,235"},
        {3, "\"Qty: \"0", "Qty: 3"},
        {7, "@", "7"},
        {1e12, "General", "1E+12"},
        {123456789012, "General", "1.23457E+11"},
        {45000.5, "dd.mm.yyyy hh:mm", "15.03.2023 12:00"},
        {45000.75, "h:mm AM/PM", "6:00 PM"},
        {45292, "dddd, mmmm d, yyyy", "Monday, January 1, 2024"},
        {45352, "ddd mmm yy", "Fri Mar 24"},
        {45000, "mmmmm", "M"},
        {1.5, "[h]:mm:ss", "36:00:00"},
        {1.5, "[mm]", "2160"},
        {61.5 / 86400, "mm:ss.0", "01:01.5"},
        {45000.5, "hh:mm:ss.", "12:00:00."},  // a format ending in "." or "E"
        {5, "0E", "5"},
        {59, "yyyy-mm-dd", "1900-02-28"},
        {60, "yyyy-mm-dd", "1900-02-29"},  // the 1900 leap day spreadsheets show
        {61, "dddd yyyy-mm-dd", "Thursday 1900-03-01"},
        {44967, "yyyy-mm-dd", "2023-02-10"},
        {45351, "dddd d mmmm yyyy", "Thursday 29 February 2024"},
        {45291, "dddd d mmmm yyyy", "Sunday 31 December 2023"},  // the last month and the first weekday
        {45291.99999999, "yyyy-mm-dd hh:mm:ss", "2024-01-01 00:00:00"},
        {-1, "yyyy-mm-dd", "###########"},
        {2958465, "yyyy-mm-dd", "9999-12-31"},
        {2958466, "yyyy-mm-dd", "###########"},  // past the last day spreadsheets show
    };
    for (const auto& [value, code, text] : rows) EXPECT_EQ(formatNumber(value, code), text) << code;
    EXPECT_EQ(formatNumber(0, "yyyy-mm-dd", true), "1904-01-01");
    EXPECT_EQ(formatNumber(2957003, "yyyy-mm-dd", true) + formatNumber(2957004, "d", true), "9999-12-31###########");
}

TEST_F(Engine, ReadsCellsOtherWritersProduceAndKeepsTheirFormulas) {
    auto book = open("odd_cells.xlsx");
    auto ws = book->ActiveSheet();
    const std::tuple<int, int, Variant> values[] = {{1, 1, Variant("inline text")},
                                                    {1, 2, Variant("rich inline")},
                                                    {1, 3, Variant("shared rich")},
                                                    {2, 1, Variant("ab")},
                                                    {2, 2, Variant(2.0)},
                                                    {2, 3, Variant(true)},
                                                    {2, 4, Variant("plain shared")},
                                                    {5, 2, Variant(4.0)}};  // cached results
    for (const auto& [row, column, value] : values) EXPECT_EQ(ws->Cells(row, column)->Value(), value);
    EXPECT_EQ(ws->Cells(1, 4)->Text(), "#N/A");
    ws->Cells(8, 1)->SetValue(Variant("untouched formulas"));
    book->SaveCopyAs(dir.file("kept.xlsx"));
    ws->Cells(4, 2)->SetValue(Variant("master replaced"));
    ws->UsedRange()->Calculate();
    book->GetSheets().Item("More")->Activate();  // the workbook part has no views yet
    book->SaveAs(dir.file("replaced.xlsx"), std::nullopt);
    // The calculation chain goes; every formula is computed, so the reader need
    // not recalculate on load. Cells that shared the replaced formula keep it,
    // moved to their own places, and their results.
    const Lines parts = {"xl/workbook.xml", "[Content_Types].xml", "xl/_rels/workbook.xml.rels"};
    const ReadBack kept(dir.file("kept.xlsx"), parts), replaced(dir.file("replaced.xlsx"), parts);
    kept.expect({"value Odd!B4==A4*2", "value Odd!B6==A6*2", "value Odd!C4==SUM(A4:A6)"});
    replaced.expect({"value Odd!B4=master replaced", "value Odd!B5==A5*2", "value Odd!B6==A6*2", "active=More"});
    ReadBack(dir.file("replaced.xlsx"), {}, ReadBack::Cells::Computed).expect({"value Odd!B5=4", "value Odd!B6=6"});
    for (const ReadBack* book : {&kept, &replaced}) {
        EXPECT_FALSE(book->has("part xl/calcChain.xml"));
        EXPECT_EQ((*book)["xml xl/workbook.xml"].find("fullCalcOnLoad"), std::string::npos);
        EXPECT_EQ(((*book)["xml [Content_Types].xml"] + (*book)["xml xl/_rels/workbook.xml.rels"]).find("calcChain"),
                  std::string::npos);
    }
    // Theme colours keep their tints when the style table is written again.
    auto tinted = open("corpus/xlsx2csv-sheets.xlsx", false);
    tinted->ActiveSheet()->Cells(1, 1)->GetFont()->Set(FontProperty::Bold, Variant(true));
    tinted->SaveCopyAs(dir.file("tinted.xlsx"));
    const auto tints = [](const std::string& file) {
        const std::string xml = ReadBack(file, {"xl/styles.xml"})["xml xl/styles.xml"];
        std::set<long> found;  // in millionths
        for (size_t at = 0; (at = xml.find(" tint=\"", at)) != std::string::npos; ++at)
            found.insert(std::lround(std::stod(xml.substr(at + 7)) * 1e6));
        return found;
    };
    EXPECT_EQ(tints(dir.file("tinted.xlsx")), tints(dataFile("corpus/xlsx2csv-sheets.xlsx")));
}

TEST_F(Engine, FilledCellsReadBackAndUntouchedPartsStayIdentical) {
    auto book = open("basic.xlsx", false);
    auto ws = book->GetSheets().Item("Data");
    const std::pair<int, Variant> values[] = {
        {1, Variant("0123")},  // text that looks like a number stays text
        {2, Variant(3.5)},        {3, Variant(true)},  {4, Variant("a <b> & \"c\"")},
        {5, Variant(int32_t{7})}, {6, Variant("=1+1")}};  // never turned into a formula
    for (const auto& [column, value] : values) ws->Cells(5, column)->SetValue(value);
    ws->Cells(1, 1)->SetValue(Variant("replaced"));
    auto font = ws->Cells(5, 1)->GetFont();
    font->Set(FontProperty::Bold, Variant(true));
    font->Set(FontProperty::Color, Variant(int32_t{0xFF0000}));  // blue as BGR
    font->Set(FontProperty::Size, Variant(14.0));
    font->Set(FontProperty::Underline, Variant(xl::UnderlineStyleSingle));
    ws->Cells(5, 1)->SetHorizontalAlignment(Variant(xl::HAlignRight));
    ws->Cells(5, 1)->SetVerticalAlignment(Variant(xl::VAlignCenter));
    ws->Columns(1)->SetNumberFormat("@");
    ws->Cells(6, 1)->SetValue(Variant("new cell in a text column"));
    ws->Cells(5, 1)->SetRowHeight(25.5);
    ws->Cells(1, 3)->SetColumnWidth(12);
    const std::string target = dir.file("filled.xlsx");
    book->SaveAs(target, xl::FormatOpenXmlWorkbook);
    EXPECT_EQ(book->FullName(), target);
    const ReadBack saved(target);
    // The existing cell A2 of the text column took "@" too.
    saved.expect({"value Data!A1=replaced", "fmt Data!A1=@", "value Data!A5=0123", "type Data!A5=str",
                  "type Data!B5=float", "type Data!C5=bool", "value Data!D5=a <b> & \"c\"", "type Data!E5=int"});
    saved.expect({"value Data!F5==1+1", "type Data!F5=str", "value Data!A6=new cell in a text column", "fmt Data!A6=@",
                  "fmt Data!A2=@", "fmt Data!B2=", "bold Data!A5=1", "color Data!A5=FF0000FF"});
    saved.expect({"size Data!A5=14", "underline Data!A5=single", "halign Data!A5=right", "valign Data!A5=center",
                  "height Data!5=25.5", "width Data!C=12.7109"});
    // The workbook part loses the request to recalculate on load: its formula is computed.
    EXPECT_EQ(saved.changedParts(ReadBack(copyData(dir, "basic.xlsx", "original.xlsx"))),
              (Lines{"[Content_Types].xml", "xl/_rels/workbook.xml.rels", "xl/sharedStrings.xml", "xl/styles.xml",
                     "xl/workbook.xml", "xl/worksheets/sheet1.xml"}));
}

TEST_F(Engine, TemplateFeaturesSurviveAFill) {
    auto book = open("features.xlsx");
    auto ws = book->GetSheets().Item("Parts");
    ws->Cells(1, 1)->SetValue(Variant("Title"));
    for (int32_t row = 3; row < 40; ++row) {
        auto cell = ws->Cells(row, 6);
        for (FontProperty p : sheet::kCopiedFontProperties) cell->GetFont()->Set(p, ws->Cells(3, 1)->GetFont()->Get(p));
        ws->Columns(6)->SetNumberFormat("@");
        cell->SetValue(Variant(std::to_string(row)));
    }
    book->SaveAs(dir.file("filled.xlsx"), std::nullopt);
    const ReadBack filled(dir.file("filled.xlsx"));
    filled.expect({"value Parts!A1=Title", "value Parts!F39=39", "merged Parts=A2:D2",
                   "border Parts!A3=thin,thin,thin,thin", "cf Parts=B6:B50", "dv Parts=B6:B50",
                   "printarea Parts=$A$1:$F$20", "titles Parts=1:2", "comment Parts!A1=Checked by QA", "images Parts=1",
                   "charts Parts=1", "table Parts!PartsTable=A5:C8", "comment Notes!A1=Keep me",
                   "name PartCount@=Parts!$B$6:$B$8"});
    // Parts the fill did not touch are byte for byte the template's.
    for (const std::string& part : filled.changedParts(ReadBack(dataFile("features.xlsx"))))
        for (const char* kept :
             {"xl/drawings/", "xl/charts/", "xl/media/", "xl/comments", "xl/tables/", "xl/worksheets/_rels/"})
            EXPECT_FALSE(part.starts_with(kept)) << part << " changed";
}

TEST_F(Engine, NewWorkbookAsTextAsMacroEnabledAndForLibreOffice) {
    auto book = app->GetWorkbooks().Add();
    auto ws = book->ActiveSheet();
    EXPECT_EQ(ws->Name(), "Sheet1");
    const std::tuple<int, int, Variant> values[] = {{1, 1, Variant("plain")},      {1, 2, Variant("tab\there")},
                                                    {1, 3, Variant("say \"hi\"")}, {2, 1, Variant(1234.5)},
                                                    {2, 2, Variant("two\nlines")}, {3, 3, Variant(Date{45366})}};
    for (const auto& [row, column, value] : values) ws->Cells(row, column)->SetValue(value);
    ws->Cells(2, 1)->SetNumberFormat("#,##0.00");
    book->SaveAs(dir.file("new.txt"), xl::FormatTextTabSeparated);
    EXPECT_EQ(readFile(dir.file("new.txt")),
              "plain\t\"tab\there\"\t\"say \"\"hi\"\"\"\n1,234.50\t\"two\nlines\"\t\n\t\t3/15/2024\n");
    book->SaveAs(dir.file("new.xlsm"), xl::FormatOpenXmlMacroEnabled);
    EXPECT_NE(ReadBack(dir.file("new.xlsm"), {"[Content_Types].xml"})["xml [Content_Types].xml"].find(
                  "macroEnabled.main+xml"),
              std::string::npos);
    book->SaveAs(dir.file("new.xlsx"), std::nullopt);
    ReadBack(dir.file("new.xlsx"))
        .expect({"sheets=Sheet1", "value Sheet1!A2=1234.5", "fmt Sheet1!A2=#,##0.00",
                 "value Sheet1!C3=2024-03-15T00:00:00", "type Sheet1!C3=datetime"});
    // LibreOffice opens the result and sees the same cells.
    REQUIRE_CONVERTER();
    ASSERT_TRUE(convertFiles("csv", dir.file("csv"), {dir.file("new.xlsx")}));
    EXPECT_EQ(readFile(dir.file("csv/new.csv")),
              "plain,tab\there,\"say \"\"hi\"\"\"\n1234.5,\"two\nlines\",\n,,03/15/2024\n");
}

TEST_F(Engine, SavesAreAtomicAndReadOnlyBooksKeepTheirFile) {
    auto book = open("basic.xlsx");
    const std::string source = book->FullName(), original = readFile(source);
    book->ActiveSheet()->Cells(1, 1)->SetValue(Variant("changed"));
    EXPECT_NE(errorOf([&] { book->Save(); }).description().find("read-only"), std::string::npos);
    // A target that cannot be replaced (a folder) fails and leaves nothing behind.
    std::filesystem::create_directory(dir.file("occupied.xlsx"));
    EXPECT_NE(errorOf([&] { book->SaveCopyAs(dir.file("occupied.xlsx")); }).number(), 0);
    EXPECT_EQ(readFile(source), original);
    EXPECT_EQ(fileNames(dir.path()), (Lines{"basic.xlsx", "occupied.xlsx"}));
    book->SaveCopyAs(dir.file("copy.xlsx"));
    EXPECT_EQ(book->FullName(), source);
    auto copy = app->GetWorkbooks().Open(dir.file("copy.xlsx"), Variant(false), false);
    EXPECT_EQ(copy->ActiveSheet()->Cells(1, 1)->Value(), Variant("changed"));
    copy->ActiveSheet()->Cells(1, 1)->SetValue(Variant("again"));
    copy->Close(true);
    EXPECT_EQ(ReadBack(dir.file("copy.xlsx")).value("Data!A1"), "again");
}

TEST_F(Engine, SheetNamesAndColumns) {
    auto book = open("features.xlsx", false);
    auto parts = book->GetSheets().Item("pArTs");  // names in any case
    parts->SetName("Parts list");
    parts->SetAutoFilterMode(false);
    EXPECT_NO_THROW(app->GetWorkbooks().Add()->ActiveSheet()->SetName("Cover"));  // unique per workbook only
    book->Save();
    const ReadBack renamed(book->FullName(), {"xl/charts/chart1.xml"});
    renamed.expect({"sheets=Cover,Parts list,Notes", "printarea Parts list=$A$1:$F$20",
                    "name PartCount@='Parts list'!$B$6:$B$8", "name FirstPart@=\" Parts!A6: \"&'Parts list'!$A$6",
                    "value Cover!A2==SUM('Parts list'!B6:B8)",
                    "value Cover!A3=='Parts list'!A6&\" Parts!A1\""});
    EXPECT_NE(renamed["xml xl/charts/chart1.xml"].find("<f>'Parts list'!$B$6:$B$8</f>"), std::string::npos);
    // The formulas that follow the new name are computed under it.
    ReadBack(book->FullName(), {}, ReadBack::Cells::Computed).expect({"value Cover!A2=16", "value Cover!A3=Bolt Parts!A1"});
    // A pivot cache's source sheet, named with a quote (LibreOffice's file).
    auto pivots = app->GetWorkbooks().Open(copyData(dir, "corpus/libreoffice-rich.xlsx"), Variant(false), false);
    pivots->GetSheets().Item("Parts")->SetName("Bob's parts");
    pivots->Save();
    EXPECT_NE(ReadBack(pivots->FullName(),
                       {"xl/pivotCache/pivotCacheDefinition1.xml"})["xml xl/pivotCache/pivotCacheDefinition1.xml"]
                  .find("sheet=\"Bob's parts\""),
              std::string::npos);
    // One width for B to E in the file: changing C splits the range, the rest keep it.
    auto basic = open("basic.xlsx", false);
    auto ws = basic->GetSheets().Item("Second");
    const double wide = ws->Cells(1, 2)->Width();
    EXPECT_GT(wide, ws->Cells(1, 1)->Width());
    ws->Cells(1, 3)->SetColumnWidth(5);
    for (int32_t column : {2, 4, 5}) EXPECT_DOUBLE_EQ(ws->Cells(1, column)->Width(), wide) << column;
    EXPECT_DOUBLE_EQ(ws->Cells(1, 6)->Left(), ws->Cells(1, 1)->Width() + 3 * wide + ws->Cells(1, 3)->Width());
    // A column format reaches a cell that took its row's format, also when repeated.
    ws->Columns(1)->SetNumberFormat("@");
    ws->Cells(5, 1)->SetValue(Variant("new"));
    ws->Columns(1)->SetNumberFormat("@");
    EXPECT_EQ(ws->Cells(5, 1)->NumberFormat(), "@");
    EXPECT_EQ(ws->Cells(5, 1)->GetFont()->Get(FontProperty::Bold), Variant(true));  // the row's format
    basic->Save();
    ReadBack(basic->FullName()).expect({"width Second!B=20", "width Second!C=5.7109", "width Second!D=20"});
}

// Every bad argument a host or a template can pass: a run-time error, never a crash.
TEST_F(Engine, BadArgumentsAreRunTimeErrors) {
    auto book = open("basic.xlsx");
    auto ws = book->ActiveSheet();
    auto font = ws->Cells(1, 1)->GetFont();
    auto cell = ws->Cells(1, 1);
    auto picture = ws->GetPictures().Insert(dataFile("green_120x80px_nodpi.png"));
    const std::string green = dataFile("green_120x80px_nodpi.png");
    const std::pair<std::function<void()>, int> rows[] = {
        {[&] { book->GetSheets().Item("Missing"); }, err::SubscriptOutOfRange},
        {[&] { book->GetSheets().Item(3); }, err::SubscriptOutOfRange},
        {[&] { book->GetSheets().Item(0); }, err::SubscriptOutOfRange},
        {[&] { ws->Cells(1048577, 1); }, err::Application},
        {[&] { ws->Cells(1, 16385); }, err::Application},
        {[&] { ws->Cells(0, 1); }, err::Application},
        {[&] { app->SetCalculation(12345); }, err::Application},
        {[&] { cell->SetPlacement(1); }, err::MemberNotSupported},
        {[&] { font->Set(FontProperty::Size, Variant(500.0)); }, err::Application},
        {[&] { font->Set(FontProperty::Underline, Variant(int32_t{3})); }, err::Application},
        {[&] { font->Set(FontProperty::ColorIndex, Variant(int32_t{57})); }, err::Application},
        {[&] { font->Set(FontProperty::Bold, Variant("maybe")); }, err::TypeMismatch},
        {[&] { cell->SetHorizontalAlignment(Variant(int32_t{99})); }, err::Application},
        {[&] { cell->SetRowHeight(409.5); }, err::Application},
        {[&] { cell->SetColumnWidth(255.5); }, err::Application},
        {[&] { cell->SetColumnWidth(-1); }, err::Application},
        {[&] { book->SaveAs(book->FullName(), std::nullopt); }, err::Application},
        {[&] { book->SaveAs(dir.file("missing/x.xlsx"), std::nullopt); }, err::PathNotFound},
        {[&] { book->SaveAs(dir.file("bad.format"), 99); }, err::Application},
        {[&] { app->GetWorkbooks().Add()->Save(); }, err::Application},  // never saved: no name
        {[&] { app->GetWorkbooks().Open(dir.file("none.xlsx"), Variant(false), true); }, err::FileNotFound},
        {[&] { app->GetWorkbooks().Open(dir.file("none.xls"), Variant(false), true); }, err::FileNotFound},
        {[&] { picture->SetPlacement(0); }, err::Application},
        {[&] { picture->SetPlacement(4); }, err::Application},
        {[&] { picture->SetTop(std::numeric_limits<double>::infinity()); }, err::Application},
        {[&] { ws->GetShapes().AddPicture(green, true, false, 0, 0, 10, 10); }, err::Application},
        {[&] { ws->GetShapes().AddPicture(green, false, false, 0, 0, 10, 10); }, err::Application},
        {[&] { ws->GetShapes().AddPicture(green, false, true, 0, 0, -5, 10); }, err::Application},
        {[&] { ws->GetShapes().AddPicture(green, false, true, std::nan(""), 0, 5, 10); }, err::Application},
        {[&] { ws->Copy(*app->GetWorkbooks().Add()->ActiveSheet()); }, err::Application},
    };
    for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(errorOf(rows[i].first).number(), rows[i].second) << i;
    for (const std::string& bad :
         Lines{"", "   ", "a[b", "a]b", "a:b", "a*b", "a?b", "a/b", "a\\b", std::string(32, 'x')})
        EXPECT_EQ(errorOf([&] { ws->SetName(bad); }).number(), err::Application) << bad;
    EXPECT_NO_THROW(ws->SetName(std::string(31, 'x')));
    EXPECT_NO_THROW(ws->Cells(1048576, 16384)->Value());
    picture->SetTop(1e300);  // huge positions end on the sheet's last cell
    EXPECT_LT(picture->Top(), 1e9);
    app->Quit();
    EXPECT_EQ(errorOf([&] { book->GetSheets().Count(); }).number(), err::ObjectRequired);
    EXPECT_EQ(errorOf([&] { picture->Width(); }).number(), err::ObjectRequired);
}

TEST_F(Engine, DamagedPackagesAreRefusedWithTheFileNamed) {
    runPython(readFile(dataFile("make_data.py")), {"bad-packages", dataFile(""), dir.path().string()});
    const std::pair<const char*, const char*> rows[] = {{"zip_bomb", "compression ratio"},
                                                        {"too_many_entries", "too many entries"},
                                                        {"duplicate_name", "more than once"},
                                                        {"case_duplicate_name", "more than once"},
                                                        {"target_outside", "outside the package"},
                                                        {"dtd", "document type declaration"},
                                                        {"dtd_at_end", "document type declaration"},
                                                        {"invalid_utf8", "not valid UTF-8"},
                                                        {"column_beyond_sheet", "XFE1"},
                                                        {"row_beyond_sheet", "1048577"},
                                                        {"style_out_of_range", "style index out of range"},
                                                        {"string_out_of_range", "shared string out of range"},
                                                        {"cells_out_of_order", "out of order"},
                                                        {"rows_out_of_order", "out of order"},
                                                        {"malformed_xml", "not well-formed"},
                                                        {"not_a_zip", "not a valid zip"}};
    for (const auto& [name, reason] : rows) {
        const std::string file = dir.file(std::string(name) + ".xlsx");
        const RuntimeError e = errorOf([&] { app->GetWorkbooks().Open(file, Variant(false), true); });
        EXPECT_EQ(e.number(), err::Application) << name;
        EXPECT_NE(e.description().find(file), std::string::npos) << e.description();
        EXPECT_NE(e.description().find(reason), std::string::npos) << e.description();
    }
    EXPECT_EQ(app->GetWorkbooks().Count(), 0);
}

}  // namespace
}  // namespace kbx::test
