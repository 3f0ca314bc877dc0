#include "plainbom/plain_lookups.h"

#include <gtest/gtest.h>

#include "fillcommon/file_exists.h"
#include "fillcommon/fill_header.h"
#include "fillcommon/placeholder.h"
#include "fillcommon/placeholder_cell.h"
#include "plainbom/fake_sheet.h"
#include "support/test_support.h"
#include "value/runtime_error.h"

namespace kbx::plainbom {
namespace {

Variant names(std::vector<std::string> items) {
    std::vector<Variant> elements(items.begin(), items.end());
    return Variant::array(std::move(elements));
}

int32_t errorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& error) {
        return error.number();
    }
    return 0;
}

TEST(PlaceholderCell, RecognisesKindAndNameInAnyLetterCase) {
    auto head = fillcommon::ParsePlaceholder("$HEAD:DrawNo:extra");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->kind, "head");
    EXPECT_EQ(head->name, "drawno");
    EXPECT_FALSE(fillcommon::ParsePlaceholder("$"));
    EXPECT_FALSE(fillcommon::ParsePlaceholder("$head"));
    EXPECT_FALSE(fillcommon::ParsePlaceholder("head:title"));
    EXPECT_FALSE(fillcommon::ParsePlaceholder(""));
    auto emptyName = fillcommon::ParsePlaceholder("$pos:");
    ASSERT_TRUE(emptyName);
    EXPECT_EQ(emptyName->name, "");
}

TEST(PlainLookups, FindNameAndPosNrAt) {
    EXPECT_EQ(FindName(names({"qty", "PosNr", "posnr"}), "posnr"), 1);
    EXPECT_EQ(FindName(names({"qty"}), "posnr"), -1);
    EXPECT_EQ(errorNumberOf([] { FindName(Variant("no array"), "posnr"); }), err::TypeMismatch);

    const Variant fields = names({"name", "posnr", "name", "posnr"});
    const Variant values = Variant::array({Variant("a"), Variant("7"), Variant("b"), Variant(int32_t{9})});
    EXPECT_EQ(PosNrAt(fields, values, 0), 7);
    EXPECT_EQ(PosNrAt(fields, values, 2), 9);
    // A record without "posnr" answers the next record's number.
    EXPECT_EQ(PosNrAt(names({"name", "qty", "name", "POSNR"}), values, 0), 9);
    // Beyond the names nothing of the values is read (they are no array here).
    EXPECT_EQ(PosNrAt(fields, Variant(), 4), -1);
    EXPECT_EQ(errorNumberOf([&] {
                  PosNrAt(fields, Variant::array({Variant("x"), Variant("12a")}), 0);
              }),
              err::TypeMismatch);
    EXPECT_EQ(errorNumberOf([&] { PosNrAt(fields, Variant::array({Variant("x"), Variant(3e10)}), 0); }), err::Overflow);
}

TEST(PlainLookups, FieldIndexCacheIsBuiltOnceAndRebuiltOnChange) {
    const Variant sameOrder = names({"posnr", "qty", "name", "posnr", "qty", "name", "posnr", "name", "qty"});
    FindField(names({"zzz"}), "zzz", 0, 1);  // a known starting cache
    const uint64_t before = fieldIndexCacheFillCount();
    EXPECT_EQ(FindField(sameOrder, "qty", 0, 3), 1);
    const uint64_t afterFirst = fieldIndexCacheFillCount();
    EXPECT_EQ(afterFirst, before + 1);  // the cache of "zzz" did not fit: one rebuild
    EXPECT_EQ(FindField(sameOrder, "name", 0, 3), 2);
    EXPECT_EQ(FindField(sameOrder, "qty", 3, 3), 4);
    EXPECT_EQ(FindField(sameOrder, "name", 3, 3), 5);
    EXPECT_EQ(fieldIndexCacheFillCount(), afterFirst);  // second record served from the cache
    EXPECT_EQ(FindField(sameOrder, "name", 6, 3), 7);   // swapped fields: one rebuild
    EXPECT_EQ(FindField(sameOrder, "qty", 6, 3), 8);
    EXPECT_EQ(fieldIndexCacheFillCount(), afterFirst + 1);
    EXPECT_EQ(FindField(sameOrder, "qty", 0, 3), 1);  // the earlier order rebuilds again
    EXPECT_EQ(fieldIndexCacheFillCount(), afterFirst + 2);

    // A name present only in another letter case is found after a rebuild.
    const Variant upper = names({"POSNR", "QTY"});
    EXPECT_EQ(FindField(upper, "qty", 0, 2), 1);
    // A window holding a name twice answers -1 for names after the duplicate.
    const Variant duplicate = names({"a", "b", "A", "c"});
    EXPECT_EQ(FindField(duplicate, "c", 0, 4), -1);
    EXPECT_EQ(FindField(duplicate, "b", 0, 4), 1);  // before the duplicate: still cached
    // A window past the end of the names.
    EXPECT_EQ(FindField(names({"a"}), "b", 0, 3), -1);
    EXPECT_EQ(FindField(Variant("no array"), "a", 0, 1), -1);
}

TEST(PlainLookups, FileExistsForFilesAndFolders) {
    test::TempDir dir;
    EXPECT_TRUE(fillcommon::FileExists(dir.path().string()));
    EXPECT_FALSE(fillcommon::FileExists(""));
    EXPECT_FALSE(fillcommon::FileExists(dir.file("missing.png")));
    std::ofstream(dir.file("here.txt")) << "x";
    EXPECT_TRUE(fillcommon::FileExists(dir.file("here.txt")));
}

TEST(FillHeader, ScansSixtyBySixtyAndReportsThePositionRow) {
    fake::FakeApplication app;
    fake::FakeWorkbook book(app);
    fake::FakeSheet& sheet = book.addSheet("BOM");
    sheet.put(1, 2, Variant("$HEAD:Title"));
    sheet.put(2, 55, Variant("$head:drawno"));
    sheet.put(3, 1, Variant("$head:unknown"));
    sheet.put(3, 2, Variant("$head:weight"));
    sheet.put(4, 1, Variant("$"));
    sheet.put(4, 2, Variant("$head"));
    sheet.put(4, 3, Variant("title"));
    sheet.put(10, 1, Variant("$pos:posnr"));
    sheet.put(12, 8, Variant("$POS:name"));
    sheet.put(61, 1, Variant("$pos:posnr"));
    sheet.put(5, 61, Variant("$head:title"));

    const Variant headNames = names({"title", "drawno", "Weight", "weight"});
    const Variant headVals = Variant::array({Variant("Pump"), Variant(12.5), Variant("upper"), Variant(int32_t{3})});
    int32_t maxCol = 0;
    EXPECT_EQ(fillcommon::FillHeader(sheet, headNames, headVals, maxCol), 12);
    EXPECT_EQ(maxCol, 55);
    EXPECT_EQ(sheet.text(1, 2), "Pump");
    EXPECT_TRUE(sheet.cell(2, 55).value.isString());
    EXPECT_EQ(sheet.text(2, 55), "12.5");
    EXPECT_EQ(sheet.text(3, 1), "$head:unknown");
    EXPECT_EQ(sheet.text(3, 2), "3");  // "Weight" with an upper-case letter matches nothing
    EXPECT_EQ(sheet.text(4, 1), "$");
    EXPECT_EQ(sheet.text(4, 2), "$head");
    EXPECT_EQ(sheet.text(10, 1), "$pos:posnr");   // position placeholders are left for the page fill
    EXPECT_EQ(sheet.text(5, 61), "$head:title");  // outside the block
    for (int32_t column = 1; column <= 60; ++column) EXPECT_EQ(sheet.columnFormats[column], "@") << column;
    EXPECT_FALSE(sheet.columnFormats.count(61));

    fake::FakeSheet& empty = book.addSheet("Empty");
    empty.put(61, 1, Variant("$pos:posnr"));
    maxCol = 0;
    EXPECT_EQ(fillcommon::FillHeader(empty, headNames, headVals, maxCol), -1);
    EXPECT_EQ(maxCol, 0);

    // A values array shorter than the names fails the header fill.
    fake::FakeSheet& shortValues = book.addSheet("Short");
    shortValues.put(1, 1, Variant("$head:drawno"));
    EXPECT_EQ(
        errorNumberOf([&] { fillcommon::FillHeader(shortValues, headNames, Variant::array({Variant("x")}), maxCol); }),
        err::SubscriptOutOfRange);
}

}  // namespace
}  // namespace kbx::plainbom
