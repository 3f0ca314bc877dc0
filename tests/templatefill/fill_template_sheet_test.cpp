#include "templatefill/fill_template_sheet.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "fake_sheet.h"
#include "session/excel_references.h"
#include "support/test_support.h"
#include "test_helpers.h"
#include "value/runtime_error.h"

namespace kbx {
namespace {

using sheet::FontProperty;
using test::Array;
using test::Numbers;

class FillTemplateSheetTest : public ::testing::Test {
protected:
    FillTemplateSheetTest() {
        session::excelReferences().ExcelApp = app;
        sheet = book->addSheet("Parts");
    }

    void Fill(const Variant& headNames, const Variant& headVals, int32_t recordSize, const Variant& posNames,
              const Variant& posVals, bool reverse = false) {
        templatefill::FillTemplateSheet(*sheet, headNames, headVals, recordSize, posNames, posVals, reverse);
    }

    int32_t ErrorOf(const Variant& headNames, const Variant& headVals, int32_t recordSize, const Variant& posNames,
                    const Variant& posVals) {
        try {
            Fill(headNames, headVals, recordSize, posNames, posVals);
        } catch (const RuntimeError& e) {
            return e.number();
        }
        return 0;
    }

    test::PlatformGuard guard;
    std::shared_ptr<fake::Application> app = std::make_shared<fake::Application>();
    std::shared_ptr<fake::Workbook> book = std::make_shared<fake::Workbook>("parts.xlsx");
    std::shared_ptr<fake::Sheet> sheet;
};

TEST_F(FillTemplateSheetTest, ReplacesHeadersAndWritesOneRowPerPositionInTheModelsFormat) {
    sheet->put(1, 1, "$head:drawno");
    sheet->put(1, 2, "$Head:Weight");
    sheet->put(1, 3, "$head:unknown");
    sheet->put(3, 1, "$pos:posnr");
    sheet->at(3, 1).font[FontProperty::Bold] = Variant(true);
    sheet->at(3, 1).horizontal = Variant(int32_t{sheet::xl::HAlignCenter});
    sheet->put(3, 2, "$pos:desc");
    sheet->at(3, 2).font[FontProperty::Italic] = Variant(true);
    sheet->put(3, 3, "Remark");
    sheet->put(5, 2, "old text below the position row");
    sheet->put(5, 3, "kept");

    Fill(Array({"drawno", "weight"}), Array({"D-100", 12.5}), 2, Array({"posnr", "desc"}),
         Array({int32_t{1}, "Bolt", int32_t{2}, "Nut", int32_t{3}, "Washer"}));

    EXPECT_EQ(sheet->at(1, 1).value, Variant("D-100"));
    EXPECT_EQ(sheet->at(1, 2).value, Variant("12.5"));  // header numbers are written as text
    EXPECT_EQ(sheet->text(1, 3), "$head:unknown");
    EXPECT_EQ(sheet->at(3, 1).value, Variant(int32_t{1}));  // position values unconverted
    EXPECT_EQ(sheet->at(4, 1).value, Variant(int32_t{2}));
    EXPECT_EQ(sheet->at(5, 1).value, Variant(int32_t{3}));
    EXPECT_EQ(sheet->text(3, 2), "Bolt");
    EXPECT_EQ(sheet->text(5, 2), "Washer");
    EXPECT_FALSE(sheet->has(6, 1));
    EXPECT_EQ(sheet->at(5, 1).font.at(FontProperty::Bold), Variant(true));
    EXPECT_EQ(sheet->at(4, 1).horizontal, Variant(int32_t{sheet::xl::HAlignCenter}));
    EXPECT_EQ(sheet->at(4, 2).font.at(FontProperty::Italic), Variant(true));
    EXPECT_EQ(sheet->at(4, 2).numberFormat, "@");
    EXPECT_EQ(sheet->text(3, 3), "Remark");
    EXPECT_EQ(sheet->text(5, 3), "kept");
    for (int32_t column = 1; column <= 3; ++column) EXPECT_EQ(sheet->columnFormats[column], "@") << column;
    EXPECT_EQ(sheet->columnFormats.count(4), 0u);
    // Off and on around each of the 57 header rows and the 50 position columns.
    EXPECT_EQ(app->screenUpdatingOff, 57 + 50);
    EXPECT_EQ(app->screenUpdatingOn, 57 + 50);
    EXPECT_EQ(app->settings.at(sheet::AppSetting::ScreenUpdating), Variant(true));
}

TEST_F(FillTemplateSheetTest, ExpandsOnlyTheLowerPositionRowInsideTheScanRectangle) {
    sheet->put(2, 1, "$pos:a");
    sheet->put(4, 1, "$pos:a");
    sheet->put(4, 2, "$POS:B");
    sheet->put(4, 50, "$pos:b");  // column AX: the last one scanned
    sheet->put(4, 51, "$pos:a");  // column AY: never seen
    sheet->put(58, 1, "$pos:a");  // below row 57: never seen
    sheet->put(58, 2, "$head:x");

    Fill(Array({"x"}), Array({"X"}), 2, Array({"a", "b"}), Array({int32_t{1}, int32_t{2}, int32_t{3}, int32_t{4}}));

    EXPECT_EQ(sheet->text(2, 1), "$pos:a");
    EXPECT_EQ(sheet->text(4, 1), "1");
    EXPECT_EQ(sheet->text(5, 1), "3");
    EXPECT_EQ(sheet->text(4, 2), "2");
    EXPECT_EQ(sheet->text(5, 2), "4");
    EXPECT_EQ(sheet->text(5, 50), "4");
    EXPECT_EQ(sheet->text(4, 51), "$pos:a");
    EXPECT_FALSE(sheet->has(5, 51));
    EXPECT_EQ(sheet->text(58, 1), "$pos:a");
    EXPECT_EQ(sheet->text(58, 2), "$head:x");
    EXPECT_EQ(sheet->columnFormats[50], "@");
    EXPECT_EQ(sheet->columnFormats.count(51), 0u);
}

TEST_F(FillTemplateSheetTest, PositionRowOutsideTheRectangleWritesNothing) {
    sheet->put(58, 1, "$pos:a");
    sheet->put(1, 51, "$pos:a");
    Fill(Array({}), Array({}), 1, Array({"a"}), Numbers(3));
    EXPECT_EQ(sheet->cells.size(), 2u);
    EXPECT_TRUE(sheet->columnFormats.empty());
}

TEST_F(FillTemplateSheetTest, NamesWithUpperCaseLettersNeverMatch) {
    sheet->put(1, 1, "$Head:DrawNo");
    sheet->put(1, 2, "$head:drawno");
    sheet->put(3, 1, "$pos:qty");
    Fill(Array({"DrawNo"}), Array({"D-1"}), 1, Array({"Qty"}), Numbers(2));
    EXPECT_EQ(sheet->text(1, 1), "$Head:DrawNo");
    EXPECT_EQ(sheet->text(1, 2), "$head:drawno");
    EXPECT_EQ(sheet->text(3, 1), "$pos:qty");
    EXPECT_FALSE(sheet->has(4, 1));

    Fill(Array({"drawno", "drawno"}), Array({"first", "last"}), 1, Array({"qty"}), Numbers(2));
    EXPECT_EQ(sheet->text(1, 1), "last");  // every index visited: the last match stays
    EXPECT_EQ(sheet->text(1, 2), "last");
    EXPECT_EQ(sheet->text(4, 1), "1");
}

TEST_F(FillTemplateSheetTest, IncompleteLastGroupAndRepeatedFieldNames) {
    sheet->put(5, 1, "$pos:f0");
    sheet->put(5, 2, "$pos:f1");
    sheet->put(5, 3, "$pos:f2");
    sheet->put(5, 4, "$pos:twice");
    Fill(Array({}), Array({}), 3, Array({"f0", "f1", "f2"}), Numbers(7));
    EXPECT_EQ(sheet->text(5, 1), "0");
    EXPECT_EQ(sheet->text(6, 1), "3");
    EXPECT_EQ(sheet->text(7, 1), "6");
    EXPECT_EQ(sheet->text(6, 2), "4");
    EXPECT_FALSE(sheet->has(7, 2));
    EXPECT_EQ(sheet->text(6, 3), "5");
    EXPECT_FALSE(sheet->has(7, 3));
    EXPECT_EQ(sheet->text(5, 4), "$pos:twice");

    auto second = book->addSheet("Twice");
    second->put(1, 1, "$pos:twice");
    templatefill::FillTemplateSheet(*second, Array({}), Array({}), 2, Array({"twice", "twice"}), Numbers(4), false);
    EXPECT_EQ(second->text(1, 1), "1");  // the later field's values remain
    EXPECT_EQ(second->text(2, 1), "3");
}

TEST_F(FillTemplateSheetTest, ReverseStopsAtTheLastFieldsRowsWithAnIncompleteGroup) {
    sheet->put(5, 1, "$pos:f0");
    sheet->put(5, 2, "$pos:f1");
    sheet->put(5, 3, "$pos:f2");
    sheet->put(1, 1, "top");
    Fill(Array({}), Array({}), 3, Array({"f0", "f1", "f2"}), Numbers(7), true);
    // The last field (f2) ends at row 6, so rows 1..6 are mirrored and row 7 stays.
    EXPECT_EQ(sheet->text(7, 1), "6");
    EXPECT_EQ(sheet->text(1, 1), "3");
    EXPECT_EQ(sheet->text(2, 1), "0");
    EXPECT_EQ(sheet->text(6, 1), "top");
    EXPECT_EQ(sheet->text(1, 3), "5");
    EXPECT_EQ(sheet->text(2, 3), "2");
}

TEST_F(FillTemplateSheetTest, ReverseMirrorsFromRowOneAndLeavesTheCellBesideTheBlockAlone) {
    sheet->put(1, 1, "$head:title");
    sheet->put(2, 1, "Parts list");
    sheet->at(2, 1).font[FontProperty::Bold] = Variant(true);
    sheet->put(10, 1, "$pos:n");
    sheet->at(10, 1).font[FontProperty::Italic] = Variant(true);
    sheet->at(10, 1).horizontal = Variant(int32_t{sheet::xl::HAlignRight});
    sheet->put(10, 2, "$pos:m");
    // The cell right of the block in row 1 carries template content.
    sheet->put(1, 3, int32_t{42});
    sheet->at(1, 3).font[FontProperty::Bold] = Variant(true);
    sheet->at(1, 3).horizontal = Variant(int32_t{sheet::xl::HAlignRight});
    const size_t fontPropertiesBeside = sheet->at(1, 3).font.size();

    Fill(Array({"title"}), Array({"Gearbox"}), 2, Array({"n", "m"}),
         Array({int32_t{1}, "a", int32_t{2}, "b", int32_t{3}, "c", int32_t{4}, "d", int32_t{5}, "e"}), true);

    // Rows 1..14 are mirrored: row r moves to row 15 - r.
    EXPECT_EQ(sheet->text(14, 1), "Gearbox");
    EXPECT_EQ(sheet->text(13, 1), "Parts list");
    EXPECT_EQ(sheet->at(13, 1).font.at(FontProperty::Bold), Variant(true));
    EXPECT_EQ(sheet->text(5, 1), "1");  // the first position, from row 10
    EXPECT_EQ(sheet->text(1, 1), "5");  // the last position, from row 14
    EXPECT_EQ(sheet->text(1, 2), "e");
    EXPECT_EQ(sheet->at(1, 1).font.at(FontProperty::Italic), Variant(true));
    EXPECT_EQ(sheet->at(1, 1).horizontal, Variant(int32_t{sheet::xl::HAlignRight}));
    EXPECT_EQ(sheet->at(14, 1).font.at(FontProperty::Italic), Variant(false));
    EXPECT_EQ(sheet->at(14, 1).horizontal, Variant(int32_t{sheet::xl::HAlignGeneral}));
    EXPECT_EQ(sheet->text(14, 2), "");
    // Row 1, column lastCol + 1 keeps the template's value, font and alignment.
    EXPECT_EQ(sheet->at(1, 3).value, Variant(int32_t{42}));
    EXPECT_EQ(sheet->at(1, 3).font.size(), fontPropertiesBeside);
    EXPECT_EQ(sheet->at(1, 3).font.at(FontProperty::Bold), Variant(true));
    EXPECT_EQ(sheet->at(1, 3).horizontal, Variant(int32_t{sheet::xl::HAlignRight}));
}

TEST_F(FillTemplateSheetTest, ReverseWithoutPositionsWritesNothing) {
    sheet->put(1, 1, "$head:a");
    sheet->put(2, 2, "$note:x");
    Fill(Array({"a"}), Array({"A"}), 1, Array({"a"}), Numbers(2), true);
    EXPECT_EQ(sheet->text(1, 1), "A");
    EXPECT_FALSE(sheet->has(1, 3));  // the cell right of maxCol is not created
    EXPECT_EQ(sheet->cells.size(), 2u);
}

TEST_F(FillTemplateSheetTest, BadDataSetsAndRefusedWritesFailTheFill) {
    auto errorOnFreshTemplate = [&](const Variant& headNames, const Variant& headVals, int32_t recordSize,
                                    const Variant& posNames, const Variant& posVals) {
        sheet->cells.clear();
        sheet->put(1, 1, "$head:a");
        sheet->put(3, 1, "$pos:p");
        return ErrorOf(headNames, headVals, recordSize, posNames, posVals);
    };
    const Variant goodNames = Array({"p"});
    EXPECT_EQ(errorOnFreshTemplate(Array({"a"}), Array({"A"}), 1, goodNames, Numbers(1)), 0);
    EXPECT_EQ(errorOnFreshTemplate(Variant("not an array"), Array({"A"}), 1, goodNames, Numbers(1)), err::TypeMismatch);
    EXPECT_EQ(errorOnFreshTemplate(Array({"x", "a"}), Array({"X"}), 1, goodNames, Numbers(1)),
              err::SubscriptOutOfRange);
    EXPECT_EQ(errorOnFreshTemplate(Array({"x"}), Array({}), 2, goodNames, Numbers(1)), err::SubscriptOutOfRange);
    EXPECT_EQ(errorOnFreshTemplate(Array({"x"}), Array({}), 1, goodNames, Variant(int32_t{5})), err::TypeMismatch);
    EXPECT_EQ(errorOnFreshTemplate(Array({"x"}), Array({}), 1, Variant::array({Variant("p")}, 1), Numbers(1)),
              err::SubscriptOutOfRange);
    // Extreme record sizes: nothing written for a negative one, the missing
    // name's subscript error for a huge one.
    EXPECT_EQ(errorOnFreshTemplate(Array({"a"}), Array({"A"}), INT32_MIN, goodNames, Numbers(3)), 0);
    EXPECT_EQ(sheet->text(3, 1), "$pos:p");
    EXPECT_EQ(errorOnFreshTemplate(Array({"a"}), Array({"A"}), INT32_MAX, goodNames, Numbers(3)),
              err::SubscriptOutOfRange);
    EXPECT_EQ(sheet->text(3, 1), "0");
    EXPECT_FALSE(sheet->has(4, 1));
    // Header data is not read when the template has no header placeholder.
    sheet->cells.clear();
    sheet->put(3, 1, "$pos:p");
    EXPECT_EQ(ErrorOf(Variant("not an array"), Variant(), 1, goodNames, Numbers(1)), 0);

    auto locked = book->addSheet("Locked");
    locked->put(1, 1, "$pos:p");
    locked->protectedSheet = true;
    try {
        templatefill::FillTemplateSheet(*locked, Array({}), Array({}), 1, goodNames, Numbers(2), false);
        FAIL() << "a protected sheet must refuse the fill";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::Application);
    }
    EXPECT_EQ(app->settings.at(sheet::AppSetting::ScreenUpdating), Variant(false));
}

}  // namespace
}  // namespace kbx
