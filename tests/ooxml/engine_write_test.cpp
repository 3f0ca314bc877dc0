#include <chrono>

#include "engine/engine_objects.h"
#include "ooxml_test_util.h"

namespace kbx::test {
namespace {

using sheet::FontProperty;
namespace xl = sheet::xl;

class EngineWrite : public ::testing::Test {
protected:
    // The application and its open workbooks hold each other; quitting frees them.
    void TearDown() override { app->Quit(); }
    TempDir dir;
    std::shared_ptr<sheet::Application> app = createEngineApplication();
};

TEST_F(EngineWrite, FilledCellsReadBackByOpenpyxlAndUntouchedPartsStayIdentical) {
    const std::string source = copyTemplate(dir, "basic.xlsx");
    const std::string target = dir.file("filled.xlsx");
    auto book = app->GetWorkbooks().Open(source, Variant(int32_t{2}), false);
    auto ws = book->GetSheets().Item("Data");
    ws->Cells(5, 1)->SetValue(Variant("0123"));  // text that looks like a number stays text
    ws->Cells(5, 2)->SetValue(Variant(3.5));
    ws->Cells(5, 3)->SetValue(Variant(true));
    ws->Cells(5, 4)->SetValue(Variant("a <b> & \"c\""));
    ws->Cells(5, 5)->SetValue(Variant(int32_t{7}));
    ws->Cells(5, 6)->SetValue(Variant("=1+1"));  // never turned into a formula
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
    book->SaveAs(target, xl::FormatOpenXmlWorkbook);
    EXPECT_EQ(book->FullName(), target);

    const std::string out = runPython(R"(
import sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1])["Data"]
def show(c): print(c.coordinate, type(c.value).__name__, repr(c.value), c.number_format)
for ref in ["A1", "A5", "B5", "C5", "D5", "E5", "F5", "A6", "A2", "B2"]: show(ws[ref])
f = ws["A5"].font
print("font", f.b, f.color.rgb, f.sz, f.u, ws["A5"].alignment.horizontal, ws["A5"].alignment.vertical)
print("height", ws.row_dimensions[5].height, "width", round(ws.column_dimensions["C"].width, 4))
)",
                                      {target});
    EXPECT_NE(out.find("A1 str 'replaced' @"), std::string::npos) << out;
    EXPECT_NE(out.find("A5 str '0123' @"), std::string::npos) << out;
    EXPECT_NE(out.find("B5 float 3.5 General"), std::string::npos) << out;
    EXPECT_NE(out.find("C5 bool True General"), std::string::npos) << out;
    EXPECT_NE(out.find("D5 str 'a <b> & \"c\"'"), std::string::npos) << out;
    EXPECT_NE(out.find("E5 int 7"), std::string::npos) << out;
    EXPECT_NE(out.find("F5 str '=1+1'"), std::string::npos) << out;
    EXPECT_NE(out.find("A6 str 'new cell in a text column' @"), std::string::npos) << out;
    EXPECT_NE(out.find("A2 int 42 @"), std::string::npos) << out;  // existing cell of column A took "@"
    EXPECT_NE(out.find("B2 float 3.25 General"), std::string::npos) << out;
    EXPECT_NE(out.find("font True FF0000FF 14.0 single right center"), std::string::npos) << out;
    EXPECT_NE(out.find("height 25.5 width 12.7109"), std::string::npos) << out;

    const std::string changed = runPython(kChangedMembersScript, {source, target});
    // openpyxl writes inline strings, so the shared-string table is new.
    EXPECT_EQ(changed,
              "changed xl/worksheets/sheet1.xml\nchanged xl/styles.xml\n"
              "changed xl/_rels/workbook.xml.rels\nchanged [Content_Types].xml\n")
        << changed;
}

TEST_F(EngineWrite, TemplateFeaturesSurviveAFill) {
    const std::string source = copyTemplate(dir, "fidelity.xlsx");
    const std::string target = dir.file("filled.xlsx");
    auto book = app->GetWorkbooks().Open(source, Variant(false), true);
    auto ws = book->ActiveSheet();
    ws->Cells(1, 1)->SetValue(Variant("Title"));
    auto model = ws->Cells(3, 1);
    for (int32_t row = 3; row < 40; ++row) {
        auto cell = ws->Cells(row, 1);
        if (row > 3) {
            cell->SetValue2(model->Value2());
            for (FontProperty p : sheet::kCopiedFontProperties) cell->GetFont()->Set(p, model->GetFont()->Get(p));
            cell->SetHorizontalAlignment(model->HorizontalAlignment());
            cell->SetVerticalAlignment(model->VerticalAlignment());
        }
        ws->Columns(1)->SetNumberFormat("@");
        cell->SetValue(Variant(std::to_string(row)));
    }
    book->SaveAs(target, std::nullopt);
    const std::string out = runPython(R"(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb["BOM"]
print("merged", [str(r) for r in ws.merged_cells.ranges])
print("border", ws["A3"].border.left.style, ws["B3"].border.top.style, "fill", ws["C3"].fill.fgColor.rgb)
print("cf", [str(r.sqref) for r in ws.conditional_formatting])
print("dv", [str(d.sqref) for d in ws.data_validations.dataValidation])
print("print", ws.print_area)
print("comment", ws["D2"].comment.text if ws["D2"].comment else None)
print("images", len(ws._images), "charts", len(ws._charts))
print("values", ws["A1"].value, ws["A3"].value, ws["A39"].value, ws["F6"].value)
)",
                                      {target});
    EXPECT_NE(out.find("merged ['A1:D1']"), std::string::npos) << out;
    EXPECT_NE(out.find("border thin thin fill FFFFFF00"), std::string::npos) << out;
    EXPECT_NE(out.find("cf ['A3:A50']"), std::string::npos) << out;
    EXPECT_NE(out.find("dv ['C3:C50']"), std::string::npos) << out;
    EXPECT_NE(out.find("print ['$A$1:$D$40']"), std::string::npos) << out;
    EXPECT_NE(out.find("comment keep me"), std::string::npos) << out;
    EXPECT_NE(out.find("images 1 charts 1"), std::string::npos) << out;
    EXPECT_NE(out.find("values Title 3 39 6"), std::string::npos) << out;
    const std::string changed = runPython(kChangedMembersScript, {source, target});
    for (const char* part : {"xl/drawings/drawing1.xml", "xl/charts/chart1.xml", "xl/media/image1.png",
                             "xl/comments/comment1.xml", "xl/worksheets/_rels/sheet1.xml.rels"}) {
        EXPECT_EQ(changed.find(part), std::string::npos) << part << " changed:\n" << changed;
    }
}

TEST_F(EngineWrite, NewWorkbookTextExportAndLibreOffice) {
    auto book = app->GetWorkbooks().Add();
    EXPECT_EQ(book->GetSheets().Count(), 1);
    auto ws = book->ActiveSheet();
    EXPECT_EQ(ws->Name(), "Sheet1");
    EXPECT_EQ(book->FullName(), "");
    EXPECT_EQ(errorOf([&] { book->Save(); }).number(), err::Application);
    ws->Cells(1, 1)->SetValue(Variant("plain"));
    ws->Cells(1, 2)->SetValue(Variant("tab\there"));
    ws->Cells(1, 3)->SetValue(Variant("say \"hi\""));
    ws->Cells(2, 1)->SetValue(Variant(1234.5));
    ws->Cells(2, 1)->SetNumberFormat("#,##0.00");
    ws->Cells(2, 2)->SetValue(Variant("two\nlines"));
    ws->Cells(3, 3)->SetValue(Variant(Date{45366}));
    const std::string xlsx = dir.file("new.xlsx");
    book->SaveAs(xlsx, std::nullopt);
    const std::string text = dir.file("new.txt");
    book->SaveAs(text, xl::FormatTextTabSeparated);
    EXPECT_EQ(readFile(text),
              "plain\t\"tab\there\"\t\"say \"\"hi\"\"\"\n"
              "1,234.50\t\"two\nlines\"\t\n"
              "\t\t3/15/2024\n");

    const std::string out = runPython(R"(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.active
print(wb.sheetnames, ws["A1"].value, ws["A2"].value, ws["A2"].number_format, ws["C3"].value, ws["C3"].is_date)
)",
                                      {xlsx});
    EXPECT_EQ(out, "['Sheet1'] plain 1234.5 #,##0.00 2024-03-15 00:00:00 True\n");

    // The macro-enabled format declares its own workbook content type.
    const std::string xlsm = dir.file("new.xlsm");
    book->SaveAs(xlsm, xl::FormatOpenXmlMacroEnabled);
    EXPECT_EQ(runPython(R"(
import sys, zipfile, openpyxl
types = zipfile.ZipFile(sys.argv[1]).read("[Content_Types].xml").decode()
print("macroEnabled.main+xml" in types, openpyxl.load_workbook(sys.argv[1], keep_vba=True).active["A1"].value)
)",
                        {xlsm}),
              "True plain\n");

    // LibreOffice opens the result without complaint and sees the same cells.
    const std::string profile = "file://" + dir.file("lo-profile");
    const std::string command =
        "cd '" + dir.path().string() + "' && timeout 120 soffice -env:UserInstallation=" + profile +
        " --headless --convert-to csv --outdir '" + dir.file("csv") + "' '" + xlsx + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(readFile(dir.file("csv/new.csv")),
              "plain,tab\there,\"say \"\"hi\"\"\"\n1234.5,\"two\nlines\",\n,,03/15/2024\n");
}

TEST_F(EngineWrite, SavesAreAtomicAndReadOnlyBooksKeepTheirFile) {
    const std::string source = copyTemplate(dir, "basic.xlsx");
    const std::string original = readFile(source);
    auto book = app->GetWorkbooks().Open(source, Variant(false), true);
    book->ActiveSheet()->Cells(1, 1)->SetValue(Variant("changed"));
    const RuntimeError readOnly = errorOf([&] { book->Save(); });
    EXPECT_EQ(readOnly.number(), err::Application);
    EXPECT_NE(readOnly.description().find("read-only"), std::string::npos);
    EXPECT_EQ(errorOf([&] { book->SaveAs(source, std::nullopt); }).number(), err::Application);
    EXPECT_EQ(errorOf([&] { book->SaveAs(dir.file("missing/x.xlsx"), std::nullopt); }).number(), err::PathNotFound);
    // A target that cannot be replaced (a directory) fails and leaves nothing behind.
    std::filesystem::create_directory(dir.file("occupied.xlsx"));
    EXPECT_NE(errorOf([&] { book->SaveCopyAs(dir.file("occupied.xlsx")); }).number(), 0);
    EXPECT_EQ(errorOf([&] { book->SaveAs(dir.file("bad.format"), 99); }).number(), err::Application);
    EXPECT_EQ(readFile(source), original);
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
        EXPECT_EQ(entry.path().filename().string().find(".kbx-"), std::string::npos) << entry.path();
    }
    EXPECT_EQ(entries, 2u);
    book->SaveCopyAs(dir.file("copy.xlsx"));
    EXPECT_EQ(book->FullName(), source);
    auto copy = app->GetWorkbooks().Open(dir.file("copy.xlsx"), Variant(false), false);
    EXPECT_EQ(copy->ActiveSheet()->Cells(1, 1)->Value(), Variant("changed"));
    copy->ActiveSheet()->Cells(1, 1)->SetValue(Variant("again"));
    copy->Close(true);
    auto reopened = app->GetWorkbooks().Open(dir.file("copy.xlsx"), Variant(false), true);
    EXPECT_EQ(reopened->ActiveSheet()->Cells(1, 1)->Value(), Variant("again"));
    EXPECT_EQ(errorOf([&] { app->GetWorkbooks().Open(dir.file("x.xls"), Variant(false), true); }).number(),
              err::FileNotFound);
}

TEST_F(EngineWrite, SheetNamesAutoFilterAndDefinedNames) {
    const std::string source = copyTemplate(dir, "fidelity.xlsx");
    auto book = app->GetWorkbooks().Open(source, Variant(false), false);
    auto ws = book->ActiveSheet();
    for (const std::string bad :
         {"", "   ", "a[b", "a]b", "a:b", "a*b", "a?b", "a/b", "a\\b", "12345678901234567890123456789012"}) {
        EXPECT_EQ(errorOf([&] { ws->SetName(bad); }).number(), err::Application) << bad;
    }
    auto other = app->GetWorkbooks().Add()->ActiveSheet();
    EXPECT_NO_THROW(other->SetName("BOM"));  // names are unique per workbook only
    ws->SetName("Parts list");
    EXPECT_EQ(book->GetSheets().Item("PARTS LIST")->Name(), "Parts list");
    EXPECT_NO_THROW(ws->SetName("1234567890123456789012345678901"));
    ws->SetName("Parts list");
    ws->SetAutoFilterMode(false);
    book->Save();
    const std::string out = runPython(R"(
import sys, re, zipfile, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
xml = zipfile.ZipFile(sys.argv[1]).read("xl/workbook.xml").decode()
print(wb.sheetnames, re.findall(r'<definedName[^>]*>([^<]*)</definedName>', xml))
)",
                                      {source});
    EXPECT_EQ(out, "['Parts list'] [\"'Parts list'!$A$1:$D$40\"]\n");
}

TEST_F(EngineWrite, FontColoursAndLimits) {
    auto book = app->GetWorkbooks().Add();
    auto ws = book->ActiveSheet();
    auto font = ws->Cells(1, 1)->GetFont();
    EXPECT_EQ(font->Get(FontProperty::Color), Variant(int32_t{0}));  // the theme's dark text colour
    font->Set(FontProperty::ColorIndex, Variant(xl::ColorIndexAutomatic));
    EXPECT_EQ(font->Get(FontProperty::ColorIndex), Variant(xl::ColorIndexAutomatic));
    font->Set(FontProperty::Color, Variant(int32_t{0x563412}));  // a colour outside the palette
    const Variant nearest = font->Get(FontProperty::ColorIndex);
    font->Set(FontProperty::ColorIndex, nearest);  // the reported value changes nothing
    EXPECT_EQ(font->Get(FontProperty::Color), Variant(int32_t{0x563412}));
    font->Set(FontProperty::ColorIndex, Variant(int32_t{5}));
    EXPECT_EQ(font->Get(FontProperty::Color), Variant(int32_t{0xFF0000}));  // palette 5 is blue
    EXPECT_EQ(font->Get(FontProperty::ColorIndex), Variant(int32_t{5}));
    font->Set(FontProperty::FontStyle, Variant("Bold Italic"));
    EXPECT_EQ(font->Get(FontProperty::Bold), Variant(true));
    EXPECT_EQ(font->Get(FontProperty::Italic), Variant(true));
    font->Set(FontProperty::Superscript, Variant(true));
    EXPECT_EQ(font->Get(FontProperty::Superscript), Variant(true));
    font->Set(FontProperty::Subscript, Variant(true));
    EXPECT_EQ(font->Get(FontProperty::Superscript), Variant(false));
    EXPECT_EQ(errorOf([&] { font->Set(FontProperty::Size, Variant(500.0)); }).number(), err::Application);
    EXPECT_EQ(errorOf([&] { font->Set(FontProperty::Underline, Variant(int32_t{3})); }).number(), err::Application);
    EXPECT_EQ(errorOf([&] { font->Set(FontProperty::ColorIndex, Variant(int32_t{57})); }).number(), err::Application);
    EXPECT_EQ(errorOf([&] { font->Set(FontProperty::Bold, Variant("maybe")); }).number(), err::TypeMismatch);
    EXPECT_EQ(errorOf([&] { ws->Cells(1, 1)->SetHorizontalAlignment(Variant(int32_t{99})); }).number(),
              err::Application);
    EXPECT_EQ(errorOf([&] { ws->Cells(1, 1)->SetRowHeight(409.5); }).number(), err::Application);
    EXPECT_EQ(errorOf([&] { ws->Cells(1, 1)->SetColumnWidth(255.5); }).number(), err::Application);
    EXPECT_EQ(errorOf([&] { ws->Cells(1, 1)->SetColumnWidth(-1); }).number(), err::Application);
    ws->Cells(1, 1)->SetRowHeight(409);
    ws->Cells(1, 1)->SetColumnWidth(255);
    EXPECT_DOUBLE_EQ(ws->Cells(1, 1)->RowHeight(), 409);
    EXPECT_DOUBLE_EQ(ws->Cells(1, 1)->ColumnWidth(), 255);
    ws->Cells(1, 2)->SetColumnWidth(10);
    EXPECT_DOUBLE_EQ(ws->Cells(1, 2)->ColumnWidth(), 10);
}

TEST_F(EngineWrite, FormatsAreInternedAndRepeatedColumnFormatsAreFree) {
    auto book = app->GetWorkbooks().Add();
    auto engineBook = std::dynamic_pointer_cast<ooxml::EngineWorkbook>(book);
    ASSERT_NE(engineBook, nullptr);
    auto ws = book->ActiveSheet();
    auto model = ws->Cells(1, 1);
    model->GetFont()->Set(FontProperty::Bold, Variant(true));
    model->GetFont()->Set(FontProperty::Color, Variant(int32_t{255}));
    model->SetHorizontalAlignment(Variant(xl::HAlignCenter));
    ws->Columns(1)->SetNumberFormat("@");
    const auto copyModel = [&](int32_t row) {
        auto cell = ws->Cells(row, 1);
        cell->SetValue2(Variant(static_cast<double>(row)));
        for (FontProperty p : sheet::kCopiedFontProperties) cell->GetFont()->Set(p, model->GetFont()->Get(p));
        cell->SetHorizontalAlignment(model->HorizontalAlignment());
        cell->SetVerticalAlignment(model->VerticalAlignment());
    };
    copyModel(2);
    const size_t formats = engineBook->styles().cellFormatCount();
    for (int32_t row = 3; row <= 2000; ++row) copyModel(row);
    // Later copies only find formats made by the first one.
    EXPECT_EQ(engineBook->styles().cellFormatCount(), formats);
    EXPECT_EQ(ws->Cells(2000, 1)->NumberFormat(), "@");
    EXPECT_EQ(ws->Cells(2000, 1)->GetFont()->Get(FontProperty::Color), Variant(int32_t{255}));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100000; ++i) ws->Columns(1)->SetNumberFormat("@");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 2.0);  // 100,000 repeats; a pass over the 2,000 cells each would take far longer
    EXPECT_EQ(engineBook->styles().cellFormatCount(), formats);
    // A cell given another format leaves the column's "@" to be applied again.
    ws->Cells(5, 1)->SetNumberFormat("0.00");
    ws->Columns(1)->SetNumberFormat("@");
    EXPECT_EQ(ws->Cells(5, 1)->NumberFormat(), "@");
}

}  // namespace
}  // namespace kbx::test

namespace kbx::test {
namespace {

TEST(EngineFormulas, FormulasKeptCalculationChainDroppedAndOrphanedSharedFormulasResolved) {
    TempDir dir;
    auto app = createEngineApplication();
    const std::string source = copyTemplate(dir, "formulas.xlsx");
    auto book = app->GetWorkbooks().Open(source, Variant(false), true);
    auto ws = book->ActiveSheet();
    EXPECT_EQ(ws->Cells(2, 2)->Value(), Variant(4.0));  // the cached value
    EXPECT_EQ(ws->Cells(1, 3)->Text(), "6");
    ws->Cells(5, 1)->SetValue(Variant("untouched formulas"));
    book->SaveCopyAs(dir.file("kept.xlsx"));
    ws->Cells(1, 2)->SetValue(Variant("master replaced"));
    ws->UsedRange()->Calculate();
    book->SaveAs(dir.file("replaced.xlsx"), std::nullopt);
    const std::string out = runPython(R"(
import sys, zipfile, openpyxl
for name in sys.argv[1:]:
    ws = openpyxl.load_workbook(name).active
    z = zipfile.ZipFile(name)
    print([ws[r].value for r in ("B1", "B2", "B3", "C1")], "xl/calcChain.xml" in z.namelist(),
          'fullCalcOnLoad="1"' in z.read("xl/workbook.xml").decode(),
          "calcChain" in z.read("[Content_Types].xml").decode() + z.read("xl/_rels/workbook.xml.rels").decode())
)",
                                      {dir.file("kept.xlsx"), dir.file("replaced.xlsx")});
    EXPECT_EQ(out,
              "['=A1*2', '=A2*2', '=A3*2', '=SUM(A1:A3)'] False True False\n"
              "['master replaced', 4, 6, '=SUM(A1:A3)'] False True False\n");
    app->Quit();
}

TEST(EngineColumns, WidthsOfColumnRangesAreSplitWhereOneColumnChanges) {
    TempDir dir;
    auto app = createEngineApplication();
    const std::string path = dir.file("ranges.xlsx");
    runPython(R"(
import sys, openpyxl
wb = openpyxl.Workbook(); ws = wb.active
ws.column_dimensions["B"].width = 20
ws.column_dimensions["B"].min = 2; ws.column_dimensions["B"].max = 5
ws["A1"] = 1
wb.save(sys.argv[1])
)",
              {path});
    auto book = app->GetWorkbooks().Open(path, Variant(false), false);
    auto ws = book->ActiveSheet();
    EXPECT_DOUBLE_EQ(ws->Cells(1, 4)->Width(), ws->Cells(1, 2)->Width());
    const double wide = ws->Cells(1, 2)->Width();
    EXPECT_GT(wide, ws->Cells(1, 1)->Width());
    ws->Cells(1, 3)->SetColumnWidth(5);
    EXPECT_DOUBLE_EQ(ws->Cells(1, 2)->Width(), wide);
    EXPECT_DOUBLE_EQ(ws->Cells(1, 4)->Width(), wide);
    EXPECT_DOUBLE_EQ(ws->Cells(1, 5)->Width(), wide);
    EXPECT_DOUBLE_EQ(ws->Cells(1, 3)->ColumnWidth(), 5);
    EXPECT_DOUBLE_EQ(ws->Cells(1, 6)->Left(), ws->Cells(1, 1)->Width() + 3 * wide + ws->Cells(1, 3)->Width());
    book->Save();
    const std::string out = runPython(R"py(
import sys, zipfile, re
xml = zipfile.ZipFile(sys.argv[1]).read("xl/worksheets/sheet1.xml").decode()
print(re.findall(r'<col min="(\d+)" max="(\d+)" width="([\d.]+)"', xml))
)py",
                                      {path});
    EXPECT_EQ(out, "[('2', '2', '20'), ('3', '3', '5.7109375'), ('4', '5', '20')]\n");
    app->Quit();
}

}  // namespace
}  // namespace kbx::test

namespace kbx::test {
namespace {

TEST(EngineColumns, RepeatedColumnFormatStillReachesCellsThatTookTheirRowFormat) {
    TempDir dir;
    auto app = createEngineApplication();
    const std::string path = dir.file("row_format.xlsx");
    runPython(R"py(
import sys, openpyxl
from openpyxl.styles import Font
wb = openpyxl.Workbook(); ws = wb.active
ws["A1"] = "x"
ws.row_dimensions[5].font = Font(bold=True)
wb.save(sys.argv[1])
)py",
              {path});
    auto book = app->GetWorkbooks().Open(path, Variant(false), false);
    auto ws = book->ActiveSheet();
    ws->Columns(1)->SetNumberFormat("@");
    EXPECT_EQ(ws->Cells(5, 1)->GetFont()->Get(sheet::FontProperty::Bold), Variant(true));  // the row's format
    ws->Cells(5, 1)->SetValue(Variant("new"));
    EXPECT_EQ(ws->Cells(5, 1)->NumberFormat(), "General");
    ws->Columns(1)->SetNumberFormat("@");
    EXPECT_EQ(ws->Cells(5, 1)->NumberFormat(), "@");
    EXPECT_EQ(ws->Cells(5, 1)->GetFont()->Get(sheet::FontProperty::Bold), Variant(true));
    app->Quit();
}

}  // namespace
}  // namespace kbx::test
