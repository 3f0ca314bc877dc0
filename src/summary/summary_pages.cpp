#include "summary/summary_pages.h"

#include "fillcommon/file_exists.h"
#include "fillcommon/fill_header.h"
#include "fillcommon/placeholder.h"
#include "fillcommon/placeholder_cell.h"
#include "fillcommon/unwritten_records.h"
#include "log/write_log.h"
#include "session/cancellation.h"
#include "session/excel_references.h"
#include "value/cell_reference.h"
#include "value/runtime_error.h"

namespace kbx::summary {

namespace {

using fillcommon::copyCellInColumn;

// Columns scanned right of the record's fields.
constexpr int32_t kExtraScanColumns = 50;
// The version up to which pictures are inserted in place and only rows grow.
constexpr double kLastInPlacePictureVersion = 12;
constexpr double kMeasureColumnWidth = 100;
constexpr double kPictureFontSize = 10;

// What one page measures at its first picture cell.
struct PictureMeasure {
    double version = 0;
    bool pending = true;
    int32_t widthUnitSize = 1;
    int32_t pictureRowHeight = 0;
};

std::shared_ptr<sheet::Selection> currentSelection() {
    std::shared_ptr<sheet::Selection> selection = session::currentApplication().GetSelection();
    if (!selection) raise(err::ObjectNotSet);
    return selection;
}

void measureFirstPictureCell(sheet::Range& cell, PictureMeasure& measure) {
    cell.Select();
    measure.pictureRowHeight = roundToLong(cell.RowHeight());
    cell.GetFont()->Set(sheet::FontProperty::Size, Variant(kPictureFontSize));
    cell.SetColumnWidth(kMeasureColumnWidth);
    measure.widthUnitSize = roundToLong(cell.Width() / kMeasureColumnWidth);
    measure.pending = false;
}

void placePictureInPlace(sheet::Worksheet& page, sheet::Range& cell, const std::string& path) {
    std::shared_ptr<sheet::Picture> picture = page.GetPictures().Insert(path);
    if (!picture) return;
    picture->SetTop(cell.Top());
    picture->SetLeft(cell.Left());
    if (picture->Height() > cell.Height()) {
        try {
            cell.SetRowHeight(picture->Height());
        } catch (const RuntimeError&) {
            // A picture taller than the highest row leaves the row as it was.
        }
    }
}

// Measures the picture at its natural size, removes it and embeds it anew at
// the cell's corner with the row and column sized to it.
void placePictureFitted(sheet::Worksheet& page, sheet::Range& cell, const std::string& path,
                        const PictureMeasure& measure) {
    std::shared_ptr<sheet::Picture> inserted = page.GetPictures().Insert(path);
    if (!inserted) return;
    inserted->Select();
    const int32_t width = roundToLong(inserted->Width());
    const int32_t height = roundToLong(inserted->Height());
    currentSelection()->Cut();
    cell.SetRowHeight(height);
    if (measure.widthUnitSize == 0) raise(err::DivisionByZero);
    cell.SetColumnWidth(static_cast<double>(width) / measure.widthUnitSize);
    std::shared_ptr<sheet::Picture> embedded =
        page.GetShapes().AddPicture(path, false, true, cell.Left(), cell.Top(), width, height);
    embedded->Select();
    currentSelection()->SetPlacement(sheet::xl::PlacementMoveAndSize);
    cell.Select();
}

void placePictureCell(sheet::Worksheet& page, int32_t row, int32_t column, const std::string& path,
                      PictureMeasure& measure) {
    std::shared_ptr<sheet::Range> cell = page.Cells(row, column);
    if (measure.pending) measureFirstPictureCell(*cell, measure);
    if (fillcommon::FileExists(path)) {
        cell->Select();
        cell->GetFont()->Set(sheet::FontProperty::Size, Variant(kPictureFontSize));
        cell->SetRowHeight(measure.pictureRowHeight);
        if (measure.version <= kLastInPlacePictureVersion)
            placePictureInPlace(page, *cell, path);
        else
            placePictureFitted(page, *cell, path, measure);
    }
    cell->SetValue(Variant(""));
}

// Writes every field of the record whose name the placeholder carries.
void fillPositionCell(sheet::Worksheet& page, int32_t row, int32_t column, const std::string& name, int32_t RecordSize,
                      const Variant& PosNames, const Variant& PosVals, int32_t nextRecord, int32_t& maxCol,
                      PictureMeasure& measure) {
    for (int32_t j = 0; j < RecordSize; ++j) {
        if (fillcommon::elementText(PosNames, j) != name) continue;
        const int32_t k = nextRecord + j;
        fillcommon::copyCellInColumn(page, row + 1, row, column);
        if (name == "bmp")
            placePictureCell(page, row, column, toText(PosVals.at(k)), measure);
        else
            page.Cells(row, column)->SetValue(PosVals.at(k));
        if (column > maxCol) maxCol = column;
    }
}

// RecordSize + 50 columns, but never past the sheet's last column.
int32_t scannedColumns(int32_t RecordSize) {
    constexpr int32_t kLastSheetColumn = 16384;
    return RecordSize > kLastSheetColumn - kExtraScanColumns ? kLastSheetColumn : RecordSize + kExtraScanColumns;
}

}  // namespace

bool FillSummaryPage(int32_t& positionRow, sheet::Worksheet& page, int32_t RecordSize, const Variant& PosNames,
                     const Variant& PosVals, int32_t PosPerSheet, int32_t& nextRecord, int32_t& maxCol) {
    PictureMeasure measure;
    try {
        measure.version = toDouble(Variant(session::currentApplication().Version()));
    } catch (const RuntimeError& error) {
        if (error.number() != 0) WriteLog(error.description());
        return false;
    }
    int32_t positionsOnPage = 0;
    const int32_t lastIndex = PosVals.upperBound();
    while (!(PosPerSheet != 0 && positionsOnPage >= PosPerSheet) && nextRecord <= lastIndex) {
        session::throwIfCancelled();
        for (int32_t column = 1; column <= scannedColumns(RecordSize); ++column) {
            const std::optional<fillcommon::Placeholder> placeholder =
                fillcommon::ParsePlaceholder(fillcommon::cellTextOrEmpty(page, positionRow, column));
            if (!placeholder || placeholder->kind != "pos") continue;
            fillPositionCell(page, positionRow, column, placeholder->name, RecordSize, PosNames, PosVals, nextRecord,
                             maxCol, measure);
        }
        nextRecord += RecordSize;
        ++positionRow;
        ++positionsOnPage;
    }
    for (int32_t column = 1; column <= scannedColumns(RecordSize); ++column)
        fillcommon::copyCellInColumn(page, positionRow, positionRow + 1, column);
    for (int32_t column = 1; column <= maxCol; ++column) page.Columns(column)->SetNumberFormat("@");
    return true;
}

void BuildSummaryPages(sheet::Worksheet& templateSheet, const Variant& PosNames, const Variant& HeadNames,
                       const Variant& PosVals, int32_t RecordSize, int32_t PosPerSheet) {
    int32_t nextRecord = 0;
    int32_t pageNumber = 0;
    bool pageFilled = true;
    while (nextRecord <= PosVals.upperBound() && pageFilled) {
        session::throwIfCancelled();
        templateSheet.Copy(templateSheet);
        std::shared_ptr<sheet::Workbook>& book = session::excelReferences().ExcelBook;
        if (!book) raise(err::ObjectNotSet);
        std::shared_ptr<sheet::Worksheet> page = book->ActiveSheet();
        if (!page) raise(err::ObjectNotSet);
        page->SetName(kSummaryPagePrefix + std::to_string(++pageNumber));
        int32_t maxCol = 0;
        int32_t positionRow = fillcommon::FillHeader(*page, PosNames, HeadNames, maxCol);
        // Without a position row the page keeps its header alone; further
        // pages would look the same and place nothing either.
        if (positionRow < 0) {
            const std::string scanned =
                "A1:" + columnName(fillcommon::kHeaderScanColumns) + std::to_string(fillcommon::kHeaderScanRows);
            fillcommon::logUnwrittenRecords(
                book->FullName(), PosVals, RecordSize, nextRecord,
                "the template sheet '" + templateSheet.Name() + "' has no '$pos:' cell in " + scanned);
            break;
        }
        pageFilled =
            FillSummaryPage(positionRow, *page, RecordSize, PosNames, PosVals, PosPerSheet, nextRecord, maxCol);
    }
}

}  // namespace kbx::summary
