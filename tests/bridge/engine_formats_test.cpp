// The engine's .xls side: Workbooks.Open on a 97-2003 workbook and saving with
// file format -4143, through the converter and without it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "session/platform.h"
#include "sheet/application.h"
#include "support/test_support.h"
#include "value/runtime_error.h"

namespace kbx::test {
namespace {

namespace fs = std::filesystem;

bool isOle2File(const std::string& path) {
    return readFile(path).substr(0, 8) == std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
}

std::string readBack(const std::string& path) {
    return runPython(readFile(dataFile("copyexport/read_back.py")), {path});
}

bool hasLine(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

std::vector<std::string> visibleNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("kbx-soffice-profile-")) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(EngineXls, OpenEditAndSaveAs97To2003Workbook) {
    REQUIRE_CONVERTER();
    PlatformGuard guard;
    TempDir dir;
    EnvGuard temp("TEMP", dir.path().string());
    const std::string source = dir.file("Vorlage.xls");
    fs::copy_file(dataFile("copyexport/three_sheets.xls"), source);
    const std::string before = readFile(source);

    std::shared_ptr<sheet::Application> app = session::createExcelApplication();
    ASSERT_TRUE(app);
    std::shared_ptr<sheet::Workbook> book = app->GetWorkbooks().Open(source, Variant(false), false);
    ASSERT_TRUE(book);
    EXPECT_EQ(book->GetSheets().Count(), 3);
    std::shared_ptr<sheet::Worksheet> liste = book->GetSheets().Item("Liste");
    EXPECT_EQ(liste->Cells(3, 2)->Value().asString(), "Tab\there");
    liste->Cells(6, 1)->SetValue(Variant(int32_t{5}));
    liste->Cells(6, 2)->SetValue(Variant("Neu eingetragen"));

    const std::string copy = dir.file("Arbeitskopie.xls");
    book->SaveAs(copy, sheet::xl::FormatWorkbookNormal);
    EXPECT_TRUE(isOle2File(copy));
    std::string cells = readBack(copy);
    EXPECT_TRUE(hasLine(cells, "cell\tListe\tB6\tNeu eingetragen")) << cells;
    EXPECT_TRUE(hasLine(cells, "cell\tListe\tA6\t5")) << cells;
    EXPECT_TRUE(hasLine(cells, "cell\tKopf\tB1\tZN-4711")) << cells;

    // The workbook now carries the new name and format: Save writes .xls again.
    liste->Cells(7, 2)->SetValue(Variant("noch einer"));
    book->Save();
    EXPECT_TRUE(isOle2File(copy));
    cells = readBack(copy);
    EXPECT_TRUE(hasLine(cells, "cell\tListe\tB7\tnoch einer")) << cells;
    book->Close(false);

    EXPECT_EQ(readFile(source), before);
    EXPECT_EQ(visibleNames(dir.path()), (std::vector<std::string>{"Arbeitskopie.xls", "Vorlage.xls"}));
}

TEST(EngineXls, WithoutTheConverterXlsFailsClearlyAndXlsxStillWorks) {
    PlatformGuard guard;
    TempDir dir;
    EnvGuard program("KESTBOMEX_SOFFICE", dir.file("missing/soffice"));
    const std::string xls = dir.file("Vorlage.xls");
    fs::copy_file(dataFile("copyexport/three_sheets.xls"), xls);

    std::shared_ptr<sheet::Application> app = session::createExcelApplication();
    const RuntimeError opening = errorOf([&] { app->GetWorkbooks().Open(xls, Variant(false), true); });
    EXPECT_EQ(opening.number(), err::Application);
    EXPECT_NE(opening.description().find("missing/soffice"), std::string::npos) << opening.description();
    EXPECT_NE(opening.description().find(".xlsx workbooks work without it"), std::string::npos);

    std::shared_ptr<sheet::Workbook> book =
        app->GetWorkbooks().Open(dataFile("copyexport/three_sheets.xlsx"), Variant(false), true);
    const std::string target = dir.file("Arbeitskopie.xls");
    const RuntimeError saving = errorOf([&] { book->SaveAs(target, sheet::xl::FormatWorkbookNormal); });
    EXPECT_EQ(saving.number(), err::Application);
    EXPECT_NE(saving.description().find(".xlsx workbooks work without it"), std::string::npos);
    EXPECT_EQ(visibleNames(dir.path()), (std::vector<std::string>{"Vorlage.xls"})) << "no target, no leftovers";

    book->SaveAs(dir.file("Arbeitskopie.xlsx"), sheet::xl::FormatOpenXmlWorkbook);
    EXPECT_TRUE(hasLine(readBack(dir.file("Arbeitskopie.xlsx")), "cell\tKopf\tB1\tZN-4711"));
}

}  // namespace
}  // namespace kbx::test
