// LibreOffice opens what the engine wrote: pictures sit at the same cells
// and keep their size, and a copied sheet keeps its comment and table.

#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/engine_objects.h"
#include "support/test_support.h"

namespace kbx::ooxml {
namespace {

using test::dataFile;
using test::runPython;

bool libreOfficeInstalled() { return std::system("command -v soffice >/dev/null 2>&1") == 0; }

// Converts `file` to .xlsx with LibreOffice into `outDir` (own profile, so
// that other LibreOffice runs do not interfere).
bool convertWithLibreOffice(const test::TempDir& dir, const std::string& file, const std::string& outDir) {
    const std::string command = "timeout 180 soffice --headless --norestore -env:UserInstallation=file://" +
                                dir.file("profile") + " --convert-to xlsx --outdir '" + outDir + "' '" + file + "' >'" +
                                dir.file("soffice.log") + "' 2>&1";
    return std::system(command.c_str()) == 0;
}

// For every sheet: its pictures in both files, matched by their anchor cell;
// "same" when LibreOffice keeps the cell and the size (within half a point)
// of a picture that does not size with its cells, and both corner cells of
// one that does. Then the copied sheet's comment and table as LibreOffice
// wrote them.
const char* kCompare = R"py(
import sys, zipfile, re, openpyxl
def pictures(path):
    wb = openpyxl.load_workbook(path)
    out = {}
    for ws in wb.worksheets:
        found = []
        for img in ws._images:
            a = img.anchor
            kind = type(a).__name__
            if kind == 'AbsoluteAnchor':
                found.append(('abs', round(a.pos.x / 12700), round(a.pos.y / 12700), a.ext.width / 12700, a.ext.height / 12700))
                continue
            edit = getattr(a, 'editAs', None)
            sized = kind == 'TwoCellAnchor' and edit in (None, 'twoCell')
            absolute = kind == 'TwoCellAnchor' and edit == 'absolute'
            if sized:
                found.append(('sized', a._from.col, a._from.row, a.to.col, a.to.row))
            elif absolute:
                found.append(('abs', None, None, img.width, img.height))
            else:
                w = a.ext.width / 12700 if kind == 'OneCellAnchor' else None
                h = a.ext.height / 12700 if kind == 'OneCellAnchor' else None
                found.append(('cell', a._from.col, a._from.row, w, h))
        out[ws.title] = found
    return out
ours, theirs = pictures(sys.argv[1]), pictures(sys.argv[2])
def xfrm_sizes(path):
    z = zipfile.ZipFile(path)
    sizes = []
    for n in sorted(z.namelist()):
        if n.startswith('xl/drawings/drawing'):
            sizes += [(int(cx) / 12700, int(cy) / 12700) for cx, cy in re.findall(rb'<a:ext cx="(\d+)" cy="(\d+)"', z.read(n))]
    return sizes
lo_sizes = xfrm_sizes(sys.argv[2])
for title in ours:
    mine, lo = ours[title], theirs.get(title, [])
    verdict = 'same' if len(mine) == len(lo) else 'count %d != %d' % (len(mine), len(lo))
    for m in mine:
        if m[0] == 'cell':
            match = [l for l in lo if l[1:3] == m[1:3]]
            ok = any(any(abs(w - m[3]) <= 0.5 and abs(h - m[4]) <= 0.5 for (w, h) in lo_sizes) for l in match)
        elif m[0] == 'sized':
            ok = any(l[0] == 'sized' and l[1:] == m[1:] for l in lo)
        else:
            ok = any(abs(w - m[3]) <= 0.5 and abs(h - m[4]) <= 0.5 for (w, h) in lo_sizes)
        if not ok:
            verdict = 'differs: %r in %r' % (m, lo)
    print(title, len(mine), verdict)
wb = openpyxl.load_workbook(sys.argv[2])
ws = wb['Parts (2)']
print(ws['A1'].comment.text if ws['A1'].comment else '-', sorted(t.ref for t in ws.tables.values()))
)py";

TEST(LibreOffice, ShowsPicturesAtTheirCellsAndKeepsCopiedSheets) {
    if (!libreOfficeInstalled()) GTEST_SKIP() << "soffice (LibreOffice) is not installed";
    auto app = std::make_shared<EngineApplication>();
    test::TempDir dir;
    auto book = app->GetWorkbooks().Open(dataFile("pictures/copy_source.xlsx"), Variant(false), true);
    auto parts = book->GetSheets().Item("Parts");
    parts->Copy(*parts);
    auto copy = book->ActiveSheet();
    copy->Cells(12, 3)->Select();
    copy->GetPictures().Insert(dataFile("pictures/red_200x100pt_72dpi.png"));
    auto cell = copy->Cells(20, 2);
    cell->SetRowHeight(100);
    auto sized = copy->GetShapes().AddPicture(dataFile("pictures/blue_300x150px_150dpi.jpg"), false, true, cell->Left(),
                                              cell->Top(), 150, 72);
    sized->SetPlacement(1);
    auto free = copy->GetShapes().AddPicture(dataFile("pictures/yellow_64x32px.gif"), false, true, 400, 30, 48, 24);
    free->SetPlacement(3);
    const std::string ours = dir.file("ours.xlsx");
    book->SaveAs(ours);

    const std::string outDir = dir.file("lo");
    ASSERT_TRUE(convertWithLibreOffice(dir, ours, outDir)) << test::readFile(dir.file("soffice.log"));
    EXPECT_EQ(runPython(kCompare, {ours, outDir + "/ours.xlsx"}),
              "Cover 0 same\n"
              "Parts (2) 4 same\n"
              "Parts 1 same\n"
              "Notes 0 same\n"
              "Checked by QA ['A5:C8']\n");
    app->Quit();
}

}  // namespace
}  // namespace kbx::ooxml
