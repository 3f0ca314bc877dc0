// What a host sees of each method besides its files: the messages shown, the
// log, the run-time error and the references kept; and the engine
// applications behind the references freed once nothing can reach them.

#include <gtest/gtest.h>

#include "automation/kest_db_bom_excel.h"
#include "dialog/bom_options_dialog.h"
#include "engine/engine.h"
#include "session/excel_references.h"
#include "support/test_support.h"

namespace kbx::test {
namespace {

using Lines = std::vector<std::string>;

// One call and what it leaves. In texts "@" stands for the test directory and
// a trailing "*" for any rest of the line.
struct Row {
    const char* name;
    std::function<void(KestDBBomExcel&, const std::string& dir)> call;
    int error;  // the run-time error the call raises, 0 for none
    Lines messages;
    Lines log;
    const char* references;  // which of ExcelApp and ExcelBook stay set: "", "app", "app book"
};

const Variant kNames = array({Variant("posnr"), Variant("name"), Variant("bmp")});
const Variant kRecord = array({Variant(int32_t{1}), Variant("Bolt"), Variant("")});

void plain(KestDBBomExcel& s, const std::string& dir, int32_t size, const Variant& values, const std::string& output,
           const std::string& templ = "plain.xlsx", const std::string& target = "") {
    s.ExportPlain2(array({Variant("title")}), array({Variant("T")}), size, kNames, values, dir + "/" + templ, output, 0,
                   0, 10, 0, target);
}

void summary(KestDBBomExcel& s, const std::string& dir, int32_t size, const Variant& values, int32_t perSheet = 0,
             const std::string& templ = "summary.xlsx") {
    s.CreateSummaryExcel(kNames, kNames, values, size, dir + "/" + templ, dir + "/out.xlsx", 0, 0, perSheet);
}

void fill(KestDBBomExcel& s, std::string file, const std::string& profile = "Parts", const Variant& values = kRecord) {
    s.ExportBomExcel(array({Variant("title")}), array({Variant("T")}), 3, kNames, values, file, 0, "", 1, profile, 0,
                     "", 1, "");
}

void workingCopy(KestDBBomExcel& s, const std::string& templ, std::string hint = "xlsx", int32_t embed = 0) {
    if (!templ.empty())
        dialog::setBomOptionsDialogFactory([templ] { return std::make_unique<dialog::AnsweredBomOptionsDialog>(templ, 0, 0); });
    Variant profiles;
    int32_t reverse = 0;
    std::string templte;
    s.GetBomParams("/data", profiles, reverse, embed, templte, hint);
}

const Lines kWorkingCopySteps = {"Entering GetBomParams",  "Trying to show dialog",           "Closed dialog",
                                 "Getting control settings", "Trying to get ExcelObject",
                                 "Successfully obtained Excel COM object"};

Lines concat(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

const Row kRows[] = {
    {"template fill", [](auto& s, auto& d) { fill(s, d + "/fill.xlsx"); }, 0, {},
     {"Entering ExportBomExcel, trying to write @/fill.xlsx", "Trying to open: @/fill.xlsx", "Leaving ExportBOMExcel"}, ""},
    {"template fill, missing workbook", [](auto& s, auto& d) { fill(s, d + "/none.xlsx"); }, 0,
     {"Failed to obtain COM object to Workbook from Excel"},
     {"Entering ExportBomExcel, trying to write @/none.xlsx", "Trying to open: @/none.xlsx"}, "app"},
    {"template fill, profile the workbook lacks", [](auto& s, auto& d) { fill(s, d + "/fill.xlsx", "Stückliste"); },
     err::SubscriptOutOfRange, {}, {"Entering ExportBomExcel, trying to write @/fill.xlsx", "Trying to open: @/fill.xlsx"},
     "app book"},
    {"template fill, values no array", [](auto& s, auto& d) { fill(s, d + "/fill.xlsx", "Parts", Variant("1;2")); },
     err::TypeMismatch, {}, {"Entering ExportBomExcel, trying to write @/fill.xlsx"}, ""},
    {"plain list", [](auto& s, auto& d) { plain(s, d, 3, kRecord, d + "/out.xlsx"); }, 0, {},
     {"Entering ExportPlain", "Trying to open: @/plain.xlsx", "Leaving ExportBOMExcel"}, ""},
    {"plain list over its template", [](auto& s, auto& d) { plain(s, d, 3, kRecord, d + "/./plain.xlsx"); }, 0,
     {"The output file '@/./plain.xlsx' is the template file itself; choose another output file, the template is "
      "left as it is."},
     {"Entering ExportPlain"}, ""},
    {"plain list, missing template", [](auto& s, auto& d) { plain(s, d, 3, kRecord, d + "/out.xlsx", "none.xlsx"); }, 0,
     {"Failed to obtain COM object to Workbook from Excel"}, {"Entering ExportPlain", "Trying to open: @/none.xlsx"},
     "app"},
    {"plain list, unknown target", [](auto& s, auto& d) { plain(s, d, 3, kRecord, d + "/o.xlsx", "plain.xlsx", "Nope"); },
     0, {"Failed to obtain sheet object 'NOPE' from Excel...."}, {"Entering ExportPlain", "Trying to open: @/plain.xlsx"},
     ""},
    {"plain list, values no array", [](auto& s, auto& d) { plain(s, d, 3, Variant("x"), d + "/out.xlsx"); }, 0,
     {"Type mismatch"}, {"Entering ExportPlain"}, ""},
    {"plain list, record size 0", [](auto& s, auto& d) { plain(s, d, 0, kRecord, d + "/out.xlsx"); }, 0,
     {"Division by zero"}, {"Entering ExportPlain"}, ""},
    {"plain list, record size -1", [](auto& s, auto& d) { plain(s, d, -1, kRecord, d + "/out.xlsx"); }, 0,
     {"Subscript out of range"}, {"Entering ExportPlain", "Trying to open: @/plain.xlsx"}, "app"},
    {"plain list, record size beyond the names", [](auto& s, auto& d) { plain(s, d, 1 << 30, kRecord, d + "/o.xlsx"); },
     0, {"Subscript out of range"}, {"Entering ExportPlain", "Trying to open: @/plain.xlsx"}, "app"},
    {"plain list, position number no number",
     [](auto& s, auto& d) { plain(s, d, 3, array({Variant("abc"), Variant("x"), Variant("")}), d + "/out.xlsx"); }, 0,
     {"Type mismatch"}, {"Entering ExportPlain", "Trying to open: @/plain.xlsx"}, "app"},
    {"plain list, no picture",
     [](auto& s, auto& d) { plain(s, d, 3, array({Variant(1), Variant("x"), Variant(d + "/bad.png")}), d + "/o.xlsx"); },
     0, {"The file \"@/bad.png\" cannot be inserted as a picture: *"},
     {"Entering ExportPlain", "Trying to open: @/plain.xlsx"}, "app"},
    {"summary", [](auto& s, auto& d) { summary(s, d, 3, kRecord); }, 0, {},
     {"Entering CreateSummaryExcel", "Trying to open: @/summary.xlsx", "Leaving CreateSummaryExcel"}, ""},
    {"summary, missing template", [](auto& s, auto& d) { summary(s, d, 3, kRecord, 0, "none.xlsx"); }, 0,
     {"Failed to obtain COM object to Workbook from Excel"}, {"Entering CreateSummaryExcel", "Trying to open: @/none.xlsx"},
     "app"},
    {"summary, no picture",
     [](auto& s, auto& d) { summary(s, d, 3, array({Variant(1), Variant("x"), Variant(d + "/bad.png")})); }, 0, {},
     {"Entering CreateSummaryExcel", "Trying to open: @/summary.xlsx",
      "The file \"@/bad.png\" cannot be inserted as a picture: *", "Leaving CreateSummaryExcel"},
     ""},
    {"summary, record size beyond the sheet", [](auto& s, auto& d) { summary(s, d, 1 << 30, kRecord); }, 0, {},
     {"Entering CreateSummaryExcel", "Trying to open: @/summary.xlsx", "Subscript out of range",
      "Leaving CreateSummaryExcel"},
     ""},
    {"summary, record size 0", [](auto& s, auto& d) { summary(s, d, 0, kRecord); }, err::DivisionByZero, {},
     {"Entering CreateSummaryExcel"}, ""},
    {"summary, record size -1", [](auto& s, auto& d) { summary(s, d, -1, kRecord); }, err::InvalidCall, {},
     {"Entering CreateSummaryExcel"}, ""},
    {"summary, positions per sheet -1", [](auto& s, auto& d) { summary(s, d, 3, kRecord, -1); }, err::InvalidCall, {},
     {"Entering CreateSummaryExcel"}, ""},
    {"working copy", [](auto& s, auto& d) { workingCopy(s, d + "/fill.xlsx"); }, 0, {},
     concat(kWorkingCopySteps,
            {"Trying to open: @/fill.xlsx", "Successfully loaded template: @/fill.xlsx", "Making Excel visible",
             "After making Excel visible", "Redim of sheet array", "Obtaining sheetnames from Excel",
             "Deleting Exceloutput: @/*", "Saving Excelfile", "Closing Excelfile",
             "Now assigning string array to variant", "Assigned string array to variant", "Leaving GetBomParams"}),
     ""},
    {"working copy, missing template", [](auto& s, auto& d) { workingCopy(s, d + "/none.xlsx"); }, 0,
     {"Failed to obtain Workbook from Excel (Open Failure?) File = @/none.xlsx"},
     concat(kWorkingCopySteps, {"Trying to open: @/none.xlsx"}), ""},
    {"working copy without a display", [](auto& s, auto&) { workingCopy(s, ""); }, 0, {dialog::kNoDisplayMessage},
     {"Entering GetBomParams", "Trying to show dialog", "Closed dialog", "Leaving GetBomParams"}, ""},
    {"working copy of another type", [](auto& s, auto&) { workingCopy(s, "", "xlsb"); }, err::InvalidCall, {},
     {"Entering GetBomParams"}, ""},
    {"working copy, check box state 5", [](auto& s, auto&) { workingCopy(s, "", "xls", 5); }, 380, {},
     {"Entering GetBomParams"}, ""},
    {"copies", [](auto& s, auto& d) { s.ExportAsTxt2(d + "/fill.xlsx", d + "/fill.txt", "Parts"); }, 0, {}, {}, ""},
};

// Expected lines with "@" expanded; lines ending in "*" compare up to it.
void expectLines(const Lines& actual, const Lines& expected, const std::string& dir) {
    ASSERT_EQ(actual.size(), expected.size()) << ::testing::PrintToString(actual);
    for (size_t i = 0; i < expected.size(); ++i) {
        std::string line = expected[i];
        for (size_t at = line.find('@'); at != std::string::npos; at = line.find('@', at + dir.size()))
            line.replace(at, 1, dir);
        if (line.ends_with('*'))
            EXPECT_EQ(actual[i].substr(0, line.size() - 1), line.substr(0, line.size() - 1));
        else
            EXPECT_EQ(actual[i], line);
    }
}

TEST(Methods, MessagesLogErrorsAndReferencesOfEachOutcome) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        MethodRun run;
        for (const char* name : {"plain.xlsx", "summary.xlsx", "fill.xlsx"}) copyData(run.dir, name);
        copyData(run.dir, "not_a_picture.png", "bad.png");
        KestDBBomExcel server;
        const std::string dir = run.dir.path().string();
        int error = 0;
        try {
            row.call(server, dir);
        } catch (const RuntimeError& e) {
            error = e.number();
        }
        dialog::resetBomOptionsDialogFactory();
        EXPECT_EQ(error, row.error);
        expectLines(run.messages(), row.messages, dir);
        expectLines(run.log(), row.log, dir);
        const session::ExcelReferences& refs = session::excelReferences();
        EXPECT_EQ(std::string(refs.ExcelApp ? "app" : "") + (refs.ExcelBook ? " book" : ""), row.references);
    }
}

// A workbook left open once the references are dropped can never be reached
// again: the engine application behind it is freed when the method returns.
// What someone still holds stays open and usable; ReleaseExcel never quits.
TEST(Methods, EngineWorkbooksNobodyHoldsAreFreedAndHeldOnesStayOpen) {
    MethodRun run;
    std::vector<std::weak_ptr<sheet::Application>> made;
    session::platform().createApplication = [&made] {
        std::shared_ptr<sheet::Application> app = createEngineApplication();
        made.push_back(app);
        return app;
    };
    KestDBBomExcel server;
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
    KestDBBomExcel().ReleaseExcel();  // the references are the process's, not the instance's
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
