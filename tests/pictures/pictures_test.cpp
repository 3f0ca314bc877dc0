// Pictures and sheet copies through the automation interface on the engine,
// read back by openpyxl (and once opened by LibreOffice); the picture probe and
// the sheet-copy naming rules on their own.

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>

#include "engine/engine.h"
#include "ooxml/picture_probe.h"
#include "ooxml/sheet_copy_parts.h"
#include "ooxml/sheet_references.h"
#include "support/test_support.h"

namespace kbx::test {
namespace {

using Lines = std::vector<std::string>;
const std::string kRed = dataFile("red_200x100pt_72dpi.png");     // 200 x 100 points
const std::string kGreen = dataFile("green_120x80px_nodpi.png");  // 90 x 60 points
const std::string kBlue = dataFile("blue_300x150px_150dpi.jpg");  // 144 x 72 points

struct Pictures : ::testing::Test {
    TempDir dir;
    std::shared_ptr<sheet::Application> app = engine::createApplication();
    std::string saved = dir.file("out.xlsx");
    std::shared_ptr<sheet::Workbook> open(const std::string& name) {
        return app->GetWorkbooks().Open(dataFile(name), Variant(false), true);
    }
};

TEST(PictureProbe, FormatPixelsAndNaturalSizeOrARefusalNamingTheFile) {
    const std::tuple<const char*, ooxml::PictureFormat, int, int, double, double> rows[] = {
        {"red_200x100pt_72dpi.png", ooxml::PictureFormat::Png, 200, 100, 200.0, 100.0},  // 2835 px/m: 72.009 dpi
        {"green_120x80px_nodpi.png", ooxml::PictureFormat::Png, 120, 80, 90.0, 60.0},
        {"blue_300x150px_150dpi.jpg", ooxml::PictureFormat::Jpeg, 300, 150, 144.0, 72.0},
        {"yellow_64x32px.gif", ooxml::PictureFormat::Gif, 64, 32, 48.0, 24.0},
        {"cyan_40x20px_96dpi.bmp", ooxml::PictureFormat::Bmp, 40, 20, 30.0, 15.0},
    };
    for (const auto& [name, format, width, height, widthPoints, heightPoints] : rows) {
        const ooxml::PictureFile file = ooxml::readPictureFile(dataFile(name));
        EXPECT_EQ(file.picture.format, format) << name;
        EXPECT_EQ(file.picture.widthPixels * 1000 + file.picture.heightPixels, width * 1000 + height) << name;
        EXPECT_NEAR(file.picture.widthPoints(), widthPoints, 0.05) << name;
        EXPECT_NEAR(file.picture.heightPoints(), heightPoints, 0.05) << name;
    }
    for (const char* name : {"not_a_picture.png", "truncated.png", "make_data.py", ""}) {
        const RuntimeError e = errorOf([&] { ooxml::readPictureFile(dataFile(name)); });
        EXPECT_EQ(e.number(), *name ? err::Application : err::PathFileAccessError) << name;
        EXPECT_NE(e.description().find(dataFile(name)), std::string::npos) << e.description();
    }
    EXPECT_EQ(errorOf([] { ooxml::readPictureFile(dataFile("none.png")); }).number(), err::FileNotFound);
    // Magic bytes followed by garbage or by nothing: refused, never a crash.
    using namespace std::string_literals;
    for (const std::string& bytes :
         {""s, "\x89PNG\r\n\x1a\n"s, "\x89PNG\r\n\x1a\n\xff\xff\xff\xffIHDR"s, "\xff\xd8\xff\xe0\x00\x01"s,
          "\xff\xd8\xff\xe0\xff\xffJFIF"s, "GIF89a"s, "BM"s + std::string(60, '\xff')})
        EXPECT_THROW(ooxml::probePictureBytes(bytes), std::invalid_argument) << bytes.size() << " bytes";
}

TEST_F(Pictures, InsertPlacesTheNaturalSizeAtTheSelectedCellAndEmbedsTheFile) {
    auto book = app->GetWorkbooks().Add();
    auto sheet = book->ActiveSheet();
    sheet->GetPictures().Insert(kGreen);  // without a selection: at A1
    sheet->Cells(1, 3)->SetColumnWidth(20);
    sheet->Cells(2, 1)->SetRowHeight(30);
    sheet->Cells(4, 3)->Select();
    auto red = sheet->GetPictures().Insert(kRed);
    EXPECT_DOUBLE_EQ(red->Left(), 96.0);
    EXPECT_NEAR(red->Width(), 200.0, 0.05);
    sheet->GetPictures().Insert(kBlue);
    for (const std::string& bad : {dataFile("not_a_picture.png"), dataFile("truncated.png")})
        EXPECT_NE(errorOf([&] { sheet->GetPictures().Insert(bad); }).description().find(bad), std::string::npos);
    EXPECT_EQ(errorOf([&] { sheet->GetPictures().Insert(dir.file("missing.png")); }).number(), err::FileNotFound);
    book->SaveAs(saved);
    const ReadBack back(saved);
    EXPECT_EQ(back.images("Sheet1"), (Lines{"OneCellAnchor - A1+0,0 at 0.0,0.0 size 90.0x60.0",
                                            "OneCellAnchor - C4+0,0 at 96.0,60.0 size 144.0x72.0",
                                            "OneCellAnchor - C4+0,0 at 96.0,60.0 size 200.0x100.0"}));
    EXPECT_EQ(back.count("part xl/media/"), 3u);                          // nothing of the refused files
    EXPECT_EQ(back["part xl/media/image2.png"], ReadBack(kRed)["sha1"]);  // the file's own bytes
    EXPECT_EQ(back.count("part xl/drawings/"), 2u);                       // the drawing and its relationships
}

TEST_F(Pictures, AddPictureSizesMovesCutsAndFollowsItsCell) {
    auto book = app->GetWorkbooks().Add();
    auto sheet = book->ActiveSheet();
    auto cell = sheet->Cells(3, 2);
    cell->SetRowHeight(100);
    cell->SetColumnWidth(37.0);
    auto picture = sheet->GetShapes().AddPicture(kGreen, false, true, cell->Left(), cell->Top(), 200, 100);
    EXPECT_EQ(picture->Placement(), 2);
    picture->Select();
    app->GetSelection()->SetPlacement(1);  // moves and sizes with its cells
    auto cut = sheet->GetShapes().AddPicture(kRed, false, true, 0, 0, 10, 10);
    cut->Select();
    app->GetSelection()->Cut();
    EXPECT_NE(dynamic_cast<sheet::Range*>(app->GetSelection().get()), nullptr);  // the selected cell again
    EXPECT_EQ(errorOf([&] { cut->Width(); }).number(), err::Application);
    book->SaveAs(saved);
    ReadBack back(saved);
    EXPECT_EQ(back.images("Sheet1"), Lines{"TwoCellAnchor twoCell B3+0,0 at 48.0,30.0 size 200.0x100.0"});
    EXPECT_EQ(back.count("part xl/media/"), 1u);  // the cut picture's media went with it
    // A wider column stretches it; once move-only, Top and Left move it and keep its size.
    cell->SetColumnWidth(60.0);
    EXPECT_GT(picture->Width(), 200.0);
    picture->SetPlacement(2);
    const double width = picture->Width();
    picture->SetTop(0);
    picture->SetLeft(15.5);
    book->SaveAs(saved);
    char expected[96];
    std::snprintf(expected, sizeof expected, "OneCellAnchor - A1+15.5,0 at 15.5,0.0 size %.1fx100.0", width);
    const ReadBack moved(saved, {"xl/drawings/drawing1.xml"});
    EXPECT_EQ(moved.images("Sheet1"), Lines{expected});
    // The picture's own frame moved along: 15.5 points are 196850 EMU.
    EXPECT_NE(moved["xml xl/drawings/drawing1.xml"].find(R"(<a:xfrm><a:off x="196850" y="0"/><a:ext )"),
              std::string::npos)
        << moved["xml xl/drawings/drawing1.xml"];
}

TEST_F(Pictures, NewPicturesJoinTemplateDrawingsAndFirstDrawingsGoInSchemaOrder) {
    auto book = open("features.xlsx");
    auto parts = book->GetSheets().Item("Parts");
    parts->Cells(20, 2)->Select();
    auto picture = parts->GetPictures().Insert(kRed);
    EXPECT_DOUBLE_EQ(picture->Top(), 19 * 15.0);
    book->GetSheets().Item("Notes")->Cells(6, 1)->Select();
    book->GetSheets().Item("Notes")->GetPictures().Insert(kBlue);  // a sheet with comments and a table
    book->SaveAs(saved);
    const ReadBack back(saved, {"xl/worksheets/sheet3.xml"});
    EXPECT_EQ(back.images("Parts"), (Lines{"OneCellAnchor - B20+0,0 at 48.0,285.0 size 200.0x100.0",
                                           "OneCellAnchor - E3+0,0 at 192.0,30.0 size 90.0x60.0"}));
    EXPECT_EQ(back["charts Parts"], "1");
    const ReadBack original(dataFile("features.xlsx"));
    for (const char* part : {"part xl/charts/chart1.xml", "part xl/media/image1.png"})
        EXPECT_EQ(back[part], original[part]);
    EXPECT_EQ(back.images("Notes"), Lines{"OneCellAnchor - A6+0,0 at 0.0,75.0 size 144.0x72.0"});
    EXPECT_EQ(back["comment Notes!A1"], "Keep me");
    const std::string xml = back["xml xl/worksheets/sheet3.xml"];
    EXPECT_LT(xml.find("<drawing"), xml.find("<legacyDrawing"));
    EXPECT_LT(xml.find("<legacyDrawing"), xml.find("<tableParts"));
    // A template drawing cut short is refused at open, naming the file and the part.
    runPython(readFile(dataFile("make_data.py")), {"bad-packages", dataFile(""), dir.path().string()});
    const RuntimeError e =
        errorOf([&] { app->GetWorkbooks().Open(dir.file("drawing_cut_short.xlsx"), Variant(false), true); });
    EXPECT_NE(e.description().find("drawing_cut_short.xlsx"), std::string::npos) << e.description();
    EXPECT_NE(e.description().find("drawing1.xml"), std::string::npos) << e.description();
}

TEST_F(Pictures, SheetCopiesKeepPicturesCommentsTablesAndPrintSettings) {
    auto book = open("features.xlsx");
    auto parts = book->GetSheets().Item("Parts");
    auto added = parts->GetShapes().AddPicture(kGreen, false, true, 10, 20, 90, 60);  // goes along with the copy
    parts->Copy(*parts);
    parts->Copy(*parts);
    book->GetSheets().Item("Parts (3)")->Copy(*parts);  // a copy of a copy counts on
    book->GetSheets().Item("Cover")->Copy(*book->GetSheets().Item("Notes"));
    EXPECT_EQ(book->ActiveSheet()->Name(), "Cover (2)");
    added->Cut();  // the copies keep theirs, which share its media
    book->GetSheets().Item("Parts (2)")->Cells(12, 1)->Select();
    book->GetSheets().Item("Parts (2)")->GetPictures().Insert(kRed);  // the copy's drawing is its own
    book->SaveAs(saved);
    const ReadBack back(saved);
    EXPECT_EQ(back["sheets"], "Cover,Parts (2),Parts (3),Parts (4),Parts,Cover (2),Notes");
    for (const std::string copy : {"Parts (2)", "Parts (3)", "Parts (4)"}) {
        SCOPED_TRACE(copy);
        EXPECT_EQ(back["images " + copy], copy == "Parts (2)" ? "3" : "2");
        EXPECT_EQ(back["comment " + copy + "!A1"], "Checked by QA");
        EXPECT_EQ(back["printarea " + copy], "$A$1:$F$20");
        EXPECT_EQ(back["titles " + copy], "1:2");
        EXPECT_EQ(back.value(copy + "!A6"), "Bolt");
    }
    EXPECT_EQ(back["images Parts"], "1");
    EXPECT_EQ(back["printarea Notes"], "$A$1:$B$5");
    EXPECT_EQ(back["name PartCount@"], "Parts!$B$6:$B$8");
    std::set<std::string> tables;  // every table has a name of its own
    for (const std::string sheet : {"Parts", "Parts (2)", "Parts (3)", "Parts (4)"})
        for (const std::string name : {"PartsTable", "PartsTable_2", "PartsTable_3", "PartsTable_4"})
            if (back.has("table " + sheet + "!" + name)) tables.insert(name);
    EXPECT_EQ(tables.size(), 4u);
    EXPECT_EQ(back.count("part xl/tables/"), 5u);
}

TEST(SheetCopyNames, NumberedWithin31CharactersAndReferencesRepointed) {
    std::set<std::string> taken = {"Parts (2)", "Parts (3)"};
    const auto isTaken = [&](const std::string& name) { return taken.count(name) > 0; };
    EXPECT_EQ(ooxml::sheetCopyName("Parts", isTaken), "Parts (4)");
    EXPECT_EQ(ooxml::sheetCopyName("Year (1999)", isTaken), "Year (2000)");
    EXPECT_EQ(ooxml::sheetCopyName(std::string(31, 'x'), isTaken), std::string(27, 'x') + " (2)");
    std::string umlauts;
    for (int i = 0; i < 30; ++i) umlauts += "\xc3\xa4";  // shortened between characters, not inside one
    EXPECT_EQ(ooxml::sheetCopyName(umlauts, isTaken), umlauts.substr(0, 54) + " (2)");
    const std::pair<const char*, const char*> formulas[] = {
        {"'Parts'!$A$1:$F$20", "'Parts (2)'!$A$1:$F$20"},
        {"Parts!$1:$2,parts!$A:$A", "'Parts (2)'!$1:$2,'Parts (2)'!$A:$A"},
        {"MyParts!A1+'Parts x'!A1", "MyParts!A1+'Parts x'!A1"},  // other sheets, literals, other books stay
        {"\"Parts!A1\"&Parts", "\"Parts!A1\"&Parts"},
        {"[1]Parts!A1", "[1]Parts!A1"},
        {"SUM('unterminated", "SUM('unterminated"}};
    for (const auto& [formula, repointed] : formulas)
        EXPECT_EQ(ooxml::repointSheetReferences(formula, "Parts", "Parts (2)"), repointed) << formula;
    EXPECT_EQ(ooxml::repointSheetReferences("'Bob''s'!A1", "Bob's", "Bob's (2)"), "'Bob''s (2)'!A1");
}

// LibreOffice shows each picture at its cell with its size and keeps the copied sheet.
TEST_F(Pictures, LibreOfficeSeesPicturesAndCopiedSheetsAsSaved) {
    REQUIRE_CONVERTER();
    auto book = open("features.xlsx");
    auto parts = book->GetSheets().Item("Parts");
    parts->Copy(*parts);
    auto copy = book->ActiveSheet();
    copy->Cells(12, 3)->Select();
    copy->GetPictures().Insert(kRed);
    auto cell = copy->Cells(20, 2);
    cell->SetRowHeight(100);
    copy->GetShapes().AddPicture(kBlue, false, true, cell->Left(), cell->Top(), 150, 72)->SetPlacement(1);
    book->SaveAs(saved);
    ASSERT_TRUE(convertFiles("xlsx", dir.file("lo"), {saved}));
    const ReadBack ours(saved), theirs(dir.file("lo/out.xlsx"));
    // Anchor cell and frame size in whole points of every picture of a sheet.
    const auto placed = [](const ReadBack& book, const std::string& sheet) {
        Lines found;
        for (int i = 0; book.has("image " + sheet + "#" + std::to_string(i)); ++i) {
            std::istringstream words(book["image " + sheet + "#" + std::to_string(i)]);
            std::string kind, edit, cell;
            words >> kind >> edit >> cell;
            std::string extent = book["imageext " + sheet + "#" + std::to_string(i)];
            if (extent.empty()) extent = words.str().substr(words.str().rfind(' ') + 1);  // the anchor's size
            if (edit == "twoCell") {  // sized by its cells, which each program measures its own way
                found.push_back(cell.substr(0, cell.find('+')) + " with its cells");
                continue;
            }
            found.push_back(cell.substr(0, cell.find('+')) + " " + std::to_string(std::lround(std::stod(extent))) +
                            "x" + std::to_string(std::lround(std::stod(extent.substr(extent.find('x') + 1)))));
        }
        std::sort(found.begin(), found.end());
        return found;
    };
    for (const std::string sheet : {"Cover", "Parts (2)", "Parts", "Notes"})
        EXPECT_EQ(placed(theirs, sheet), placed(ours, sheet)) << sheet;
    EXPECT_EQ(theirs["comment Parts (2)!A1"], "Checked by QA");
    EXPECT_EQ(theirs.count("table Parts (2)!"), 1u);
}

}  // namespace
}  // namespace kbx::test
