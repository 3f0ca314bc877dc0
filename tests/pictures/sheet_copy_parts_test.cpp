#include "ooxml/sheet_copy_parts.h"

#include <set>

#include <gtest/gtest.h>

#include "ooxml/package.h"
#include "ooxml/xml_util.h"
#include "support/test_support.h"

namespace kbx::ooxml {
namespace {

TEST(SheetCopyName, NumbersCopiesAndStaysWithin31Characters) {
    std::set<std::string> taken;
    const auto isTaken = [&](const std::string& name) { return taken.count(name) > 0; };
    EXPECT_EQ(sheetCopyName("Parts", isTaken), "Parts (2)");
    taken = {"Parts (2)", "Parts (3)"};
    EXPECT_EQ(sheetCopyName("Parts", isTaken), "Parts (4)");
    // A copy of a copy counts on from its number.
    taken.clear();
    EXPECT_EQ(sheetCopyName("Parts (2)", isTaken), "Parts (3)");
    EXPECT_EQ(sheetCopyName("Year (1999)", isTaken), "Year (2000)");
    // Long names are shortened at a character boundary, never split in UTF-8.
    const std::string longName(31, 'x');
    EXPECT_EQ(sheetCopyName(longName, isTaken), std::string(27, 'x') + " (2)");
    std::string umlauts;
    for (int i = 0; i < 30; ++i) umlauts += "\xc3\xa4";  // 30 x "ä"
    const std::string copy = sheetCopyName(umlauts, isTaken);
    EXPECT_EQ(copy.substr(copy.size() - 4), " (2)");
    EXPECT_EQ(copy.size(), 27u * 2 + 4);
}

TEST(RepointSheetReferences, RewritesOnlyReferencesToTheSheet) {
    const std::string to = "Parts (2)";
    EXPECT_EQ(repointSheetReferences("'Parts'!$A$1:$F$20", "Parts", to), "'Parts (2)'!$A$1:$F$20");
    EXPECT_EQ(repointSheetReferences("Parts!$1:$2,parts!$A:$A", "Parts", to), "'Parts (2)'!$1:$2,'Parts (2)'!$A:$A");
    // Another sheet whose name contains the source name, string literals,
    // names without "!", and other workbooks stay as they are.
    EXPECT_EQ(repointSheetReferences("MyParts!A1+'Parts x'!A1", "Parts", to), "MyParts!A1+'Parts x'!A1");
    EXPECT_EQ(repointSheetReferences("\"Parts!A1\"&Parts", "Parts", to), "\"Parts!A1\"&Parts");
    EXPECT_EQ(repointSheetReferences("[1]Parts!A1", "Parts", to), "[1]Parts!A1");
    // Quotes inside sheet names are doubled both ways.
    EXPECT_EQ(repointSheetReferences("'Bob''s'!A1", "Bob's", "Bob's (2)"), "'Bob''s (2)'!A1");
    EXPECT_EQ(repointSheetReferences("SUM('unterminated", "Parts", to), "SUM('unterminated");
}

TEST(SheetCopyLocalNames, TwinsFollowTheCopy) {
    pugi::xml_document workbook;
    ASSERT_TRUE(workbook.load_string(
        R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><definedNames>)"
        R"(<definedName name="Global">Parts!$B$6</definedName>)"
        R"(<definedName name="_xlnm.Print_Titles" localSheetId="2">'Parts'!$1:$2</definedName>)"
        R"(<definedName name="_xlnm.Print_Area" localSheetId="2">'Parts'!$A$1:$F$20</definedName>)"
        R"(<definedName name="_xlnm.Print_Area" localSheetId="3">'Notes'!$A$1:$B$5</definedName>)"
        R"(</definedNames></workbook>)"));
    // The copy was inserted at 1; the source has moved to 2.
    addLocalNamesForSheetCopy(workbook, 2, 1, "Parts", "Parts (2)");
    std::vector<std::string> names;
    for (pugi::xml_node name : workbook.document_element().first_child().children())
        names.push_back(std::string(name.attribute("name").value()) + "@" + name.attribute("localSheetId").value() +
                        "=" + name.text().get());
    EXPECT_EQ(names, (std::vector<std::string>{
                         "Global@=Parts!$B$6",
                         "_xlnm.Print_Titles@2='Parts'!$1:$2",
                         "_xlnm.Print_Titles@1='Parts (2)'!$1:$2",
                         "_xlnm.Print_Area@2='Parts'!$A$1:$F$20",
                         "_xlnm.Print_Area@1='Parts (2)'!$A$1:$F$20",
                         "_xlnm.Print_Area@3='Notes'!$A$1:$B$5",
                     }));
    EXPECT_EQ(definedNamesOf(workbook), (std::set<std::string>{"global", "_xlnm.print_titles", "_xlnm.print_area"}));
}

TEST(SheetCopyParts, CopyHasItsOwnDrawingCommentsAndRenamedTable) {
    // copy_source.xlsx (openpyxl): sheet2 "Parts" has a drawing with an
    // image, comments with their VML drawing, and the table "PartsTable".
    std::unique_ptr<Package> package = Package::open(test::dataFile("pictures/copy_source.xlsx"));
    const std::string source = "xl/worksheets/sheet2.xml";
    const std::string target = "xl/worksheets/sheet9.xml";
    package->writePart(target, package->readPart(source));
    copySheetRelatedParts(*package, source, target, {"partstable_2"});

    std::map<std::string, std::string> parts;  // type -> part of the copy
    for (const Relationship& r : package->relationships(target).items)
        parts[r.type.substr(r.type.rfind('/') + 1) + ":" + r.id] = package->resolveTarget(target, r.target);
    EXPECT_EQ(parts, (std::map<std::string, std::string>{
                         {"drawing:rId1", "xl/drawings/drawing2.xml"},
                         {"table:rId2", "xl/tables/table2.xml"},
                         {"comments:comments", "xl/comments/comment2.xml"},
                         {"vmlDrawing:anysvml", "xl/drawings/commentsDrawing2.vml"},
                     }));
    // The drawing copy shares the picture's media part.
    const Relationships drawingRels = package->relationships("xl/drawings/drawing2.xml");
    ASSERT_EQ(drawingRels.items.size(), 1u);
    EXPECT_EQ(package->resolveTarget("xl/drawings/drawing2.xml", drawingRels.items[0].target), "xl/media/image1.png");
    EXPECT_EQ(package->readPart("xl/drawings/drawing2.xml"), package->readPart("xl/drawings/drawing1.xml"));
    EXPECT_EQ(package->contentType("xl/tables/table2.xml"), package->contentType("xl/tables/table1.xml"));

    // The table copy has a name no table and no reserved name has, and a new id.
    pugi::xml_document table;
    parseXml(table, package->readPart("xl/tables/table2.xml"), "copy", "table2");
    EXPECT_STREQ(table.document_element().attribute("name").value(), "PartsTable_3");
    EXPECT_STREQ(table.document_element().attribute("displayName").value(), "PartsTable_3");
    EXPECT_EQ(table.document_element().attribute("id").as_int(), 2);
    EXPECT_STREQ(table.document_element().attribute("ref").value(), "A5:C8");

    // The VML copy numbers its shapes in a block of its own.
    const std::string vml = package->readPart("xl/drawings/commentsDrawing2.vml");
    const std::string original = package->readPart("xl/drawings/commentsDrawing1.vml");
    EXPECT_NE(original.find("data=\"1\""), std::string::npos);
    EXPECT_NE(vml.find("data=\"2\""), std::string::npos) << vml;
    EXPECT_NE(vml.find("_x0000_s2050"), std::string::npos) << vml;
    EXPECT_EQ(vml.find("_x0000_s1026"), std::string::npos) << vml;
}

}  // namespace
}  // namespace kbx::ooxml
