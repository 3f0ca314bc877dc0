// The placeholder fill on the engine: fill.xlsx (openpyxl) filled through the
// class, read back by openpyxl. Messages and the log: tests/automation.

#include <gtest/gtest.h>

#include <array>

#include "automation/kest_db_bom_excel.h"
#include "engine/engine.h"
#include "fillcommon/copy_cell.h"
#include "fillcommon/placeholder.h"
#include "session/excel_references.h"
#include "support/test_support.h"

namespace kbx::test {
namespace {

using Lines = std::vector<std::string>;

// The data set of one call; tests change what they need.
struct Data {
    Variant headNames =
        array({Variant("drawno"), Variant("title"), Variant("weight"), Variant("Owner"), Variant("title")});
    Variant headVals = array({Variant("KB-1"), Variant("first"), Variant(12.5), Variant("Kim"), Variant("Gear")});
    int32_t recordSize = 3;
    Variant posNames = array({Variant("posnr"), Variant("name"), Variant("qty")});
    Variant posVals = array({Variant(1), Variant("Bolt"), Variant(4), Variant(2), Variant("Nut"), Variant(4.5),
                             Variant(3), Variant("Washer"), Variant(8)});
};

Variant numbers(int32_t count) {
    std::vector<Variant> values;
    for (int32_t i = 0; i < count; ++i) values.emplace_back(i);
    return Variant::array(values);
}

struct FillRun : MethodRun {
    std::string file = copyData(dir, "fill.xlsx");
    automation::KestDBBomExcel server;
    int32_t run(const std::string& profile, int32_t reverse = 0, int32_t embed = 1, int32_t clos = 1,
                const std::string& sheetName = "", const Data& data = Data(), std::string target = "") {
        if (target.empty()) target = file;
        return server.ExportBomExcel(data.headNames, data.headVals, data.recordSize, data.posNames, data.posVals,
                                     target, 0, "", embed, profile, reverse, "", clos, sheetName);
    }
};

TEST(ExportBomExcel, FillsHeadersAndPositionsAndKeepsTheRestOfTheTemplate) {
    FillRun run;
    ASSERT_EQ(run.run("Parts", 0, 1, 1, "Parts"), 1);
    const ReadBack book(run.file);
    // Header values as text, the last of equal names winning; unknown or upper-case
    // names and cells outside rows 1-57 / columns 1-50 keep their placeholder.
    book.expect({"sheets=Cover,Parts,Reverse,Groups", "active=Parts", "value Parts!A1=KB-1", "value Parts!B1=Gear",
                 "type Parts!D1=str", "value Parts!D1=12.5", "value Parts!E1=$head:owner", "value Parts!AX1=KB-1",
                 "value Parts!AY1=$head:drawno", "value Parts!A57=Gear", "value Parts!A58=$head:title",
                 "value Parts!A60=$pos:posnr", "value Parts!A3=$pos:posnr", "value Cover!A1=$head:title"});
    // One row per position from the lower position row down, in its model's format.
    EXPECT_EQ(book.column("Parts", "A", 6), (Lines{"1", "2", "3"}));
    book.expect({"value Parts!B8=Washer", "value Parts!C7=4.5", "type Parts!C7=float", "type Parts!A7=int",
                 "italic Parts!B7=1", "halign Parts!B7=left", "halign Parts!C8=right", "fmt Parts!B7=@"});
    for (const char* cell : {"Parts!A6", "Parts!A7", "Parts!A8"})
        book.expect({"bold " + std::string(cell) + "=1", "size " + std::string(cell) + "=12",
                     "color " + std::string(cell) + "=FFFF0000", "halign " + std::string(cell) + "=center",
                     "valign " + std::string(cell) + "=top", "fmt " + std::string(cell) + "=@"});
    // What the fill does not touch stays.
    book.expect({"value Parts!D6=keep", "value Parts!D8=untouched", "border Parts!A1=thin,thin,thin,thin",
                 "border Parts!D6=thin,thin,thin,thin", "border Parts!A6=thin,thin,thin,thin", "merged Parts=B1:C1",
                 "images Parts=1", "printarea Parts=$A$1:$E$20"});
}

// Row 2 of Parts holds formulas over the position block and the header; the
// saved workbook stores their results, as openpyxl reads them.
TEST(ExportBomExcel, FormulasOverThePositionsAreSavedWithTheirResults) {
    FillRun run;
    Data data;
    std::vector<Variant> positions;
    for (int32_t n = 1; n <= 10; ++n)
        positions.insert(positions.end(),
                         {Variant(n), Variant(std::array{"Bolt", "Nut", "Washer"}[(n - 1) % 3]), Variant(n)});
    data.posVals = Variant::array(positions);
    ASSERT_EQ(run.run("Parts", 0, 1, 1, "", data), 1);
    const ReadBack book(run.file, {"xl/workbook.xml"}, ReadBack::Cells::Computed);
    // Quantities 1 to 10: 55, an average of 5.5; Bolt at 1, 4, 7 and 10, Washer at 3, 6 and 9
    // (LibreOffice computes the same from the same cells).
    book.expect({"value Parts!A2=10", "value Parts!B2=55", "value Parts!C2=small", "value Parts!D2=1.83",
                 "value Parts!E2=KB-1 (10)", "value Parts!F2=22", "value Parts!G2=3", "value Parts!C15=10"});
    EXPECT_EQ(book["xml xl/workbook.xml"].find("fullCalcOnLoad"), std::string::npos);
    for (const std::string& line : run.log()) EXPECT_EQ(line.find("not computed"), std::string::npos) << line;
}

TEST(ExportBomExcel, ReverseMirrorsFromRowOneAndKeepsTheCellBesideTheBlock) {
    FillRun run;
    Data data;
    data.headNames = array({Variant("title")});
    data.headVals = array({Variant("T")});
    data.recordSize = 2;
    data.posNames = array({Variant("n"), Variant("m")});
    data.posVals = array({Variant(1), Variant("a"), Variant(2), Variant("b"), Variant(3), Variant("c")});
    ASSERT_EQ(run.run("Reverse", 1, 1, 1, "", data), 1);
    // Rows 1-6 (position row 4, three positions) are mirrored: r -> 7 - r.
    ReadBack(run.file).expect(
        {"value Reverse!A6=T", "value Reverse!A5=Header 2", "bold Reverse!A5=1", "value Reverse!A3=1",
         "value Reverse!A1=3", "value Reverse!B1=c", "italic Reverse!A1=1", "halign Reverse!A1=right",
         "italic Reverse!A6=", "value Reverse!A4=", "value Reverse!C1=beside", "bold Reverse!C1=1",
         "size Reverse!C1=14", "halign Reverse!C1=right", "valign Reverse!C1=center"});
}

TEST(ExportBomExcel, IncompleteLastRecordEqualFieldNamesAndTheActiveSheet) {
    FillRun run;
    Data data;
    data.posNames = array({Variant("f0"), Variant("f2"), Variant("f2")});  // the later of equal names wins
    data.posVals = numbers(7);
    ASSERT_EQ(run.run("Groups", 0, 1, 1, "", data), 1);
    ASSERT_EQ(run.run("", 0, 1, 1, "parts"), 1);  // the active sheet; the name differs in case: not activated
    const ReadBack book(run.file);
    EXPECT_EQ(book.column("Groups", "A", 2), (Lines{"0", "3", "6"}));
    EXPECT_EQ(book.column("Groups", "C", 2), (Lines{"2", "5"}));
    book.expect({"value Groups!B2=$pos:f1", "value Cover!A1=Gear", "active=Cover", "value Parts!A1=$head:drawno"});
}

TEST(ExportBomExcel, ClosAndEmBedDecideWhatStaysOpen) {
    struct Row {
        int32_t clos, embed, openWorkbooks;
        bool referencesKept;
    };
    for (const Row& row : {Row{0, -1, 1, true}, Row{1, 0, 1, false}, Row{1, -1, 0, false}, Row{1, 1, 0, false}}) {
        SCOPED_TRACE("Clos " + std::to_string(row.clos) + ", EmBed " + std::to_string(row.embed));
        FillRun run;
        const std::shared_ptr<sheet::Application> app = engine::createApplication();
        session::excelReferences().ExcelApp = app;
        ASSERT_EQ(run.run("Parts", 0, row.embed, row.clos), 1);
        EXPECT_EQ(app->GetWorkbooks().Count(), row.openWorkbooks);
        EXPECT_EQ(session::excelReferences().ExcelApp != nullptr, row.referencesKept);
        EXPECT_EQ(session::excelReferences().ExcelBook != nullptr, row.referencesKept);
        EXPECT_EQ(ReadBack(run.file).value("Parts!A1"), "KB-1");  // saved in every case
        if (row.embed != -1) {
            EXPECT_TRUE(toBoolean(app->Get(sheet::AppSetting::Visible)));
        }
        EXPECT_EQ(app->Calculation(), sheet::xl::CalculationAutomatic);
    }
}

TEST(ExportBomExcel, AnUnwritableFolderFailsTheSaveWithTheWorkbookFilledButUnsaved) {
    FillRun run;
    std::filesystem::create_directory(run.dir.file("locked"));
    const std::string file = copyData(run.dir, "fill.xlsx", "locked/fill.xlsx");
    int number = 0;
    {
        Unwritable locked(run.dir.file("locked"));
        if (!locked.effective()) GTEST_SKIP() << "cannot make a folder unwritable here";
        number = errorOf([&] { run.run("Parts", 0, 1, 1, "", Data(), file); }).number();
    }
    EXPECT_TRUE(number == err::PermissionDenied || number == err::PathFileAccessError) << number;
    const session::ExcelReferences& refs = session::excelReferences();
    ASSERT_TRUE(refs.ExcelBook && refs.ExcelApp);
    EXPECT_TRUE(toBoolean(refs.ExcelApp->Get(sheet::AppSetting::DisplayAlerts)));  // restored before the save
    EXPECT_EQ(refs.ExcelBook->GetSheets().Item("Parts")->Cells(1, 1)->Text(), "KB-1");
    EXPECT_EQ(ReadBack(file).value("Parts!A1"), "$head:drawno");
    EXPECT_EQ(fileNames(run.dir.file("locked")), Lines{"fill.xlsx"});
}

TEST(ExportBomExcel, BadDataSetsFailTheCall) {
    struct Row {
        const char* profile;
        Variant headNames, headVals;
        int32_t recordSize;
        Variant posNames, posVals;
        int error;
        const char* positionCell;  // the text of the model cell of the position row afterwards
    };
    const Variant names = array({Variant("posnr")});
    const Row rows[] = {
        {"Parts", Variant("no array"), array({Variant("A")}), 1, names, numbers(1), err::TypeMismatch, "$pos:posnr"},
        {"Parts", array({Variant("x"), Variant("drawno")}), array({Variant("X")}), 1, names, numbers(1),
         err::SubscriptOutOfRange, "$pos:posnr"},
        {"Parts", array({Variant("x")}), array({}), 2, names, numbers(1), err::SubscriptOutOfRange, "0"},
        {"Parts", array({}), array({}), 1, Variant::array({Variant("posnr")}, 1), numbers(1), err::SubscriptOutOfRange,
         "$pos:posnr"},
        {"Parts", array({}), array({}), INT32_MIN, names, numbers(3), 0, "$pos:posnr"},  // nothing written
        {"Parts", array({}), array({}), INT32_MAX, names, numbers(3), err::SubscriptOutOfRange, "0"},
        {"Groups", Variant("no array"), Variant(), 1, array({Variant("f0")}), numbers(1), 0, "0"},  // no header: unread
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(&row - rows));
        FillRun run;
        Data data{row.headNames, row.headVals, row.recordSize, row.posNames, row.posVals};
        EXPECT_EQ(errorOf([&] { run.run(row.profile, 0, 0, 0, "", data); }).number(), row.error);
        const int32_t positionRow = std::string(row.profile) == "Parts" ? 6 : 2;
        auto sheet = session::excelReferences().ExcelBook->GetSheets().Item(row.profile);
        EXPECT_EQ(sheet->Cells(positionRow, 1)->Text(), row.positionCell);
    }
}

// The cell copy that carries a model cell's look down the position rows, on
// the engine: raw value, every font property (a colour outside the palette,
// super- and subscript) and the alignment; not the number format or font name.
TEST(CopyCell, CarriesValueFontAndAlignment) {
    MethodRun run;
    auto app = engine::createApplication();
    auto book = app->GetWorkbooks().Add();
    auto ws = book->ActiveSheet();
    const auto model = [&](int32_t row, sheet::FontProperty script) {
        auto cell = ws->Cells(row, 1);
        cell->SetValue(Variant(Date{45000.5}));
        cell->SetNumberFormat("dd.mm.yyyy");
        for (auto [property, value] : {std::pair{sheet::FontProperty::Color, Variant(int32_t{0x563412})},
                                       {sheet::FontProperty::Bold, Variant(true)},
                                       {sheet::FontProperty::Size, Variant(12.0)},
                                       {script, Variant(true)},
                                       {sheet::FontProperty::Underline, Variant(sheet::xl::UnderlineStyleDouble)}})
            cell->GetFont()->Set(property, value);
        cell->SetHorizontalAlignment(Variant(sheet::xl::HAlignCenter));
        cell->SetVerticalAlignment(Variant(sheet::xl::VAlignTop));
        fillcommon::CopyCell(*ws->Cells(row, 2), *cell);
    };
    model(1, sheet::FontProperty::Superscript);
    model(2, sheet::FontProperty::Subscript);
    EXPECT_EQ(ws->Cells(1, 2)->Value(), Variant(45000.5));  // the serial, not a date
    book->SaveAs(run.dir.file("copy.xlsx"));
    ReadBack(run.dir.file("copy.xlsx"))
        .expect({"value Sheet1!B1=45000.5", "fmt Sheet1!B1=", "color Sheet1!B1=FF123456", "bold Sheet1!B1=1",
                 "size Sheet1!B1=12", "vert Sheet1!B1=superscript", "vert Sheet1!B2=subscript",
                 "underline Sheet1!B1=double", "halign Sheet1!B1=center", "valign Sheet1!B1=top"});
}

TEST(Placeholder, KindAndNameInLowerCase) {
    const std::pair<const char*, const char*> rows[] = {
        {"$head:drawno", "head|drawno"},
        {"$POS:Qty", "pos|qty"},
        {"$pos:qty:old", "pos|qty"},
        {"$note:x", "note|x"},
        {"$head:", "head|"},
        {"$Pos:ÄNDERUNG", "pos|änderung"},
        {"$pos", "none"},
        {"pos:qty", "none"},
        {" $pos:qty", "none"},
        {"", "none"},
        {"$", "none"},
    };
    for (const auto& [text, expected] : rows) {
        const auto p = fillcommon::ParsePlaceholder(text);
        EXPECT_EQ(p ? p->kind + "|" + p->name : "none", expected) << text;
    }
    EXPECT_TRUE(fillcommon::FieldNameMatches(Variant(int32_t{7}), "7"));
    EXPECT_FALSE(fillcommon::FieldNameMatches(Variant("Qty"), "qty"));
    EXPECT_FALSE(fillcommon::FieldNameMatches(Variant::null(), "qty"));
    EXPECT_THROW(fillcommon::FieldNameMatches(Variant::array({}), "qty"), RuntimeError);
}

}  // namespace
}  // namespace kbx::test
