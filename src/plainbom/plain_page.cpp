#include "plainbom/plain_page.h"

#include "fillcommon/file_exists.h"
#include "fillcommon/placeholder.h"
#include "fillcommon/placeholder_cell.h"
#include "plainbom/plain_lookups.h"
#include "session/cancellation.h"
#include "session/excel_references.h"
#include "sheet/application.h"
#include "value/runtime_error.h"

namespace kbx::plainbom {

namespace {

constexpr int32_t kNotGiven = -1;

void setScreenUpdating(bool on) { session::currentApplication().Set(sheet::AppSetting::ScreenUpdating, Variant(on)); }

// The leftover position row takes the look and content of the row below it.
void overwriteWithRowBelow(sheet::Worksheet& sheet, int32_t posRow) {
    for (int32_t col = kFilledColumns; col >= 1; --col) fillcommon::copyCellInColumn(sheet, posRow, posRow + 1, col);
}

// What one position row collects while its cells are written.
struct RowState {
    int32_t usage1 = kNotGiven;
    int32_t usage2 = kNotGiven;
    int32_t quantity = kNotGiven;
    bool firstPicture = true;
    int32_t rowHeight0 = 0;
};

// The page-wide values the cell writers share.
struct PageContext {
    sheet::Worksheet& sheet;
    int32_t posRow;
    int32_t RecordSize;
    const Variant& PosNames;
    const Variant& PosVals;
    int32_t recOffset;
    const Variant& HeadNames;
    const Variant& HeadVals;
    int32_t& maxCol;
    int32_t& warnCol;
};

int32_t usageValue(const Variant& value) {
    const std::optional<std::string> text =
        value.isNull() || value.isArray() ? std::nullopt : std::optional(toText(value));
    return toLong(Variant(text && isNumeric(Variant(*text)) ? *text : std::string("0")));
}

void noteUsage(const std::string& name, const Variant& value, RowState& row) {
    if (name == "verw1") row.usage1 = usageValue(value);
    if (name == "verw2") row.usage2 = usageValue(value);
    if (name == "count") row.quantity = usageValue(value);
}

void placePicture(PageContext& page, int32_t col, const std::string& path, RowState& row) {
    std::shared_ptr<sheet::Range> cell = page.sheet.Cells(page.posRow, col);
    if (row.firstPicture) {
        cell->Select();
        row.rowHeight0 = roundToLong(cell->RowHeight());
        row.firstPicture = false;
    }
    if (!fillcommon::FileExists(path)) return;
    cell->Select();
    cell->GetFont()->Set(sheet::FontProperty::Size, Variant(10.0));
    cell->SetRowHeight(row.rowHeight0);
    std::shared_ptr<sheet::Picture> picture = page.sheet.GetPictures().Insert(path);
    if (!picture) return;
    picture->SetTop(cell->Top());
    picture->SetLeft(cell->Left());
    if (picture->Height() > cell->Height()) {
        try {
            cell->SetRowHeight(picture->Height());
        } catch (const RuntimeError&) {
            // A picture taller than the highest row leaves the row as it was.
        }
    }
}

void writePositionField(PageContext& page, int32_t col, const std::string& name, RowState& row) {
    if (name == "warn") {
        page.warnCol = col;
        fillcommon::copyCellInColumn(page.sheet, page.posRow + 1, page.posRow, col);
        page.sheet.Cells(page.posRow, col)->SetValue(Variant(""));
    }
    const int32_t idx = FindField(page.PosNames, name, page.recOffset, page.RecordSize);
    if (idx == -1 || fillcommon::elementText(page.PosNames, idx) != name) return;
    const Variant& value = page.PosVals.at(idx);
    noteUsage(name, value, row);
    // The warn placeholder was carried down before its cell was emptied;
    // carrying the emptied cell again would lose it for the rows below.
    if (name != "warn") fillcommon::copyCellInColumn(page.sheet, page.posRow + 1, page.posRow, col);
    if (name == "bmp") {
        placePicture(page, col, toText(value), row);
        page.sheet.Cells(page.posRow, col)->SetValue(Variant(""));
    } else {
        page.sheet.Cells(page.posRow, col)->SetValue(value);
    }
    if (col > page.maxCol) page.maxCol = col;
}

void writeHeadField(PageContext& page, int32_t col, const std::string& name) {
    const int32_t lower = page.HeadNames.lowerBound();
    const int32_t upper = page.HeadNames.upperBound();
    for (int32_t i = lower; i <= upper; ++i) {
        if (fillcommon::elementText(page.HeadNames, i) != name) continue;
        const std::string text = toText(page.HeadVals.at(i));
        fillcommon::copyCellInColumn(page.sheet, page.posRow + 1, page.posRow, col);
        page.sheet.Cells(page.posRow, col)->SetValue(Variant(text));
    }
}

// Writes one record over the position row, carrying its placeholders down.
void writePositionRow(PageContext& page) {
    RowState row;
    setScreenUpdating(false);
    for (int32_t col = kFilledColumns; col >= 1; --col) {
        const std::optional<fillcommon::Placeholder> placeholder =
            fillcommon::ParsePlaceholder(fillcommon::cellTextOrEmpty(page.sheet, page.posRow, col));
        if (!placeholder) continue;
        if (placeholder->kind == "pos") writePositionField(page, col, placeholder->name, row);
        if (placeholder->kind == "head") writeHeadField(page, col, placeholder->name);
    }
    setScreenUpdating(true);
    MarkShortfall(page.sheet, page.posRow, page.warnCol, row.usage1, row.usage2, row.quantity);
    page.sheet.UsedRange()->Calculate();
}

bool isPositionPlaceholder(const std::string& text, std::string& name) {
    const std::optional<fillcommon::Placeholder> placeholder = fillcommon::ParsePlaceholder(text);
    if (!placeholder || placeholder->kind != "pos") return false;
    name = placeholder->name;
    return true;
}

}  // namespace

void InsertGapRow(sheet::Worksheet& sheet, int32_t& posRow, int32_t written, int32_t& gapCols) {
    int32_t lastPosCol = 0;
    for (int32_t col = 1; col <= gapCols; ++col) {
        fillcommon::copyCellInColumn(sheet, posRow + 1, posRow, col);
        fillcommon::copyCellInColumn(sheet, posRow, posRow + 2, col);
        std::string name;
        if (!isPositionPlaceholder(fillcommon::cellTextOrEmpty(sheet, posRow + 1, col), name)) continue;
        if (name == "posnr") sheet.Cells(posRow, col)->SetValue(Variant(std::to_string(written + 1)));
        lastPosCol = col;
    }
    if (lastPosCol < gapCols) gapCols = lastPosCol;
    ++posRow;
}

void MarkShortfall(sheet::Worksheet& sheet, int32_t posRow, int32_t warnCol, int32_t usage1, int32_t usage2,
                   int32_t quantity) {
    if (warnCol < 1) return;
    if (usage1 < 0 || usage2 < 0 || quantity < 0) return;
    if (static_cast<int64_t>(usage1) + usage2 >= quantity) return;
    std::shared_ptr<sheet::Range> cell = sheet.Cells(posRow, warnCol);
    cell->SetValue(Variant("!" + cell->Text()));
}

bool FillPlainPage(int32_t& posRow, sheet::Worksheet& sheet, int32_t RecordSize, const Variant& PosNames,
                   const Variant& PosVals, int32_t /*Company*/, int32_t PosPerSheet, int32_t& written,
                   int32_t& recOffset, int32_t& maxCol, bool InsertEmptyRows, const Variant& HeadNames,
                   const Variant& HeadVals) {
    int32_t rowsOnSheet = 0;
    if (posRow < 0) return false;
    int32_t gapCols = kFilledColumns;
    int32_t warnCol = 0;
    while (rowsOnSheet < PosPerSheet) {
        session::throwIfCancelled();
        const int32_t positionNumber = PosNrAt(PosNames, PosVals, recOffset);
        if (positionNumber == -1) {
            // Records exhausted. Rows written with position number 0 count as
            // written too, so their leftover row is cleaned up as well.
            if (written > 0 || rowsOnSheet > 0) overwriteWithRowBelow(sheet, posRow);
            return false;
        }
        if (InsertEmptyRows) {
            setScreenUpdating(false);
            while (positionNumber > static_cast<int64_t>(written) + 1) {
                InsertGapRow(sheet, posRow, written, gapCols);
                ++rowsOnSheet;
                ++written;
                if (rowsOnSheet == PosPerSheet) {
                    overwriteWithRowBelow(sheet, posRow);
                    setScreenUpdating(true);
                    return true;
                }
            }
            setScreenUpdating(true);
        }
        written = positionNumber;
        PageContext page{sheet, posRow, RecordSize, PosNames, PosVals, recOffset, HeadNames, HeadVals, maxCol, warnCol};
        writePositionRow(page);
        recOffset += RecordSize;
        ++posRow;
        ++rowsOnSheet;
    }
    setScreenUpdating(false);
    overwriteWithRowBelow(sheet, posRow);
    setScreenUpdating(true);
    return true;
}

}  // namespace kbx::plainbom
