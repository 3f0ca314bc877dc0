// A worksheet read in pieces of any size gives the same model as read whole:
// piece boundaries may fall inside tags, quoted values, comments and CDATA.
#include <gtest/gtest.h>

#include "ooxml/shared_strings.h"
#include "ooxml/sheet_model.h"
#include "ooxml/styles.h"

namespace kbx::test {
namespace {

using namespace kbx::ooxml;

constexpr const char* kSheet =
    R"(<?xml version="1.0"?><x:worksheet xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
    R"(<x:sheetData><!-- </x:sheetData><x:row r="9"> --><x:row r="2" note="a>b"><x:c r="A2"><x:v>1.5</x:v></x:c>)"
    R"(<x:c r="C2" t="inlineStr"><x:is><x:t><![CDATA[</x:row>]]></x:t></x:is></x:c></x:row><?pi </x:sheetData>?>)"
    R"(<x:row r="4"><x:c r="B4"><x:f>A2*2</x:f><x:v>3</x:v></x:c></x:row></x:sheetData>)"
    R"(<x:pageMargins left="0.7" right="0.7" top="0.75" bottom="0.75" header="0.3" footer="0.3"/></x:worksheet>)";

TEST(SheetPieces, AnyPieceSizeReadsTheSameCellsAndWritesTheSameXml) {
    StyleSheet styles;
    styles.createDefault();
    const SharedStrings strings;
    const std::string text = kSheet;
    SheetModel whole("xl/worksheets/sheet1.xml", "test.xlsx");
    whole.load(text, styles, strings);
    const std::string expected = whole.serialize();
    EXPECT_EQ(whole.cellCount(), 3u);
    EXPECT_EQ(whole.extraOf(2, 3)->text, "</x:row>");
    EXPECT_NE(expected.find(R"(note="a&gt;b")"), std::string::npos);
    EXPECT_NE(expected.find(R"(<x:c r="B4"><x:f>A2*2</x:f><x:v>3</x:v></x:c></x:row>)"), std::string::npos) << expected;
    for (const size_t size : {1u, 2u, 5u, 13u, 64u}) {
        SheetModel model("xl/worksheets/sheet1.xml", "test.xlsx");
        model.load([&](const PieceSink& sink) {
            for (size_t at = 0; at < text.size(); at += size) sink(std::string_view(text).substr(at, size));
        }, styles, strings);
        EXPECT_EQ(model.serialize(), expected) << "pieces of " << size;
        EXPECT_EQ(model.findCell(2, 1)->number, 1.5) << "pieces of " << size;
    }
}

}  // namespace
}  // namespace kbx::test
