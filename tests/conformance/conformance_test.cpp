// The methods on openpyxl-made templates through the embedded engine: names in
// any letter case, Null names, odd paths, macros, what a call leaves the user.

#include <QJsonDocument>
#include <QJsonObject>
#include <array>
#include <filesystem>
#include <sstream>

#include "automation/kest_db_bom_excel.h"
#include "cli/commands.h"
#include "engine/engine.h"
#include "session/excel_references.h"
#include "support/test_support.h"
#include "value/text_case.h"

namespace kbx::test {
namespace {

namespace fs = std::filesystem;

// Values of `refs` on `sheet` as the shared reader sees them, one a line.
std::string cellsOf(const std::string& file, const std::string& sheet, const std::vector<std::string>& refs) {
    const ReadBack back(file);
    std::string lines;
    for (const std::string& ref : refs) lines += back.value(sheet + "!" + ref) + "\n";
    return lines;
}

// "macros|plain HAS_VBA_PART HAS_VBA_LINK" and the sheet names of a package.
std::string packageOf(const std::string& file) {
    const ReadBack back(file, {"[Content_Types].xml", "xl/_rels/workbook.xml.rels"});
    const auto holds = [](const std::string& text, const char* what) {
        return text.find(what) != std::string::npos ? "True" : "False";
    };
    const bool macros = back["xml [Content_Types].xml"].find("macroEnabled.main+xml") != std::string::npos;
    return std::string(macros ? "macros " : "plain ") + (back.has("part xl/vbaProject.bin") ? "True " : "False ") +
           holds(back["xml xl/_rels/workbook.xml.rels"], "vbaProject") + "\n" + back["sheets"] + "\n";
}

// The templates, made once for all tests.
const TempDir& templates() {
    static const TempDir* dir = [] {
        auto* made = new TempDir;
        runPython(readFile(dataFile("conformance/workbooks.py")), {made->path().string()});
        return made;
    }();
    return *dir;
}

struct RecordingPresenter : session::Presenter {
    void Present(const std::string& file) override { presented.push_back(file); }
    std::vector<std::string> presented;
};

// One call's world: the engine, recorded messages and presentations, TEMP.
struct Call {
    const TempDir& made = templates();  // before TEMP changes
    TempDir dir;
    EnvGuard temp{"TEMP", dir.path().string()};
    PlatformGuard guard;
    std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
    automation::KestDBBomExcel server;
    Call() {
        session::platform().createApplication = engine::createApplication;
        session::platform().presenter = presenter;
    }
    // A template made here, else a committed data file.
    std::string copy(const std::string& name, const std::string& as) {
        fs::copy_file(fs::exists(templates().file(name)) ? templates().file(name) : dataFile(name), dir.file(as));
        return dir.file(as);
    }
    std::string messages() const {
        std::string all;
        for (const ShownMessage& m : guard.messages->shown) all += m.text + "\n";
        return all;
    }
};

Variant list(std::vector<Variant> items) { return Variant::array(std::move(items)); }
const std::string kFilled = "Getriebe\n1\nWelle\n2\nRad\n";
std::string filledCells(const std::string& file, const std::string& sheet) {
    return cellsOf(file, sheet, {"A1", "A3", "B3", "A4", "B4"});
}

TEST(Conformance, LetterCaseOfNamesFollowsUnicodeAlsoInExportAsTxt2) {
    EXPECT_EQ(upperCase("łożyska maße"), "ŁOŻYSKA MAßE");
    EXPECT_TRUE(equalIgnoringCase("ςίγμα", "ΣΊΓΜΑ"));
    EXPECT_FALSE(equalIgnoringCase("Liste", "Lista"));
    EXPECT_EQ(lowerCase("A\xC3(\xFF\xE2\x82"), "a\xC3(\xFF\xE2\x82");  // not UTF-8: byte for byte
    Call run;
    EXPECT_EQ(run.server.ExportAsTxt2(templates().file("names.xlsx"), run.dir.file("out.txt"), "łożyska"), 0);
    EXPECT_EQ(readFile(run.dir.file("out.txt")), "$head:title\t\n\t\n$pos:posnr\t$pos:name\n");
}

TEST(Conformance, ExportBomExcelFindsTheProfileAndHandsOverWhatItKeepsOpen) {
    struct Row {
        std::string profile;
        int32_t EmBed, Clos;
        bool presented;
    };
    for (const Row& row :
         {Row{"STÜCKLISTE", 0, 1, true}, Row{"stückliste", 1, 1, false}, Row{"ŁOŻYSKA", 0, 0, false}}) {
        Call run;
        std::string book = run.copy("names.xlsx", "book.xlsx");
        EXPECT_EQ(run.server.ExportBomExcel(list({"title"}), list({"Getriebe"}), 2, list({"posnr", "name"}),
                                            list({1, "Welle", 2, "Rad"}), book, 0, "", row.EmBed, row.profile, 0, "",
                                            row.Clos, ""),
                  1);
        EXPECT_EQ(run.messages(), "") << row.profile;
        EXPECT_EQ(run.presenter->presented, row.presented ? std::vector{book} : std::vector<std::string>{});
        EXPECT_EQ(filledCells(book, upperCase(row.profile) == "ŁOŻYSKA" ? "Łożyska" : "Stückliste"), kFilled);
    }
}

TEST(Conformance, ExportPlain2NamesNullsFailuresAndHeldWorkbooks) {
    const Variant posNames = list({Variant::null(), "posnr", "name", Variant::null(), "posnr", "name"});
    const Variant posVals = list({"x", 1, "Welle", "y", 2, "Rad"});
    const auto exportTo = [&](Call& run, const std::string& target, int32_t recordSize) {
        return run.server.ExportPlain2(list({Variant::null(), Variant(), "title"}), list({"a", "b", "Getriebe"}),
                                       recordSize, posNames, posVals, run.copy("names.xlsx", "template.xlsx"),
                                       run.dir.file("out.xlsx"), 0, 0, 30, 0, target);
    };
    {  // Unicode upper case of the target, Null names skipped
        Call run;
        EXPECT_EQ(exportTo(run, "STÜCKLISTE", 3).asInteger(), 1);
        EXPECT_EQ(run.messages(), "");
        EXPECT_EQ(filledCells(run.dir.file("out.xlsx"), "Stückliste"), kFilled);
    }
    {  // no such sheet: the saved, unfilled output is left to the user
        Call run;
        exportTo(run, "Lager", 3);
        EXPECT_EQ(run.messages(), "Failed to obtain sheet object 'LAGER' from Excel....\n");
        EXPECT_EQ(run.presenter->presented, std::vector{run.dir.file("out.xlsx")});
    }
    {  // failing its input check, the call leaves a workbook held from before alone
        Call run;
        session::ExcelReferences& refs = session::excelReferences();
        refs.ExcelApp = engine::createApplication();
        refs.ExcelBook = refs.ExcelApp->GetWorkbooks().Open(run.copy("names.xlsx", "held.xlsx"), Variant(), false);
        const std::shared_ptr<sheet::Workbook> held = refs.ExcelBook;
        exportTo(run, "", 0);
        EXPECT_EQ(run.messages(), "Division by zero\n");
        EXPECT_EQ(refs.ExcelBook, held);
        EXPECT_EQ(held->GetSheets().Count(), 3);  // still open
    }
}

TEST(Conformance, SummaryRefusesToOverwriteItsTemplateAndKeepsAStartedTemplate) {
    for (const std::string spelling : {"template.xlsx", "./template.xlsx", "link.xlsx"}) {
        Call run;
        const std::string templ = run.copy("names.xlsx", "template.xlsx");
        fs::create_hard_link(templ, run.dir.file("link.xlsx"));
        const RuntimeError error = errorOf([&] {
            run.server.CreateSummaryExcel(list({"posnr"}), list({"Pos"}), list({1}), 1, templ, run.dir.file(spelling),
                                          0, 0, 0);
        });
        EXPECT_EQ(error.number(), err::InvalidCall) << spelling;
        EXPECT_TRUE(fs::exists(templ));
    }
    Call run;
    EXPECT_EQ(errorOf([&] {
                  run.server.CreateSummaryTemplate(list({"posnr", Variant::null()}));
              }).number(),
              err::InvalidUseOfNull);
    ASSERT_EQ(run.presenter->presented.size(), 1u);
    EXPECT_EQ(cellsOf(run.presenter->presented[0], "Sheet1", {"A1", "A2", "B1"}), "$head:posnr\n$pos:posnr\n\n");
}

// The output is written in the format its extension names, whatever the
// template's; another extension keeps the template's format. The same for a
// copy of the whole workbook (outputs "copy.*"), which leaves the workbook as it was.
TEST(Conformance, ExportPlain2AndExportAsTxtWriteTheFormatTheOutputNames) {
    const std::array<std::string, 3> rows[] = {
        {"macros.xlsm", "out.xlsx", "plain False False\nSheet,Template\n"},
        {"names.xlsx", "out.xlsm", "macros False False\nDeckblatt,Template,Stückliste,Łożyska\n"},
        {"macros.xlsm", "out.list", "macros True True\nSheet,Template\n"},
        {"macros.xlsm", "copy.XLSX", "plain False False\nSheet\n"},
        {"three_sheets.xls", "out.xlsx", "plain False False\nKopf,Liste,Notizen,Template\n"},  // converter rows last
        {"names.xlsx", "out.xls", "xls"},
        {"names.xlsx", "out.ods", "ods"},
        {"three_sheets.xls", "copy.xlsx", "plain False False\nKopf,Liste,Notizen\n"},
    };
    for (const auto& [name, output, format] : rows) {
        if (name.ends_with(".xls")) REQUIRE_CONVERTER();
        Call run;
        const std::string out = run.dir.file(output);
        if (output.starts_with("copy.")) {
            EXPECT_EQ(run.server.ExportAsTxt(run.copy(name, name), out), -1);
        } else {
            run.server.ExportPlain2(list({"title"}), list({"Getriebe"}), 2, list({"posnr", "name"}), list({1, "Welle"}),
                                    run.copy(name, name), out, 0, 0, 30, 0, "");
        }
        EXPECT_EQ(run.messages(), "") << output;
        const bool ods = readFile(out).find("mimetypeapplication/vnd.oasis.opendocument") != std::string::npos;
        EXPECT_EQ(isOle2File(out) ? "xls" : ods ? "ods" : packageOf(out), format) << name << " to " << output;
    }
    Call run;
    const std::string source = run.copy("macros.xlsm", "macros.xlsm");
    auto book = engine::createApplication()->GetWorkbooks().Open(source, Variant(false), false);
    book->SaveCopyAs(run.dir.file("copy.xlsx"));
    book->Save();
    EXPECT_EQ(packageOf(source), "macros True True\nSheet\n");
}

// kestbomex get-bom-params in this process: OK with the template typed in.
QJsonObject getBomParams(const QStringList& args) {
    automation::KestDBBomExcel object;
    std::istringstream in;
    std::ostringstream out, err;
    cli::runCommandLine(QStringList{"get-bom-params"} + args, in, out, err,
                        [&object](const automation::MethodSpec& method, const std::vector<Variant>& arguments) {
                            return automation::invokeMethod(object, method, arguments);
                        });
    return QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).object();
}

TEST(Conformance, GetBomParamsTakesPathsLiterallyAndWritesTheFormatAsked) {
    struct Row {
        std::string name;
        QStringList args;
        int embed, reverse;
        std::string package;
    };
    for (const Row& row : {Row{"a[1]*?\\b.xlsm", {"--hint", "XLSX", "--reverse", "1"}, 0, 1, "plain False False"},
                           Row{"macros.xlsm", {"--hint", "XLSM", "--embed", "1"}, 1, 0, "macros True True"}}) {
        Call run;
        const QJsonObject answer =
            getBomParams(QStringList{QString::fromStdString(run.copy("macros.xlsm", row.name))} + row.args);
        EXPECT_EQ(run.messages(), "") << row.name;
        EXPECT_EQ(answer["EmBed"].toInt(), row.embed);
        EXPECT_EQ(answer["reverse"].toInt(), row.reverse);
        std::string copy = answer["ExcelFileName"].toString().toStdString();
        EXPECT_EQ(packageOf(copy), row.package + "\nSheet\n");
        // Filled and saved in place, the working copy keeps its format.
        EXPECT_EQ(
            run.server.ExportBomExcel(list({}), list({}), 1, list({}), list({}), copy, 0, "", 1, "", 0, "", 1, ""), 1);
        EXPECT_EQ(packageOf(copy), row.package + "\nSheet\n");
    }
    Call run;  // a pattern that a file matches is still no file
    run.copy("names.xlsx", "names.xlsx");
    const QJsonObject answer = getBomParams({QString::fromStdString(run.dir.file("*.xlsx")), "--embed", "0"});
    EXPECT_EQ(run.messages(), "Invalid filename\n");
    EXPECT_EQ(answer["result"].toInt(), 1);
    EXPECT_EQ(answer["ExcelFileName"].toString(), "");
}

}  // namespace
}  // namespace kbx::test
