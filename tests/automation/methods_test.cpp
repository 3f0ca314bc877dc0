// What a host sees of each method besides its files: the messages shown, the
// log, the run-time error and the references kept; and the engine
// applications behind the references freed once nothing can reach them.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "automation/kest_db_bom_excel.h"
#include "dialog/bom_options_dialog.h"
#include "engine/engine.h"
#include "session/excel_references.h"
#include "support/test_support.h"

namespace kbx::test {
namespace {

using Lines = std::vector<std::string>;

const Variant kNames = array({"posnr", "name", "bmp"});
const Variant kRecord = array({1, "Bolt", ""});

// The calls of the table, on copies of the templates in the test directory.
struct Caller {
    automation::KestDBBomExcel server;
    std::string dir;
    std::string at(const std::string& name) const { return dir + "/" + name; }
    void plain(int32_t size, const Variant& values, const std::string& output = "out.xlsx",
               const std::string& templ = "plain.xlsx", const std::string& target = "", const Variant& names = kNames) {
        server.ExportPlain2(kNames, kNames, size, names, values, at(templ), at(output), 0, 0, 10, 0, target);
    }
    void summary(int32_t size, const Variant& values, int32_t perSheet = 0, const std::string& templ = "summary.xlsx") {
        server.CreateSummaryExcel(kNames, kNames, values, size, at(templ), at("out.xlsx"), 0, 0, perSheet);
    }
    void fill(const std::string& file, const std::string& profile = "Parts", const Variant& values = kRecord,
              int32_t Clos = 1) {
        std::string path = at(file);
        server.ExportBomExcel(kNames, kNames, 3, kNames, values, path, 0, "", 1, profile, 0, "", Clos, "");
    }
    void workingCopy(const std::string& templ, std::string hint = "xlsx", int32_t embed = 0) {
        const std::string path = at(templ);
        if (!templ.empty())
            dialog::setBomOptionsDialogFactory(
                [path] { return std::make_unique<dialog::AnsweredBomOptionsDialog>(path); });
        Variant profiles;
        int32_t reverse = 0;
        std::string templte;
        server.GetBomParams("/data", profiles, reverse, embed, templte, hint);
        dialog::resetBomOptionsDialogFactory();
    }
};

// One call and its outcome as lines "error N", "message TEXT", "log LINE" and
// "kept app book" (the references still set). "@" stands for the test
// directory, a trailing "*" for any rest of the line.
struct Row {
    const char* name;
    void (*call)(Caller&);
    std::string outcome;
};

// The log of GetBomParams up to opening the template the user chose.
const std::string kDialogAnswered =
    "log Entering GetBomParams\nlog Trying to show dialog\nlog Closed dialog\nlog Getting control settings\n"
    "log Trying to get ExcelObject\nlog Successfully obtained Excel COM object\n";

const Row kRows[] = {
    {"template fill, kept and filled again by a call naming another file",
     [](Caller& c) {
         c.fill("fill.xlsx", "Parts", kRecord, 0);
         c.fill("other.xlsx");
     },
     "log Entering ExportBomExcel, trying to write @/fill.xlsx\n"
     "log Trying to open: @/fill.xlsx\n"
     "log Leaving ExportBOMExcel\n"
     "log Entering ExportBomExcel, trying to write @/other.xlsx\n"
     "log Trying to open: @/other.xlsx\n"
     "log '@/other.xlsx' was not written: the workbook '@/fill.xlsx' that an earlier call kept (Clos = 0) is "
     "filled and saved instead\n"
     "log Leaving ExportBOMExcel\n"},
    {"template fill, missing workbook", [](Caller& c) { c.fill("none.xlsx"); },
     "message Failed to obtain COM object to Workbook from Excel\n"
     "log Entering ExportBomExcel, trying to write @/none.xlsx\n"
     "log Trying to open: @/none.xlsx\n"
     "log Failed to obtain COM object to Workbook from Excel\n"
     "log 53: File not found: '@/none.xlsx'\n"
     "kept app\n"},
    {"template fill, profile the workbook lacks", [](Caller& c) { c.fill("fill.xlsx", "Stückliste"); },
     "error 9\n"
     "log Entering ExportBomExcel, trying to write @/fill.xlsx\n"
     "log Trying to open: @/fill.xlsx\n"
     "kept app book\n"},
    {"template fill, values no array", [](Caller& c) { c.fill("fill.xlsx", "Parts", Variant("1;2")); },
     "error 13\n"
     "log Entering ExportBomExcel, trying to write @/fill.xlsx\n"},
    {"plain list", [](Caller& c) { c.plain(3, kRecord); },
     "log Entering ExportPlain\n"
     "log Trying to open: @/plain.xlsx\n"
     "log Leaving ExportBOMExcel\n"},
    {"plain list, names of one record",
     [](Caller& c) {
         c.plain(3, array({1, "Bolt", "", 2, "Nut", ""}));
     },
     "log Entering ExportPlain\n"
     "log Trying to open: @/plain.xlsx\n"
     "log In '@/out.xlsx', record 2 was not written: PosNames holds 3 names for 6 values; the plain export reads "
     "one name per value\n"
     "log Leaving ExportBOMExcel\n"},
    {"plain list without a position number",
     [](Caller& c) {
         c.plain(2, array({"Bolt", "", "Nut", ""}), "out.xlsx", "plain.xlsx", "", array({"name", "bmp"}));
     },
     "log Entering ExportPlain\n"
     "log Trying to open: @/plain.xlsx\n"
     "log In '@/out.xlsx', records 1 to 2 were not written: PosNames holds no field 'posnr'\n"
     "log Leaving ExportBOMExcel\n"},
    {"plain list over its template", [](Caller& c) { c.plain(3, kRecord, "./plain.xlsx"); },
     "message The output file '@/./plain.xlsx' is the template file itself; choose another output file, the "
     "template is left as it is.\n"
     "log Entering ExportPlain\n"},
    {"plain list, missing template", [](Caller& c) { c.plain(3, kRecord, "out.xlsx", "none.xlsx"); },
     "message Failed to obtain COM object to Workbook from Excel\n"
     "log Entering ExportPlain\n"
     "log Trying to open: @/none.xlsx\n"
     "log Failed to obtain COM object to Workbook from Excel\n"
     "log 53: File not found: '@/none.xlsx'\n"
     "kept app\n"},
    {"plain list, unknown target sheet", [](Caller& c) { c.plain(3, kRecord, "out.xlsx", "plain.xlsx", "Nope"); },
     "message Failed to obtain sheet object 'NOPE' from Excel....\n"
     "log Entering ExportPlain\n"
     "log Trying to open: @/plain.xlsx\n"},
    {"plain list, values no array", [](Caller& c) { c.plain(3, Variant("x")); },
     "message Type mismatch\n"
     "log Entering ExportPlain\n"},
    {"plain list, record size 0", [](Caller& c) { c.plain(0, kRecord); },
     "message Division by zero\n"
     "log Entering ExportPlain\n"},
    {"plain list, record size -1", [](Caller& c) { c.plain(-1, kRecord); },
     "message Subscript out of range\n"
     "log Entering ExportPlain\n"
     "log Trying to open: @/plain.xlsx\n"
     "kept app\n"},
    {"plain list, record size beyond the names", [](Caller& c) { c.plain(1 << 30, kRecord); },
     "message Subscript out of range\n"
     "log Entering ExportPlain\n"
     "log Trying to open: @/plain.xlsx\n"
     "kept app\n"},
    {"plain list, position number no number",
     [](Caller& c) {
         c.plain(3, array({"abc", "x", ""}));
     },
     "message Type mismatch\n"
     "log Entering ExportPlain\n"
     "log Trying to open: @/plain.xlsx\n"
     "kept app\n"},
    {"plain list, no picture",
     [](Caller& c) {
         c.plain(3, array({1, "Bolt", c.at("bad.png")}));
     },
     "message The file \"@/bad.png\" cannot be inserted as a picture: *\n"
     "log Entering ExportPlain\n"
     "log Trying to open: @/plain.xlsx\n"
     "kept app\n"},
    {"summary", [](Caller& c) { c.summary(3, kRecord); },
     "log Entering CreateSummaryExcel\n"
     "log Trying to open: @/summary.xlsx\n"
     "log Leaving CreateSummaryExcel\n"},
    {"summary, template without a position row", [](Caller& c) { c.summary(3, kRecord, 0, "fill.xlsx"); },
     "log Entering CreateSummaryExcel\n"
     "log Trying to open: @/fill.xlsx\n"
     "log In '@/out.xlsx', record 1 was not written: the template sheet 'Cover' has no '$pos:' cell in A1:BH60\n"
     "log Leaving CreateSummaryExcel\n"},
    {"summary, missing template", [](Caller& c) { c.summary(3, kRecord, 0, "none.xlsx"); },
     "message Failed to obtain COM object to Workbook from Excel\n"
     "log Entering CreateSummaryExcel\n"
     "log Trying to open: @/none.xlsx\n"
     "log Failed to obtain COM object to Workbook from Excel\n"
     "log 53: File not found: '@/none.xlsx'\n"
     "kept app\n"},
    {"summary, no picture",
     [](Caller& c) {
         c.summary(3, array({1, "Bolt", c.at("bad.png")}));
     },
     "log Entering CreateSummaryExcel\n"
     "log Trying to open: @/summary.xlsx\n"
     "log The file \"@/bad.png\" cannot be inserted as a picture: *\n"
     "log Leaving CreateSummaryExcel\n"},
    {"summary, record size beyond the sheet", [](Caller& c) { c.summary(1 << 30, kRecord); },
     "log Entering CreateSummaryExcel\n"
     "log Trying to open: @/summary.xlsx\n"
     "log Subscript out of range\n"
     "log Leaving CreateSummaryExcel\n"},
    {"summary, record size 0", [](Caller& c) { c.summary(0, kRecord); },
     "error 11\n"
     "log Entering CreateSummaryExcel\n"},
    {"summary, record size -1", [](Caller& c) { c.summary(-1, kRecord); },
     "error 5\n"
     "log Entering CreateSummaryExcel\n"},
    {"summary, positions per sheet -1", [](Caller& c) { c.summary(3, kRecord, -1); },
     "error 5\n"
     "log Entering CreateSummaryExcel\n"},
    {"working copy", [](Caller& c) { c.workingCopy("fill.xlsx"); },
     kDialogAnswered + "log Trying to open: @/fill.xlsx\n"
                       "log Successfully loaded template: @/fill.xlsx\n"
                       "log Making Excel visible\n"
                       "log After making Excel visible\n"
                       "log Redim of sheet array\n"
                       "log Obtaining sheetnames from Excel\n"
                       "log Deleting Exceloutput: @/*\n"
                       "log Saving Excelfile\n"
                       "log Closing Excelfile\n"
                       "log Now assigning string array to variant\n"
                       "log Assigned string array to variant\n"
                       "log Leaving GetBomParams\n"},
    {"working copy, missing template", [](Caller& c) { c.workingCopy("none.xlsx"); },
     "message Invalid filename\n"
     "log Entering GetBomParams\n"
     "log Trying to show dialog\n"
     "log Closed dialog\n"
     "log Leaving GetBomParams\n"},
    {"working copy, template no workbook", [](Caller& c) { c.workingCopy("bad.png"); },
     "message Failed to obtain Workbook from Excel (Open Failure?) File = @/bad.png\n" + kDialogAnswered +
         "log Trying to open: @/bad.png\n"},
    {"working copy without a display", [](Caller& c) { c.workingCopy(""); },
     "message The BOM options dialog cannot be shown without a display; GetBomParams ends as if cancelled.\n"
     "log Entering GetBomParams\n"
     "log Trying to show dialog\n"
     "log Closed dialog\n"
     "log Leaving GetBomParams\n"},
    {"working copy of another type", [](Caller& c) { c.workingCopy("", "xlsb"); },
     "error 5\n"
     "log Entering GetBomParams\n"},
    {"working copy, check box state 5", [](Caller& c) { c.workingCopy("", "xls", 5); },
     "error 380\n"
     "log Entering GetBomParams\n"},
    {"copies write no log", [](Caller& c) { c.server.ExportAsTxt2(c.at("fill.xlsx"), c.at("fill.txt"), "Parts"); }, ""},
};

TEST(Methods, MessagesLogErrorsAndReferencesOfEachOutcome) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        MethodRun run;
        for (const char* name : {"plain.xlsx", "summary.xlsx", "fill.xlsx"}) copyData(run.dir, name);
        copyData(run.dir, "not_a_picture.png", "bad.png");
        Caller caller{automation::KestDBBomExcel(), run.dir.path().string()};
        std::string outcome;
        if (const int32_t number = errorOf([&] { row.call(caller); }).number())
            outcome += "error " + std::to_string(number) + "\n";
        for (const std::string& text : run.messages()) outcome += "message " + text + "\n";
        for (const std::string& line : run.log()) outcome += "log " + line + "\n";
        const session::ExcelReferences& refs = session::excelReferences();
        if (refs.ExcelApp) outcome += std::string("kept app") + (refs.ExcelBook ? " book" : "") + "\n";
        std::istringstream actual(outcome), expected(row.outcome);
        for (std::string want, got; std::getline(expected, want);) {
            for (size_t at = want.find('@'); at != std::string::npos; at = want.find('@'))
                want.replace(at, 1, caller.dir);
            got.clear();
            std::getline(actual, got);
            EXPECT_EQ(got.substr(0, want.ends_with('*') ? want.size() - 1 : got.size()),
                      want.ends_with('*') ? want.substr(0, want.size() - 1) : want);
        }
        EXPECT_EQ(actual.tellg() < 0 ? std::string() : outcome.substr(actual.tellg()), "") << "more than expected";
    }
}

// The output of an earlier call is replaced only by saving the new one.
TEST(Methods, AnEarlierOutputOutlivesACallThatCannotOpenItsTemplate) {
    MethodRun run;
    Caller caller{automation::KestDBBomExcel(), run.dir.path().string()};
    for (void (*call)(Caller&) : {+[](Caller& c) { c.plain(3, kRecord, "out.xlsx", "none.xlsx"); },
                                  +[](Caller& c) { c.summary(3, kRecord, 0, "none.xlsx"); }}) {
        std::ofstream(caller.at("out.xlsx")) << "earlier";
        call(caller);
        EXPECT_EQ(readFile(caller.at("out.xlsx")), "earlier");
    }
}

// A workbook left open once the references are dropped can never be reached
// again: the engine application behind it is freed when the method returns.
// What someone still holds stays open and usable; ReleaseExcel never quits.
TEST(Methods, EngineWorkbooksNobodyHoldsAreFreedAndHeldOnesStayOpen) {
    MethodRun run;
    std::vector<std::weak_ptr<sheet::Application>> made;
    session::platform().createApplication = [&made] {
        std::shared_ptr<sheet::Application> app = engine::createApplication();
        made.push_back(app);
        return app;
    };
    automation::KestDBBomExcel server;
    server.ReleaseExcel();  // nothing held: no effect
    std::string file = copyData(run.dir, "fill.xlsx");
    // Not embedded, closing asked: the workbook is left open, the references dropped.
    server.ExportBomExcel(kNames, kNames, 3, kNames, kRecord, file, 0, "", 0, "Parts", 0, "", 1, "");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_TRUE(made[0].expired());
    // Kept by the references (Clos 0), and by a sheet held from outside past ReleaseExcel.
    server.ExportBomExcel(kNames, kNames, 3, kNames, kRecord, file, 0, "", 0, "Parts", 0, "", 0, "");
    ASSERT_EQ(made.size(), 2u);
    std::shared_ptr<sheet::Worksheet> sheet = session::excelReferences().ExcelBook->ActiveSheet();
    automation::KestDBBomExcel().ReleaseExcel();  // the references are the process's, not the instance's
    EXPECT_FALSE(session::excelReferences().ExcelApp);
    ASSERT_FALSE(made[1].expired());
    EXPECT_EQ(sheet->Cells(1, 1)->Text(), "$head:title");
    EXPECT_EQ(made[1].lock()->GetWorkbooks().Count(), 1);
    sheet.reset();
    server.ReleaseExcel();
    EXPECT_TRUE(made[1].expired());
}

}  // namespace
}  // namespace kbx::test
