#include "fillcommon/copy_cell.h"

#include <gtest/gtest.h>

#include "fake_sheet.h"
#include "fillcommon/placeholder.h"
#include "value/runtime_error.h"

namespace kbx {
namespace {

using sheet::FontProperty;

TEST(CopyCell, CopiesRawValueFontAndAlignmentButNothingElse) {
    fake::Workbook book("book.xlsx");
    auto sheet = book.addSheet("Sheet1");
    fake::Cell& source = sheet->at(1, 1);
    source.value = Variant(Date{45000.5});
    source.numberFormat = "dd.mm.yyyy";
    source.fontName = "Arial";
    source.font[FontProperty::Bold] = Variant(true);
    source.font[FontProperty::Color] = Variant(int32_t{255});
    source.font[FontProperty::Size] = Variant(12.0);
    source.font[FontProperty::Underline] = Variant(int32_t{sheet::xl::UnderlineStyleDouble});
    source.horizontal = Variant(int32_t{sheet::xl::HAlignCenter});
    source.vertical = Variant(int32_t{sheet::xl::VAlignTop});
    sheet->at(2, 1).fontName = "Courier New";

    fillcommon::CopyCell(*sheet->Cells(2, 1), *sheet->Cells(1, 1));

    const fake::Cell& copied = sheet->at(2, 1);
    ASSERT_EQ(copied.value.type(), VarType::Double);  // the date's serial number, not a Date
    EXPECT_DOUBLE_EQ(copied.value.asDouble(), 45000.5);
    EXPECT_EQ(copied.font.at(FontProperty::Bold), Variant(true));
    EXPECT_EQ(copied.font.at(FontProperty::Color), Variant(int32_t{255}));
    EXPECT_EQ(copied.font.at(FontProperty::Size), Variant(12.0));
    EXPECT_EQ(copied.font.at(FontProperty::Underline), Variant(int32_t{sheet::xl::UnderlineStyleDouble}));
    EXPECT_EQ(copied.font.size(), sheet::kCopiedFontProperties.size());
    EXPECT_EQ(copied.horizontal, Variant(int32_t{sheet::xl::HAlignCenter}));
    EXPECT_EQ(copied.vertical, Variant(int32_t{sheet::xl::VAlignTop}));
    EXPECT_EQ(copied.fontName, "Courier New");
    EXPECT_EQ(copied.numberFormat, "General");
}

TEST(CopyCell, StopsAtTheFirstPropertyTheDestinationRefuses) {
    fake::Workbook book("book.xlsx");
    auto sheet = book.addSheet("Sheet1");
    auto target = book.addSheet("Target");
    target->refusedFontProperty = FontProperty::Size;
    fake::Cell& source = sheet->at(1, 1);
    source.value = Variant("M8");
    source.font[FontProperty::Bold] = Variant(true);
    source.font[FontProperty::Size] = Variant(14.0);
    source.font[FontProperty::Strikethrough] = Variant(true);
    source.horizontal = Variant(int32_t{sheet::xl::HAlignRight});

    try {
        fillcommon::CopyCell(*target->Cells(1, 1), *sheet->Cells(1, 1));
        FAIL() << "the refused size must fail the copy";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::Application);
    }
    const fake::Cell& partly = target->at(1, 1);
    EXPECT_EQ(partly.value, Variant("M8"));
    EXPECT_EQ(partly.font.at(FontProperty::Bold), Variant(true));   // before Size
    EXPECT_EQ(partly.font.count(FontProperty::Strikethrough), 0u);  // after Size
    EXPECT_EQ(partly.horizontal, Variant(int32_t{sheet::xl::HAlignGeneral}));
}

TEST(Placeholder, SyntaxKindAndName) {
    using fillcommon::ParsePlaceholder;
    auto kindAndName = [](const std::string& text) {
        auto p = fillcommon::ParsePlaceholder(text);
        return p ? p->kind + "|" + p->name : std::string("none");
    };
    EXPECT_EQ(kindAndName("$head:drawno"), "head|drawno");
    EXPECT_EQ(kindAndName("$POS:Qty"), "pos|qty");
    EXPECT_EQ(kindAndName("$pos:qty:old"), "pos|qty");
    EXPECT_EQ(kindAndName("$note:x"), "note|x");
    EXPECT_EQ(kindAndName("$head:"), "head|");
    EXPECT_EQ(kindAndName("$Pos:ÄNDERUNG"), "pos|änderung");
    EXPECT_EQ(kindAndName("$pos"), "none");
    EXPECT_EQ(kindAndName("pos:qty"), "none");
    EXPECT_EQ(kindAndName(" $pos:qty"), "none");
    EXPECT_EQ(kindAndName(""), "none");

    using fillcommon::FieldNameMatches;
    EXPECT_TRUE(fillcommon::FieldNameMatches(Variant("qty"), "qty"));
    EXPECT_FALSE(fillcommon::FieldNameMatches(Variant("Qty"), "qty"));
    EXPECT_FALSE(fillcommon::FieldNameMatches(Variant::null(), "qty"));
    EXPECT_TRUE(fillcommon::FieldNameMatches(Variant(int32_t{7}), "7"));
    EXPECT_THROW(fillcommon::FieldNameMatches(Variant::array({}), "qty"), RuntimeError);
}

}  // namespace
}  // namespace kbx
