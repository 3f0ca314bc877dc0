#include "dialog/get_bom_params.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dialog/bom_options_dialog.h"
#include "dialog/fake_spreadsheet.h"
#include "dialog/split_path.h"
#include "log/write_log.h"
#include "session/excel_references.h"
#include "support/test_support.h"
#include "value/runtime_error.h"

namespace kbx {
namespace {

using dialog::BomOptions;

// Answers the dialog the way a test wants and remembers what it was shown.
struct DialogScript {
    bool pressOk = true;
    std::optional<std::string> typeTemplate;
    std::optional<int32_t> setReverse;
    std::optional<int32_t> setEmbed;
    std::vector<BomOptions> shown;
};

class ScriptedDialog : public dialog::BomOptionsDialog {
public:
    explicit ScriptedDialog(DialogScript& script) : script_(script) {}
    bool ShowModal(BomOptions& options) override {
        script_.shown.push_back(options);
        if (script_.typeTemplate) options.templatePath = *script_.typeTemplate;
        if (script_.setReverse) options.reverse = *script_.setReverse;
        if (script_.setEmbed) options.embed = *script_.setEmbed;
        return script_.pressOk;
    }

private:
    DialogScript& script_;
};

// Temporary directory for log and working copies, a recording message port,
// the scripted dialog and the fake spreadsheet with the given workbooks.
class GetBomParamsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        dialog::setBomOptionsDialogFactory([this] { return std::make_unique<ScriptedDialog>(script); });
        session::platform().createApplication = [this]() -> std::shared_ptr<sheet::Application> {
            ++applicationsCreated;
            return std::make_shared<test::FakeApplication>(workbooks, record);
        };
    }
    void TearDown() override { dialog::resetBomOptionsDialogFactory(); }

    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        for (const std::string& line : test::readLines(temp.file("KestDBBomEx.log")))
            lines.push_back(line.substr(std::string(kLogPrefix).size()));
        return lines;
    }

    test::TempDir temp;
    test::EnvGuard tempVariable{"TEMP", temp.path().string()};
    test::PlatformGuard platformGuard;
    DialogScript script;
    std::map<std::string, std::vector<std::string>> workbooks;
    test::SpreadsheetRecord record;
    int applicationsCreated = 0;
};

TEST(SplitPath, SplitsAtTheLastSlashWhenADotFollowsIt) {
    EXPECT_EQ(dialog::SplitPath("/data/boms/t.xlsx").directory, "/data/boms/");
    EXPECT_EQ(dialog::SplitPath("/data/boms/t.xlsx").fileName, "t.xlsx");
    // No dot after the last slash: all of it is the directory.
    EXPECT_EQ(dialog::SplitPath("/data/v1.2/boms").directory, "/data/v1.2/boms");
    EXPECT_EQ(dialog::SplitPath("/data/v1.2/boms").fileName, "");
    EXPECT_EQ(dialog::SplitPath("/data/").directory, "/data/");
    // No slash: a dotted name is a file name, anything else is nothing.
    EXPECT_EQ(dialog::SplitPath("t.xls").directory, "");
    EXPECT_EQ(dialog::SplitPath("t.xls").fileName, "t.xls");
    EXPECT_EQ(dialog::SplitPath("boms").directory, "");
    EXPECT_EQ(dialog::SplitPath("boms").fileName, "");
    EXPECT_EQ(dialog::SplitPath("").fileName, "");
}

TEST(GetBomParamsProposal, HintAndTemplateProposalRules) {
    EXPECT_EQ(dialog::extensionFromHint(""), "XLS");
    EXPECT_EQ(dialog::extensionFromHint("   "), "XLS");
    EXPECT_EQ(dialog::extensionFromHint("  xlsx "), "XLSX");
    EXPECT_EQ(dialog::workingCopyFormat("XLSX"), 51);
    EXPECT_EQ(dialog::workingCopyFormat("XLSM"), 52);
    EXPECT_EQ(dialog::workingCopyFormat("XLS"), -4143);
    try {
        dialog::workingCopyFormat("XLSB");
        ADD_FAILURE() << "XLSB accepted";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::InvalidCall);
        EXPECT_NE(e.description().find("XLSB"), std::string::npos);
    }

    // Doubled separators collapse, the directory gets its "/" and the default name.
    EXPECT_EQ(dialog::proposeTemplatePath("/data//boms//kest", "XLS"), "/data/boms/kest/KestDBBomTempl.XLS");
    EXPECT_EQ(dialog::proposeTemplatePath("/data/boms/", "XLSX"), "/data/boms/KestDBBomTempl.XLSX");
    // A leading double separator (a network path) is restored after collapsing.
    EXPECT_EQ(dialog::proposeTemplatePath("//server/share/t.xls", "XLS"), "//server/share/t.xls");
    EXPECT_EQ(dialog::proposeTemplatePath("//server//share", "XLS"), "//server/share/KestDBBomTempl.XLS");
    // An ordinary absolute path keeps its single leading "/".
    EXPECT_EQ(dialog::proposeTemplatePath("/data/t.xlsx", "XLSX"), "/data/t.xlsx");
    // A dotted last component is taken as the file name.
    EXPECT_EQ(dialog::proposeTemplatePath("/data/boms.v2", "XLS"), "/data/boms.v2");
    // Neither separator nor dot, or nothing: the bare default name.
    EXPECT_EQ(dialog::proposeTemplatePath("boms", "XLS"), "KestDBBomTempl.XLS");
    EXPECT_EQ(dialog::proposeTemplatePath("", "XLSX"), "KestDBBomTempl.XLSX");
    // One pass from the left: three slashes leave two.
    EXPECT_EQ(dialog::proposeTemplatePath("/a///b/", "XLS"), "/a//b/KestDBBomTempl.XLS");
}

TEST(GetBomParamsProposal, WorkingCopyNamesAreTheLocalSecondAndDistinctWhenTaken) {
    test::TempDir temp;
    test::EnvGuard tempVariable("TEMP", temp.path().string());
    test::EnvGuard zone("TZ", "UTC-2");
    ::tzset();
    const std::time_t now = 1700000000;  // 2023-11-14 22:13:20 UTC
    const std::string first = dialog::workingCopyPath("XLSX", now);
    EXPECT_EQ(first, temp.file("1700007200KestDBBom.XLSX"));  // local time is two hours ahead
    std::ofstream(first) << "taken";
    const std::string second = dialog::workingCopyPath("XLSX", now);
    EXPECT_EQ(second, temp.file("1700007200_2KestDBBom.XLSX"));
    std::ofstream(second) << "taken";
    EXPECT_EQ(dialog::workingCopyPath("XLSX", now), temp.file("1700007200_3KestDBBom.XLSX"));
    ::unsetenv("TZ");
    ::tzset();
}

TEST(TemplatePattern, MatchesFilesButNotDirectoriesHiddenFilesOrNothing) {
    test::TempDir dir;
    std::ofstream(dir.file("bom.xls")) << "x";
    std::ofstream(dir.file(".hidden.xlsx")) << "x";
    std::filesystem::create_directory(dir.path() / "folder.xls");
    EXPECT_TRUE(dialog::templateFileExists(dir.file("bom.xls")));
    EXPECT_FALSE(dialog::templateFileExists(dir.file("*.xls")));
    EXPECT_FALSE(dialog::templateFileExists(dir.file("b?m.*")));
    EXPECT_FALSE(dialog::templateFileExists(dir.file("missing.xls")));
    EXPECT_FALSE(dialog::templateFileExists(dir.path().string()));
    EXPECT_FALSE(dialog::templateFileExists(dir.file("folder.xls")));
    EXPECT_FALSE(dialog::templateFileExists(dir.file(".hidden.xlsx")));
    EXPECT_FALSE(dialog::templateFileExists(dir.file("*.xlsx")));
    EXPECT_FALSE(dialog::templateFileExists(""));
}

TEST_F(GetBomParamsFixture, SuccessfulCallLogsEveryStepAndReturnsAllOutputs) {
    const std::string templ = temp.file("t.xlsx");
    workbooks[templ] = {"Deckblatt", "Stueckliste", "Chart1"};
    script.typeTemplate = templ;
    script.setReverse = 1;
    script.setEmbed = 0;
    session::excelReferences().ExcelApp = std::make_shared<test::FakeApplication>(workbooks, record);

    Variant profiles("untouched");
    int32_t reverse = 0;
    int32_t embed = 1;
    std::string templte = "old";
    std::string excelFileName = " xlsx ";
    EXPECT_EQ(dialog::GetBomParams(temp.path().string() + "//", profiles, reverse, embed, templte, excelFileName), 1);

    ASSERT_EQ(script.shown.size(), 1u);
    EXPECT_EQ(script.shown[0].ExcelExt, "XLSX");
    EXPECT_EQ(script.shown[0].embed, 1);
    EXPECT_EQ(script.shown[0].reverse, 0);
    EXPECT_EQ(script.shown[0].templatePath, temp.file("KestDBBomTempl.XLSX"));

    EXPECT_EQ(reverse, 1);
    EXPECT_EQ(embed, 0);
    EXPECT_EQ(templte, templ);
    ASSERT_TRUE(profiles.isArray());
    EXPECT_EQ(profiles.lowerBound(), 0);
    ASSERT_EQ(profiles.upperBound(), 2);
    EXPECT_EQ(profiles.at(0).asString(), "Deckblatt");
    EXPECT_EQ(profiles.at(1).asString(), "Stueckliste");
    EXPECT_EQ(profiles.at(2).asString(), "Chart1");
    EXPECT_EQ(std::filesystem::path(excelFileName).parent_path(), temp.path());
    EXPECT_TRUE(excelFileName.ends_with("KestDBBom.XLSX")) << excelFileName;
    EXPECT_TRUE(std::filesystem::exists(excelFileName));

    EXPECT_EQ(session::excelReferences().ExcelApp, nullptr) << "the shared application is cleared after OK";
    EXPECT_EQ(applicationsCreated, 1);
    EXPECT_EQ(record.opened, std::vector<std::string>{templ + "|2|True"});
    ASSERT_EQ(record.savedAs.size(), 1u);
    EXPECT_EQ(record.savedAs[0].first, excelFileName);
    EXPECT_EQ(record.savedAs[0].second, 51);
    EXPECT_EQ(record.closedWithSave, std::vector<bool>{false});
    EXPECT_EQ(record.quits, 1);
    EXPECT_EQ(record.visibleSets, 1);
    EXPECT_TRUE(platformGuard.messages->shown.empty());

    const std::vector<std::string> expected = {"Entering GetBomParams",
                                               "Trying to show dialog",
                                               "Closed dialog",
                                               "Getting control settings",
                                               "Trying to get ExcelObject",
                                               "Successfully obtained Excel COM object",
                                               "Trying to open: " + templ,
                                               "Successfully loaded template: " + templ,
                                               "Making Excel visible",
                                               "After making Excel visible",
                                               "Redim of sheet array",
                                               "Obtaining sheetnames from Excel",
                                               "Deleting Exceloutput: " + excelFileName,
                                               "Saving Excelfile",
                                               "Closing Excelfile",
                                               "Now assigning string array to variant",
                                               "Assigned string array to variant",
                                               "Leaving GetBomParams"};
    EXPECT_EQ(logLines(), expected);
}

TEST_F(GetBomParamsFixture, CancelLeavesEveryOutputAsPassed) {
    script.pressOk = false;
    script.typeTemplate = "/elsewhere/x.xls";
    script.setReverse = 1;
    auto sharedApp = std::make_shared<test::FakeApplication>(workbooks, record);
    session::excelReferences().ExcelApp = sharedApp;
    Variant profiles(int32_t{7});
    int32_t reverse = 0;
    int32_t embed = 1;
    std::string templte = "keep me";
    std::string excelFileName = "xls";
    EXPECT_EQ(dialog::GetBomParams("/data", profiles, reverse, embed, templte, excelFileName), 1);
    EXPECT_EQ(profiles, Variant(int32_t{7}));
    EXPECT_EQ(reverse, 0);
    EXPECT_EQ(embed, 1);
    EXPECT_EQ(templte, "keep me");
    EXPECT_EQ(excelFileName, "xls");
    EXPECT_EQ(applicationsCreated, 0);
    EXPECT_EQ(session::excelReferences().ExcelApp, sharedApp) << "Cancel leaves the shared application";
    EXPECT_EQ(logLines(), (std::vector<std::string>{"Entering GetBomParams", "Trying to show dialog", "Closed dialog",
                                                    "Leaving GetBomParams"}));
}

TEST_F(GetBomParamsFixture, FormatsFollowTheHintAndOtherHintsAreRefused) {
    const std::string templ = temp.file("t.xls");
    workbooks[templ] = {"Tabelle1"};
    script.typeTemplate = templ;
    for (const auto& [hint, format, suffix] :
         {std::tuple{"", -4143, "KestDBBom.XLS"}, std::tuple{"XLSM", 52, "KestDBBom.XLSM"},
          std::tuple{"xls", -4143, "KestDBBom.XLS"}}) {
        Variant profiles;
        int32_t reverse = 0, embed = 0;
        std::string templte, excelFileName = hint;
        dialog::GetBomParams("/data", profiles, reverse, embed, templte, excelFileName);
        ASSERT_FALSE(record.savedAs.empty());
        EXPECT_EQ(record.savedAs.back().second, format) << hint;
        EXPECT_TRUE(excelFileName.ends_with(suffix)) << excelFileName;
    }
    // The default template name carries the extension.
    EXPECT_EQ(script.shown[0].templatePath, "/data/KestDBBomTempl.XLS");

    Variant profiles;
    int32_t reverse = 0, embed = 0;
    std::string templte, excelFileName = "xlsb";
    const std::size_t dialogsBefore = script.shown.size();
    try {
        dialog::GetBomParams("/data", profiles, reverse, embed, templte, excelFileName);
        ADD_FAILURE() << "xlsb accepted";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::InvalidCall);
    }
    EXPECT_EQ(script.shown.size(), dialogsBefore) << "refused before the dialog";
    EXPECT_EQ(excelFileName, "xlsb");
}

TEST_F(GetBomParamsFixture, TwoCallsInOneSecondGetTwoFiles) {
    const std::string templ = temp.file("t.xlsx");
    workbooks[templ] = {"A"};
    script.typeTemplate = templ;
    std::vector<std::string> copies;
    for (int i = 0; i < 3; ++i) {
        Variant profiles;
        int32_t reverse = 0, embed = 0;
        std::string templte, excelFileName = "XLSX";
        dialog::GetBomParams("", profiles, reverse, embed, templte, excelFileName);
        copies.push_back(excelFileName);
    }
    EXPECT_NE(copies[0], copies[1]);
    EXPECT_NE(copies[1], copies[2]);
    EXPECT_NE(copies[0], copies[2]);
    for (const std::string& copy : copies) EXPECT_TRUE(std::filesystem::exists(copy)) << copy;
}

TEST_F(GetBomParamsFixture, MissingTemplateOrApplicationShowsTheMessageAndKeepsTheCopyOutputs) {
    const std::string missing = temp.file("nothing here.xls");
    script.typeTemplate = missing;
    script.setEmbed = 1;
    Variant profiles(int32_t{3});
    int32_t reverse = 0, embed = 1;
    std::string templte, excelFileName = "XLS";
    EXPECT_EQ(dialog::GetBomParams("", profiles, reverse, embed, templte, excelFileName), 1);
    ASSERT_EQ(platformGuard.messages->shown.size(), 1u);
    EXPECT_EQ(platformGuard.messages->shown[0].text,
              "Failed to obtain Workbook from Excel (Open Failure?) File = " + missing);
    EXPECT_EQ(platformGuard.messages->shown[0].caption, "KestBomEx");
    EXPECT_EQ(templte, missing);
    EXPECT_EQ(excelFileName, "XLS") << "no working copy was made";
    EXPECT_EQ(profiles, Variant(int32_t{3}));
    EXPECT_EQ(record.quits, 0) << "the application is released without Quit";
    EXPECT_EQ(logLines().back(), "Trying to open: " + missing);

    session::platform().createApplication = [] { return std::shared_ptr<sheet::Application>(); };
    dialog::GetBomParams("", profiles, reverse, embed, templte, excelFileName);
    ASSERT_EQ(platformGuard.messages->shown.size(), 2u);
    EXPECT_EQ(platformGuard.messages->shown[1].text, "Failed to obtain COM object from Excel.Application");
    EXPECT_EQ(logLines().back(), "Trying to get ExcelObject");
}

TEST_F(GetBomParamsFixture, WithoutADisplayTheCallEndsAsCancelledAndSaysWhy) {
    dialog::resetBomOptionsDialogFactory();
    Variant profiles;
    int32_t reverse = 1, embed = 1;
    std::string templte = "t", excelFileName = "XLSX";
    EXPECT_EQ(dialog::GetBomParams("/data", profiles, reverse, embed, templte, excelFileName), 1);
    ASSERT_EQ(platformGuard.messages->shown.size(), 1u);
    EXPECT_EQ(platformGuard.messages->shown[0].text, dialog::kNoDisplayMessage);
    EXPECT_EQ(excelFileName, "XLSX");
    EXPECT_EQ(templte, "t");
    EXPECT_EQ(logLines().back(), "Leaving GetBomParams");
}

TEST_F(GetBomParamsFixture, CheckBoxStatesOutsideTheirRangeFailTheCall) {
    Variant profiles;
    int32_t reverse = 0, embed = 5;
    std::string templte, excelFileName;
    try {
        dialog::GetBomParams("", profiles, reverse, embed, templte, excelFileName);
        ADD_FAILURE() << "state 5 accepted";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 380);
    }
    EXPECT_TRUE(script.shown.empty());
}

}  // namespace
}  // namespace kbx
