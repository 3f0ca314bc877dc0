// Pictures through the automation interface, saved by the engine and read
// back by openpyxl and by zip inspection.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "engine/engine_objects.h"
#include "support/test_support.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {
namespace {

using test::dataFile;
using test::runPython;

const std::string kRed200x100 = dataFile("pictures/red_200x100pt_72dpi.png");
const std::string kGreen90x60 = dataFile("pictures/green_120x80px_nodpi.png");
const std::string kBlueJpeg = dataFile("pictures/blue_300x150px_150dpi.jpg");

// Prints every image of every sheet as one line: sheet, anchor kind, from
// cell and offsets, and the picture's size in points taken from the anchor;
// a two-cell anchor's size is computed from the file's row heights and
// column widths with the OOXML column width formula (max digit width 7).
// The standard column width of a sheet without one is 64 pixels, as the
// spreadsheet program shows it.
const char* kDescribeImages = R"py(
import sys, math, openpyxl
from openpyxl.utils import get_column_letter
wb = openpyxl.load_workbook(sys.argv[1])
def col_pt(ws, c):
    d = ws.column_dimensions.get(get_column_letter(c + 1))
    w = d.width if d is not None and d.width else ws.sheet_format.defaultColWidth
    if not w:  # standard width: base width plus padding, up to a multiple of 8 pixels
        return math.ceil(((ws.sheet_format.baseColWidth or 8) * 7 + 5) / 8) * 8 * 0.75
    return math.trunc((256 * w + math.trunc(128 / 7)) / 256 * 7) * 0.75
def row_pt(ws, r):
    d = ws.row_dimensions.get(r + 1)
    return d.height if d is not None and d.height else (ws.sheet_format.defaultRowHeight or 15)
def left(ws, c, off): return sum(col_pt(ws, i) for i in range(c)) + off / 12700
def top(ws, r, off): return sum(row_pt(ws, i) for i in range(r)) + off / 12700
for ws in wb.worksheets:
    for img in ws._images:
        a = img.anchor
        f = a._from
        x, y = left(ws, f.col, f.colOff), top(ws, f.row, f.rowOff)
        kind = type(a).__name__
        if kind == 'TwoCellAnchor':
            w = left(ws, a.to.col, a.to.colOff) - x
            h = top(ws, a.to.row, a.to.rowOff) - y
        else:
            w, h = a.ext.width / 12700, a.ext.height / 12700
        print('%s %s %d %d %d %d %.1f %.1f %.1f %.1f' % (ws.title, kind, f.col, f.colOff, f.row, f.rowOff, x, y, w, h))
    print('%s charts %d' % (ws.title, len(ws._charts)))
)py";

const char* kZipListing = R"py(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
names = z.namelist()
print(' '.join(sorted(n for n in names if n.startswith('xl/media/') or n.startswith('xl/drawings/'))))
print('linked' if any(b'r:link' in z.read(n) or b'TargetMode="External"' in z.read(n)
                      for n in names if n.startswith('xl/drawings/')) else 'embedded')
)py";

class EnginePictures : public ::testing::Test {
protected:
    // The application and its open workbooks hold each other; quitting frees them.
    void TearDown() override { app->Quit(); }
    std::shared_ptr<EngineApplication> app = std::make_shared<EngineApplication>();
    test::TempDir dir;
    std::string saved = dir.file("out.xlsx");
};

TEST_F(EnginePictures, InsertPlacesNaturalSizeAtTheSelectedCell) {
    auto book = app->GetWorkbooks().Add();
    auto sheet = book->ActiveSheet();
    // Without a selection the picture goes to A1.
    auto first = sheet->GetPictures().Insert(kGreen90x60);
    EXPECT_DOUBLE_EQ(first->Left(), 0.0);
    EXPECT_DOUBLE_EQ(first->Top(), 0.0);
    EXPECT_NEAR(first->Width(), 90.0, 0.01);
    EXPECT_NEAR(first->Height(), 60.0, 0.01);

    sheet->Cells(1, 3)->SetColumnWidth(20);
    sheet->Cells(2, 1)->SetRowHeight(30);
    sheet->Cells(4, 3)->Select();
    auto cell = sheet->Cells(4, 3);
    auto second = sheet->GetPictures().Insert(kRed200x100);
    EXPECT_DOUBLE_EQ(second->Left(), cell->Left());
    EXPECT_DOUBLE_EQ(second->Top(), cell->Top());
    EXPECT_NEAR(second->Width(), 200.0, 0.05);
    EXPECT_NEAR(second->Height(), 100.0, 0.05);
    auto third = sheet->GetPictures().Insert(kBlueJpeg);
    book->SaveAs(saved);

    // Sheet1: A1 at 0,0; C4 below a 30-point row 2 and right of A and B.
    const std::string images = runPython(kDescribeImages, {saved});
    const double x = cell->Left();
    char expected[512];
    std::snprintf(expected, sizeof expected,
                  "Sheet1 OneCellAnchor 0 0 0 0 0.0 0.0 90.0 60.0\n"
                  "Sheet1 OneCellAnchor 2 0 3 0 %.1f 60.0 200.0 100.0\n"
                  "Sheet1 OneCellAnchor 2 0 3 0 %.1f 60.0 144.0 72.0\n"
                  "Sheet1 charts 0\n",
                  x, x);
    EXPECT_EQ(images, expected);
    EXPECT_EQ(runPython(kZipListing, {saved}),
              "xl/drawings/_rels/drawing1.xml.rels xl/drawings/drawing1.xml xl/media/image1.png "
              "xl/media/image2.png xl/media/image3.jpeg\nembedded\n");
    // The embedded bytes are the file's own.
    EXPECT_EQ(runPython("import sys, zipfile; sys.stdout.write(zipfile.ZipFile(sys.argv[1]).read("
                        "'xl/media/image2.png').hex())",
                        {saved}),
              runPython("import sys; sys.stdout.write(open(sys.argv[1], 'rb').read().hex())", {kRed200x100}));
}

TEST_F(EnginePictures, AddPictureSizesMovesAndTakesPlacement) {
    auto book = app->GetWorkbooks().Add();
    auto sheet = book->ActiveSheet();
    auto cell = sheet->Cells(3, 2);
    cell->SetRowHeight(100);
    cell->SetColumnWidth(37.0);
    // The picture's own size is 90 x 60; the given one wins.
    auto picture = sheet->GetShapes().AddPicture(kGreen90x60, false, true, cell->Left(), cell->Top(), 200, 100);
    EXPECT_DOUBLE_EQ(picture->Left(), cell->Left());
    EXPECT_DOUBLE_EQ(picture->Top(), cell->Top());
    EXPECT_DOUBLE_EQ(picture->Width(), 200.0);
    EXPECT_DOUBLE_EQ(picture->Height(), 100.0);
    EXPECT_EQ(picture->Placement(), 2);

    picture->Select();
    app->GetSelection()->SetPlacement(1);
    EXPECT_EQ(picture->Placement(), 1);
    EXPECT_DOUBLE_EQ(picture->Width(), 200.0);
    book->SaveAs(saved);
    char expected[256];
    std::snprintf(expected, sizeof expected, "Sheet1 TwoCellAnchor 1 0 2 0 %.1f %.1f 200.0 100.0\nSheet1 charts 0\n",
                  cell->Left(), cell->Top());
    EXPECT_EQ(runPython(kDescribeImages, {saved}), expected);

    // Moving and sizing with the cell: a wider column stretches the picture.
    const double before = picture->Width();
    cell->SetColumnWidth(60.0);
    EXPECT_GT(picture->Width(), before);
    // Top and Left move the picture; a move-only picture keeps its size.
    picture->SetPlacement(2);
    const double width = picture->Width();
    picture->SetTop(0);
    picture->SetLeft(15.5);
    EXPECT_DOUBLE_EQ(picture->Top(), 0.0);
    EXPECT_DOUBLE_EQ(picture->Left(), 15.5);
    EXPECT_DOUBLE_EQ(picture->Width(), width);
    book->SaveAs(saved);
    std::snprintf(expected, sizeof expected, "Sheet1 OneCellAnchor 0 196850 0 0 15.5 0.0 %.1f 100.0\nSheet1 charts 0\n",
                  width);
    EXPECT_EQ(runPython(kDescribeImages, {saved}), expected);

    // Bad arguments are run-time errors, not crashes.
    for (int32_t bad : {0, 4, -4142}) EXPECT_THROW(picture->SetPlacement(bad), RuntimeError);
    EXPECT_THROW(sheet->GetShapes().AddPicture(kGreen90x60, true, false, 0, 0, 10, 10), RuntimeError);
    EXPECT_THROW(sheet->GetShapes().AddPicture(kGreen90x60, false, false, 0, 0, 10, 10), RuntimeError);
    EXPECT_THROW(sheet->GetShapes().AddPicture(kGreen90x60, false, true, 0, 0, -5, 10), RuntimeError);
    EXPECT_THROW(sheet->GetShapes().AddPicture(kGreen90x60, false, true, std::nan(""), 0, 5, 10), RuntimeError);
    EXPECT_THROW(picture->SetTop(std::numeric_limits<double>::infinity()), RuntimeError);
    // Huge positions end on the sheet's last cell.
    picture->SetTop(1e300);
    picture->SetLeft(1e300);
    EXPECT_LT(picture->Top(), 1e9);
}

TEST_F(EnginePictures, CutRemovesThePictureAndItsMedia) {
    auto book = app->GetWorkbooks().Add();
    auto sheet = book->ActiveSheet();
    auto keep = sheet->GetPictures().Insert(kGreen90x60);
    sheet->Cells(10, 1)->Select();
    auto cut = sheet->GetPictures().Insert(kRed200x100);
    cut->Select();
    app->GetSelection()->Cut();
    EXPECT_THROW(cut->Width(), RuntimeError);
    EXPECT_THROW(cut->Cut(), RuntimeError);
    // After the cut the selection is the sheet's selected cell again.
    EXPECT_NE(dynamic_cast<sheet::Range*>(app->GetSelection().get()), nullptr);
    book->SaveAs(saved);
    EXPECT_EQ(runPython(kDescribeImages, {saved}), "Sheet1 OneCellAnchor 0 0 0 0 0.0 0.0 90.0 60.0\nSheet1 charts 0\n");
    EXPECT_EQ(runPython(kZipListing, {saved}),
              "xl/drawings/_rels/drawing1.xml.rels xl/drawings/drawing1.xml xl/media/image1.png\nembedded\n");
    EXPECT_NEAR(keep->Width(), 90.0, 0.01);

    // A picture of a closed workbook refuses, it does not crash.
    book->Close(false);
    EXPECT_THROW(keep->Width(), RuntimeError);
    EXPECT_THROW(keep->SetTop(5), RuntimeError);
    EXPECT_THROW(keep->Select(), RuntimeError);
}

TEST_F(EnginePictures, FilesThatAreNoPictureAreRefusedByName) {
    auto book = app->GetWorkbooks().Add();
    auto sheet = book->ActiveSheet();
    const std::string notPicture = dataFile("pictures/not_a_picture.png");
    for (const std::string& file : {notPicture, dataFile("pictures/truncated.png")}) {
        try {
            sheet->GetPictures().Insert(file);
            ADD_FAILURE() << "no error for " << file;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), err::Application);
            EXPECT_NE(e.description().find(file), std::string::npos) << e.description();
        }
    }
    EXPECT_THROW(sheet->GetShapes().AddPicture(notPicture, false, true, 0, 0, 10, 10), RuntimeError);
    try {
        sheet->GetPictures().Insert(dir.file("missing.png"));
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::FileNotFound);
    }
    // Nothing half-added: the saved workbook holds no drawing at all.
    book->SaveAs(saved);
    EXPECT_EQ(runPython(kZipListing, {saved}), "\nembedded\n");
}

TEST_F(EnginePictures, NewPictureJoinsATemplateDrawingWithImageAndChart) {
    const std::string templ = dataFile("pictures/image_and_chart.xlsx");
    auto book = app->GetWorkbooks().Open(templ, Variant(false), true);
    auto sheet = book->ActiveSheet();
    sheet->Cells(20, 2)->Select();
    auto picture = sheet->GetPictures().Insert(kRed200x100);
    EXPECT_DOUBLE_EQ(picture->Top(), 19 * 15.0);
    EXPECT_DOUBLE_EQ(picture->Left(), 48.0);
    book->SaveAs(saved);
    const std::string images = runPython(kDescribeImages, {saved});
    EXPECT_EQ(images.substr(0, images.find('\n')), "Data OneCellAnchor 3 0 1 0 144.0 15.0 90.0 60.0");
    EXPECT_NE(images.find("Data OneCellAnchor 1 0 19 0 48.0 285.0 200.0 100.0\n"), std::string::npos) << images;
    EXPECT_NE(images.find("Data charts 1\n"), std::string::npos) << images;
    // Parts the insert did not touch are byte for byte the template's.
    const std::string compare = R"py(
import sys, zipfile
a, b = zipfile.ZipFile(sys.argv[1]), zipfile.ZipFile(sys.argv[2])
for n in sorted(a.namelist()):
    if n.startswith('xl/charts/') or n.startswith('xl/media/'):
        print(n, 'same' if a.read(n) == b.read(n) else 'changed')
)py";
    EXPECT_EQ(runPython(compare, {templ, saved}), "xl/charts/chart1.xml same\nxl/media/image1.png same\n");
}

TEST_F(EnginePictures, SummaryRouteSizesCellsToEmbeddedPictures) {
    // The later summary picture route, row after row: insert at the cell,
    // measure, cut, size row and column, add anew, place with the cell.
    auto book = app->GetWorkbooks().Add();
    auto sheet = book->ActiveSheet();
    const int rows = 40;
    for (int row = 2; row < 2 + rows; ++row) {
        auto cell = sheet->Cells(row, 2);
        cell->Select();
        auto inserted = sheet->GetPictures().Insert(kRed200x100);
        inserted->Select();
        const double width = std::round(inserted->Width());
        const double height = std::round(inserted->Height());
        app->GetSelection()->Cut();
        cell->SetRowHeight(height);
        cell->SetColumnWidth(width / 5);
        auto added = sheet->GetShapes().AddPicture(kRed200x100, false, true, cell->Left(), cell->Top(), width, height);
        added->Select();
        app->GetSelection()->SetPlacement(1);
        cell->Select();
        ASSERT_DOUBLE_EQ(added->Width(), 200.0);
        ASSERT_DOUBLE_EQ(added->Height(), 100.0);
    }
    book->SaveAs(saved);
    // Every picture sits at its cell's corner with 200 x 100 points; the cut
    // ones left no media behind.
    const std::string out = runPython(kDescribeImages, {saved});
    std::string expected;
    const double left = sheet->Cells(1, 2)->Left();
    for (int row = 2; row < 2 + rows; ++row) {
        char line[128];
        std::snprintf(line, sizeof line, "Sheet1 TwoCellAnchor 1 0 %d 0 %.1f %.1f 200.0 100.0\n", row - 1, left,
                      15.0 + (row - 2) * 100.0);
        expected += line;
    }
    EXPECT_EQ(out, expected + "Sheet1 charts 0\n");
    const std::string media = runPython(R"py(
import sys, zipfile
print(len([n for n in zipfile.ZipFile(sys.argv[1]).namelist() if n.startswith('xl/media/')]))
)py",
                                        {saved});
    EXPECT_EQ(media, std::to_string(rows) + "\n");
}

TEST_F(EnginePictures, TemplateSheetWithCommentAndTableGetsItsFirstDrawing) {
    auto book = app->GetWorkbooks().Open(dataFile("pictures/comment_and_table.xlsx"), Variant(false), true);
    book->ActiveSheet()->Cells(6, 1)->Select();
    book->ActiveSheet()->GetPictures().Insert(kBlueJpeg);
    book->SaveAs(saved);
    const std::string out = runPython(R"py(
import sys, zipfile, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.active
print(len(ws._images), ws['A1'].comment.text, ','.join(ws.tables.keys()))
sheet = zipfile.ZipFile(sys.argv[1]).read('xl/worksheets/sheet1.xml').decode()
order = [tag for tag in ('<drawing', '<legacyDrawing', '<tableParts') if tag in sheet]
print(' '.join(order), sorted(order, key=sheet.index) == order)
)py",
                                      {saved});
    EXPECT_EQ(out, "1 Keep me Values\n<drawing <legacyDrawing <tableParts True\n");
}

TEST_F(EnginePictures, DamagedTemplateDrawingIsAnErrorNamingTheFile) {
    const std::string damaged = dir.file("damaged.xlsx");
    runPython(R"py(
import sys, zipfile
src, dst = zipfile.ZipFile(sys.argv[1]), zipfile.ZipFile(sys.argv[2], 'w')
for item in src.infolist():
    data = src.read(item.filename)
    if item.filename == 'xl/drawings/drawing1.xml':
        data = data[:len(data) // 2]
    dst.writestr(item, data)
dst.close()
)py",
              {dataFile("pictures/image_and_chart.xlsx"), damaged});
    try {  // refused when the template is opened
        app->GetWorkbooks().Open(damaged, Variant(false), true);
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::Application);
        EXPECT_NE(e.description().find("damaged.xlsx"), std::string::npos) << e.description();
        EXPECT_NE(e.description().find("drawing1.xml"), std::string::npos) << e.description();
    }
}

}  // namespace
}  // namespace kbx::ooxml
