#include "ooxml_test_util.h"

namespace kbx::test {
namespace {

// Writes one damaged or hostile package per class of bad input, each made
// from the basic template by python's zipfile.
constexpr const char* kMakeBadPackages = R"(
import sys, os, zipfile
src, out = sys.argv[1], sys.argv[2]
base = {i.filename: zipfile.ZipFile(src).read(i.filename) for i in zipfile.ZipFile(src).infolist()}
SHEET = "xl/worksheets/sheet1.xml"
def write(name, parts, extra=()):
    with zipfile.ZipFile(os.path.join(out, name + ".xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
        for n, data in parts.items(): z.writestr(n, data)
        for n, data in extra: z.writestr(n, data)
def with_part(name, part, data):
    parts = dict(base); parts[part] = data; write(name, parts)
def cells(row_xml):
    sheet = base[SHEET].decode()
    start = sheet.index("<sheetData>") + len("<sheetData>"); end = sheet.index("</sheetData>")
    return (sheet[:start] + row_xml + sheet[end:]).encode()

with_part("zip_bomb", SHEET, b"<worksheet/>" + b" " * (40 << 20))
write("too_many_entries", base, [("filler/%d.bin" % i, b"") for i in range(20001)])
import warnings; warnings.simplefilter("ignore")
write("duplicate_name", base, [(SHEET, base[SHEET])])
write("case_duplicate_name", base, [("XL/Workbook.xml", base["xl/workbook.xml"])])
with_part("target_outside", "xl/_rels/workbook.xml.rels",
          base["xl/_rels/workbook.xml.rels"].replace(b'Target="/xl/styles.xml"', b'Target="../../../etc/passwd"')
          .replace(b'Target="styles.xml"', b'Target="../../../etc/passwd"'))
with_part("dtd", SHEET, b'<?xml version="1.0"?><!DOCTYPE x [<!ENTITY a "aaaaaaaaaa">]>' + base[SHEET])
with_part("invalid_utf8", SHEET, cells('<row r="1"><c r="A1" t="inlineStr"><is><t>\xff\xfe</t></is></c></row>').replace(b"\xc3\xbf\xc3\xbe", b"\xff\xfe"))
with_part("column_beyond_sheet", SHEET, cells('<row r="1"><c r="XFE1"><v>1</v></c></row>'))
with_part("row_beyond_sheet", SHEET, cells('<row r="1048577"><c r="A1048577"><v>1</v></c></row>'))
with_part("style_out_of_range", SHEET, cells('<row r="1"><c r="A1" s="999"><v>1</v></c></row>'))
with_part("string_out_of_range", SHEET, cells('<row r="1"><c r="A1" t="s"><v>99</v></c></row>'))
with_part("cells_out_of_order", SHEET, cells('<row r="1"><c r="B1"><v>1</v></c><c r="A1"><v>2</v></c></row>'))
with_part("rows_out_of_order", SHEET, cells('<row r="2"><c r="A2"><v>1</v></c></row><row r="1"><c r="A1"><v>2</v></c></row>'))
with_part("malformed_xml", SHEET, b"<worksheet><sheetData><row></worksheet>")
with open(os.path.join(out, "not_a_zip.xlsx"), "wb") as f: f.write(b"PK\x03\x04 this is not a zip at all")
)";

TEST(EngineBadInput, EveryClassOfDamagedPackageIsRefusedWithTheFileNamed) {
    TempDir dir;
    runPython(kMakeBadPackages, {ooxmlTemplate("basic.xlsx"), dir.path().string()});
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"zip_bomb", "compression ratio"},
        {"too_many_entries", "too many entries"},
        {"duplicate_name", "more than once"},
        {"case_duplicate_name", "more than once"},
        {"target_outside", "outside the package"},
        {"dtd", "document type declaration"},
        {"invalid_utf8", "not valid UTF-8"},
        {"column_beyond_sheet", "XFE1"},
        {"row_beyond_sheet", "1048577"},
        {"style_out_of_range", "style index out of range"},
        {"string_out_of_range", "shared string out of range"},
        {"cells_out_of_order", "out of order"},
        {"rows_out_of_order", "out of order"},
        {"malformed_xml", "not well-formed"},
        {"not_a_zip", "not a valid zip"},
    };
    auto app = createEngineApplication();
    for (const auto& [name, reason] : cases) {
        const std::string file = dir.file(name + ".xlsx");
        const RuntimeError e = errorOf([&] { app->GetWorkbooks().Open(file, Variant(false), true); });
        EXPECT_EQ(e.number(), err::Application) << name << ": " << e.description();
        EXPECT_NE(e.description().find(file), std::string::npos) << name << ": " << e.description();
        EXPECT_NE(e.description().find(reason), std::string::npos) << name << ": " << e.description();
    }
    EXPECT_EQ(app->GetWorkbooks().Count(), 0);
}

}  // namespace
}  // namespace kbx::test
