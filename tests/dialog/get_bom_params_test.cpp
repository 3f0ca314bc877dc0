// GetBomParams on the engine with the dialog answered in advance, and the
// rules for the template it proposes and the working copy it names.
// Messages and the log: tests/automation.

#include "dialog/get_bom_params.h"

#include <gtest/gtest.h>

#include <fstream>

#include "automation/kest_db_bom_excel.h"
#include "dialog/bom_options_dialog.h"
#include "dialog/split_path.h"
#include "session/excel_references.h"
#include "support/test_support.h"

namespace kbx::test {
namespace {

using Lines = std::vector<std::string>;

TEST(GetBomParams, ProposedTemplatePaths) {
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"/data//boms//kest", "XLS", "/data/boms/kest/KestDBBomTempl.XLS"},  // doubled separators collapse
        {"/data/boms/", "XLSX", "/data/boms/KestDBBomTempl.XLSX"},
        {"//server/share/t.xls", "XLS", "//server/share/t.xls"},  // a network path keeps its "//"
        {"//server//share", "XLS", "//server/share/KestDBBomTempl.XLS"},
        {"/data/t.xlsx", "XLSX", "/data/t.xlsx"},
        {"/data/boms.v2", "XLS", "/data/boms.v2"},  // a dotted last part is a file name
        {"boms", "XLS", "KestDBBomTempl.XLS"},
        {"", "XLSX", "KestDBBomTempl.XLSX"},
        {"/a///b/", "XLS", "/a//b/KestDBBomTempl.XLS"},  // one pass from the left
    };
    for (const auto& [dir, extension, proposal] : rows)
        EXPECT_EQ(dialog::proposeTemplatePath(dir, extension), proposal);
    const std::tuple<const char*, const char*, const char*> splits[] = {{"/data/boms/t.xlsx", "/data/boms/", "t.xlsx"},
                                                                        {"/data/v1.2/boms", "/data/v1.2/boms", ""},
                                                                        {"t.xls", "", "t.xls"},
                                                                        {"boms", "", ""}};
    for (const auto& [path, directory, file] : splits) {
        EXPECT_EQ(dialog::SplitPath(path).directory, directory) << path;
        EXPECT_EQ(dialog::SplitPath(path).fileName, file) << path;
    }
    for (const auto& [hint, format] : {std::pair{"", -4143}, {"  xlsx ", 51}, {"XLSM", 52}, {"xls", -4143}})
        EXPECT_EQ(dialog::workingCopyFormat(dialog::extensionFromHint(hint)), format) << hint;
}

TEST(GetBomParams, WorkingCopiesAreNamedByLocalSecondsAndNeverReplaced) {
    TempDir dir;
    EnvGuard temp("TEMP", dir.path().string());
    EnvGuard zone("TZ", "UTC-2");
    ::tzset();
    const std::time_t now = 1700000000;  // 2023-11-14 22:13:20 UTC
    for (const char* name : {"1700007200KestDBBom.XLSX", "1700007200_2KestDBBom.XLSX", "1700007200_3KestDBBom.XLSX"}) {
        EXPECT_EQ(dialog::workingCopyPath("XLSX", now), dir.file(name));
        std::ofstream(dir.file(name)) << "taken";
    }
    ::unsetenv("TZ");
    ::tzset();
}

struct Call {
    Variant profiles = Variant(int32_t{7});
    int32_t reverse = 1, embed = 0;  // the check boxes start as the caller set them
    std::string templte = "keep me", excelFileName = " xlsx ";
    int32_t run(const std::string& answer) {
        if (answer.empty())
            dialog::resetBomOptionsDialogFactory();  // no display: cancelled
        else
            dialog::setBomOptionsDialogFactory(
                [answer] { return std::make_unique<dialog::AnsweredBomOptionsDialog>(answer); });
        const int32_t result =
            automation::KestDBBomExcel().GetBomParams("/data", profiles, reverse, embed, templte, excelFileName);
        dialog::resetBomOptionsDialogFactory();
        return result;
    }
};

TEST(GetBomParams, OkReturnsSheetNamesOptionsAndAWorkingCopyCancelChangesNothing) {
    MethodRun run;
    const std::string templ = copyData(run.dir, "fill.xlsx");
    session::excelReferences().ExcelApp = session::createExcelApplication();
    Call cancelled;
    EXPECT_EQ(cancelled.run(""), 1);
    EXPECT_EQ(cancelled.profiles, Variant(int32_t{7}));
    EXPECT_EQ(cancelled.templte + cancelled.excelFileName, "keep me xlsx ");
    EXPECT_TRUE(session::excelReferences().ExcelApp) << "Cancel leaves the shared application";
    Call missing;
    missing.run(run.dir.file("none.xlsx"));
    EXPECT_EQ(missing.templte, "keep me") << "a missing template is refused like Cancel";
    EXPECT_EQ(missing.excelFileName, " xlsx ") << "no working copy was made";
    EXPECT_EQ(missing.profiles, Variant(int32_t{7}));
    Call ok, again;
    EXPECT_EQ(ok.run(templ), 1);
    again.run(templ);
    EXPECT_EQ(ok.profiles, array({Variant("Cover"), Variant("Parts"), Variant("Reverse"), Variant("Groups")}));
    EXPECT_EQ(ok.reverse * 10 + ok.embed, 10);
    EXPECT_EQ(ok.templte, templ);
    EXPECT_EQ(std::filesystem::path(ok.excelFileName).parent_path(), run.dir.path());
    EXPECT_TRUE(ok.excelFileName.ends_with("KestDBBom.XLSX")) << ok.excelFileName;
    EXPECT_NE(again.excelFileName, ok.excelFileName);  // two calls in one second: two files
    EXPECT_EQ(ReadBack(ok.excelFileName)["sheets"], "Cover,Parts,Reverse,Groups");
    EXPECT_FALSE(session::excelReferences().ExcelApp) << "the shared application is dropped after OK";
}

}  // namespace
}  // namespace kbx::test
