// Worksheet::Copy through the automation interface, saved by the engine and
// read back by openpyxl.

#include <gtest/gtest.h>

#include "engine/engine_objects.h"
#include "support/test_support.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {
namespace {

using test::dataFile;
using test::runPython;

// One line per sheet: name, images, the comment of A1, tables (name and
// range), print area and print title rows; then the active sheet and the
// defined names as written: name, the sheet it is local to, formula.
const char* kDescribeSheets = R"py(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
for ws in wb.worksheets:
    comment = ws['A1'].comment.text if ws['A1'].comment else '-'
    tables = ','.join('%s=%s' % (t.name, t.ref) for t in ws.tables.values()) or '-'
    print('%s | images %d | %s | %s | %s | %s' % (ws.title, len(ws._images), comment, tables,
                                                 ws.print_area or '-', ws.print_title_rows or '-'))
print('active', wb.active.title)
import zipfile, xml.etree.ElementTree as ET
root = ET.fromstring(zipfile.ZipFile(sys.argv[1]).read('xl/workbook.xml'))
sheets = [s.get('name') for s in root.iter('{%s}sheet' % root.tag[1:].split('}')[0])]
for n in root.iter('{%s}definedName' % root.tag[1:].split('}')[0]):
    local = n.get('localSheetId')
    print('name', n.get('name'), sheets[int(local)] if local is not None else '(book)', n.text)
)py";

class EngineSheetCopy : public ::testing::Test {
protected:
    // The application and its open workbooks hold each other; quitting frees them.
    void TearDown() override { app->Quit(); }
    std::shared_ptr<EngineApplication> app = std::make_shared<EngineApplication>();
    test::TempDir dir;
    std::string saved = dir.file("out.xlsx");
    std::shared_ptr<sheet::Workbook> book =
        app->GetWorkbooks().Open(dataFile("pictures/copy_source.xlsx"), Variant(false), true);

    std::vector<std::string> sheetNames() {
        std::vector<std::string> names;
        for (int32_t i = 1; i <= book->GetSheets().Count(); ++i) names.push_back(book->GetSheets().Item(i)->Name());
        return names;
    }
};

TEST_F(EngineSheetCopy, CopyKeepsImageCommentTableAndPrintSettings) {
    auto parts = book->GetSheets().Item("Parts");
    parts->Copy(*parts);
    EXPECT_EQ(sheetNames(), (std::vector<std::string>{"Cover", "Parts (2)", "Parts", "Notes"}));
    auto copy = book->ActiveSheet();
    EXPECT_EQ(copy->Name(), "Parts (2)");
    EXPECT_EQ(copy->Cells(6, 1)->Text(), "Bolt");
    // The copy's drawing is its own: a picture added to it stays off the source.
    copy->Cells(12, 1)->Select();
    copy->GetPictures().Insert(dataFile("pictures/red_200x100pt_72dpi.png"));
    book->SaveAs(saved);

    EXPECT_EQ(runPython(kDescribeSheets, {saved}),
              "Cover | images 0 | - | - | - | -\n"
              "Parts (2) | images 2 | Checked by QA | PartsTable_2=A5:C8 | ['$A$1:$F$20'] | 1:2\n"
              "Parts | images 1 | Checked by QA | PartsTable=A5:C8 | ['$A$1:$F$20'] | 1:2\n"
              "Notes | images 0 | - | - | ['$A$1:$B$5'] | -\n"
              "active Parts (2)\n"
              "name PartCount (book) Parts!$B$6:$B$8\n"
              "name _xlnm.Print_Titles Parts 'Parts'!1:2\n"
              "name _xlnm.Print_Titles Parts (2) 'Parts (2)'!1:2\n"
              "name _xlnm.Print_Area Parts 'Parts'!$A$1:$F$20\n"
              "name _xlnm.Print_Area Parts (2) 'Parts (2)'!$A$1:$F$20\n"
              "name _xlnm.Print_Area Notes 'Notes'!$A$1:$B$5\n");
}

TEST_F(EngineSheetCopy, RepeatedCopiesKeepOrderNamesAndSheetIndexes) {
    auto parts = book->GetSheets().Item("Parts");
    parts->Copy(*parts);
    parts->Copy(*parts);
    auto notes = book->GetSheets().Item("Notes");
    book->GetSheets().Item("Cover")->Copy(*notes);
    EXPECT_EQ(sheetNames(),
              (std::vector<std::string>{"Cover", "Parts (2)", "Parts (3)", "Parts", "Cover (2)", "Notes"}));
    EXPECT_EQ(book->ActiveSheet()->Name(), "Cover (2)");
    // A copy of a copy counts on.
    book->GetSheets().Item("Parts (3)")->Copy(*parts);
    EXPECT_EQ(book->ActiveSheet()->Name(), "Parts (4)");
    book->SaveAs(saved);

    EXPECT_EQ(runPython(kDescribeSheets, {saved}),
              "Cover | images 0 | - | - | - | -\n"
              "Parts (2) | images 1 | Checked by QA | PartsTable_2=A5:C8 | ['$A$1:$F$20'] | 1:2\n"
              "Parts (3) | images 1 | Checked by QA | PartsTable_3=A5:C8 | ['$A$1:$F$20'] | 1:2\n"
              "Parts (4) | images 1 | Checked by QA | PartsTable_4=A5:C8 | ['$A$1:$F$20'] | 1:2\n"
              "Parts | images 1 | Checked by QA | PartsTable=A5:C8 | ['$A$1:$F$20'] | 1:2\n"
              "Cover (2) | images 0 | - | - | - | -\n"
              "Notes | images 0 | - | - | ['$A$1:$B$5'] | -\n"
              "active Parts (4)\n"
              "name PartCount (book) Parts!$B$6:$B$8\n"
              "name _xlnm.Print_Titles Parts 'Parts'!1:2\n"
              "name _xlnm.Print_Titles Parts (3) 'Parts (3)'!1:2\n"
              "name _xlnm.Print_Titles Parts (4) 'Parts (4)'!1:2\n"
              "name _xlnm.Print_Titles Parts (2) 'Parts (2)'!1:2\n"
              "name _xlnm.Print_Area Parts 'Parts'!$A$1:$F$20\n"
              "name _xlnm.Print_Area Parts (3) 'Parts (3)'!$A$1:$F$20\n"
              "name _xlnm.Print_Area Parts (4) 'Parts (4)'!$A$1:$F$20\n"
              "name _xlnm.Print_Area Parts (2) 'Parts (2)'!$A$1:$F$20\n"
              "name _xlnm.Print_Area Notes 'Notes'!$A$1:$B$5\n");

    // Every part is named once, every table id and VML shape block is unique.
    const std::string check = R"py(
import sys, re, zipfile
z = zipfile.ZipFile(sys.argv[1])
names = z.namelist()
assert len(names) == len(set(n.lower() for n in names)), 'duplicate part names'
ids = [re.search(rb'<table[^>]* id="(\d+)"', z.read(n)).group(1) for n in names if n.startswith('xl/tables/')]
blocks = [re.search(rb'idmap[^>]*data="([^"]*)"', z.read(n)).group(1) for n in names if n.endswith('.vml')]
print(len(ids), len(set(ids)), len(blocks), len(set(blocks)))
)py";
    EXPECT_EQ(runPython(check, {saved}), "4 4 4 4\n");
}

TEST_F(EngineSheetCopy, CopyOfAFilledSheetCarriesItsPictures) {
    // Pictures added in this session go along with the copy.
    auto cover = book->GetSheets().Item("Cover");
    auto picture =
        cover->GetShapes().AddPicture(dataFile("pictures/green_120x80px_nodpi.png"), false, true, 10, 20, 90, 60);
    auto moved = cover->GetShapes().AddPicture(dataFile("pictures/red_200x100pt_72dpi.png"), false, true, 0, 0, 9, 9);
    cover->Copy(*cover);
    auto copy = book->ActiveSheet();
    EXPECT_EQ(copy->Name(), "Cover (2)");
    // Cutting the source's picture leaves the copy's, which shares its media;
    // moving the source's other picture leaves the copy's in place.
    picture->Cut();
    moved->SetTop(100);
    book->SaveAs(saved);
    const std::string out = runPython(R"py(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
for ws in wb.worksheets[:2]:
    for img in ws._images:
        a = img.anchor
        print(ws.title, a._from.col, a._from.colOff, a._from.row, a._from.rowOff, a.ext.width, a.ext.height)
)py",
                                      {saved});
    EXPECT_EQ(out,
              "Cover (2) 0 127000 1 63500 1143000 762000\n"
              "Cover (2) 0 0 0 0 114300 114300\n"
              "Cover 0 0 6 127000 114300 114300\n");
    EXPECT_THROW(cover->Copy(*app->GetWorkbooks().Add()->ActiveSheet()), RuntimeError);
}

}  // namespace
}  // namespace kbx::ooxml
