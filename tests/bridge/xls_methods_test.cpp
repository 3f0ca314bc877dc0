// The 97-2003 format end to end: templates converted to .xls by LibreOffice,
// filled through the methods, and the results read back by LibreOffice and
// openpyxl.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "automation/kest_db_bom_excel.h"
#include "dialog/bom_options_dialog.h"
#include "support/test_support.h"

namespace kbx::test {
namespace {

// Converts files with LibreOffice into `outDir` (a private profile per call).
void convertWithLibreOffice(const TempDir& dir, const std::string& format, const std::string& outDir,
                            const std::vector<std::string>& files) {
    std::string command = "timeout 300 soffice -env:UserInstallation=file://" + dir.file("lo-profile") +
                          " --headless --convert-to " + format + " --outdir '" + outDir + "'";
    for (const std::string& f : files) command += " '" + f + "'";
    command += " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

bool isLegacyWorkbook(const std::string& path) {
    return readFile(path).rfind("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 0) == 0;  // compound document signature
}

Variant strings(std::vector<std::string> items) {
    std::vector<Variant> v;
    for (auto& s : items) v.emplace_back(std::move(s));
    return Variant::array(std::move(v));
}

TEST(XlsTemplates, WorkingCopyTemplateFillAndPlainExportKeepThe97To2003Format) {
    REQUIRE_CONVERTER();
    TempDir dir;
    EnvGuard temp("TEMP", dir.path().string());
    PlatformGuard guard;
    const std::string source = std::string(KBX_SOURCE_DIR) + "/examples/";
    std::filesystem::copy_file(source + "templatefill/template.xlsx", dir.file("fill.xlsx"));
    std::filesystem::copy_file(source + "plainbom/template.xlsx", dir.file("plain.xlsx"));
    convertWithLibreOffice(dir, "xls", dir.path().string(), {dir.file("fill.xlsx"), dir.file("plain.xlsx")});
    ASSERT_TRUE(isLegacyWorkbook(dir.file("fill.xls")));

    KestDBBomExcel server;
    // GetBomParams with an empty hint saves the working copy as a real .xls.
    dialog::setBomOptionsDialogFactory(
        [&] { return std::make_unique<dialog::AnsweredBomOptionsDialog>(dir.file("fill.xls")); });
    Variant profiles;
    int32_t reverse = 0, embed = 1;
    std::string templte, workingCopy;
    EXPECT_EQ(server.GetBomParams(dir.path().string(), profiles, reverse, embed, templte, workingCopy), 1);
    dialog::resetBomOptionsDialogFactory();
    ASSERT_TRUE(workingCopy.ends_with("KestDBBom.XLS")) << workingCopy;
    EXPECT_TRUE(isLegacyWorkbook(workingCopy));
    EXPECT_EQ(profiles, strings({"Stueckliste", "Deckblatt"}));

    // ExportBomExcel fills the working copy in place, in its own format.
    const Variant headNames = strings({"drawno", "title"});
    const Variant headVals = strings({"KB-1", "Getriebe"});
    const Variant posNames = strings({"posnr", "qty", "unit", "name", "partno", "material"});
    const Variant posVals = Variant::array({Variant(int32_t{1}), Variant(int32_t{2}), Variant("Stk"), Variant("Welle"),
                                            Variant("KB-1-01"), Variant("42CrMo4")});
    EXPECT_EQ(server.ExportBomExcel(headNames, headVals, 6, posNames, posVals, workingCopy, 0, "", 1, "Stueckliste", 0,
                                    templte, 1, "Stueckliste"),
              1);
    EXPECT_TRUE(isLegacyWorkbook(workingCopy));

    // ExportPlain2 on an .xls template writes an .xls result.
    const Variant plainNames = strings({"posnr", "name", "partno", "verw1", "verw2", "count", "warn", "bmp"});
    const Variant plainVals =
        Variant::array({Variant(int32_t{1}), Variant("Lager"), Variant("KB-1-02"), Variant(int32_t{1}),
                        Variant(int32_t{0}), Variant(int32_t{3}), Variant(""), Variant("")});
    const std::string plainOut = dir.file("plain-out.xls");
    EXPECT_EQ(server.ExportPlain2(headNames, headVals, 8, plainNames, plainVals, dir.file("plain.xls"), plainOut, 0, 0,
                                  10, 0, ""),
              Variant(int16_t{1}));
    EXPECT_TRUE(guard.messages->shown.empty()) << guard.messages->shown[0].text;
    ASSERT_TRUE(isLegacyWorkbook(plainOut));

    const std::string readBack = dir.file("read-back");
    std::filesystem::copy_file(workingCopy, dir.file("filled.xls"));
    convertWithLibreOffice(dir, "xlsx", readBack, {dir.file("filled.xls"), plainOut});
    const std::string out = runPython(R"(
import sys, openpyxl
def cells(path, sheet):
    ws = openpyxl.load_workbook(path)[sheet]
    return sorted(str(c.value) for row in ws.iter_rows() for c in row if c.value is not None)
filled = cells(sys.argv[1] + "/filled.xlsx", "Stueckliste")
plain = openpyxl.load_workbook(sys.argv[1] + "/plain-out.xlsx")
print("Welle" in filled, "KB-1" in filled, "42CrMo4" in filled)
print(plain.sheetnames, "Lager" in cells(sys.argv[1] + "/plain-out.xlsx", plain.sheetnames[0]))
)",
                                      {readBack});
    EXPECT_EQ(out, "True True True\n['Stueckliste', 'Template'] True\n");
}

}  // namespace
}  // namespace kbx::test
