#include "plainbom/plain_workbook.h"

#include <algorithm>
#include <array>

#include "fillcommon/fill_header.h"
#include "fillcommon/placeholder_cell.h"
#include "fillcommon/unwritten_records.h"
#include "plainbom/plain_lookups.h"
#include "plainbom/plain_page.h"
#include "session/cancellation.h"
#include "session/excel_references.h"
#include "value/data_set.h"
#include "value/runtime_error.h"
#include "value/text_case.h"

namespace kbx::plainbom {

namespace {

using sheet::AppSetting;

constexpr std::array<AppSetting, 5> kQuietedSettings = {AppSetting::EnableAnimations, AppSetting::EnableAutoComplete,
                                                        AppSetting::EnableEvents, AppSetting::DisplayAlerts,
                                                        AppSetting::DisplayStatusBar};

// The interactive settings as they were before the run.
struct SavedSettings {
    std::array<Variant, 5> values;
};

SavedSettings quietApplication(sheet::Application& app) {
    SavedSettings saved;
    for (size_t i = 0; i < kQuietedSettings.size(); ++i) saved.values[i] = app.Get(kQuietedSettings[i]);
    saved.values[4] = Variant(toBoolean(saved.values[4]));
    for (AppSetting setting : kQuietedSettings) app.Set(setting, Variant(false));
    app.SetCalculation(sheet::xl::CalculationManual);
    return saved;
}

// Calculation ends automatic whatever it was before.
void restoreApplication(sheet::Application& app, const SavedSettings& saved) {
    app.SetCalculation(sheet::xl::CalculationAutomatic);
    app.Set(AppSetting::DisplayStatusBar, saved.values[4]);
    for (size_t i = 0; i < 4; ++i) app.Set(kQuietedSettings[i], saved.values[i]);
}

// The position number of the last record, read at the offset "posnr" has in
// the first record. A last number that is no whole 32-bit number stops the
// export here, before any sheet is touched.
void checkLastPositionNumber(const Variant& PosNames, const Variant& PosVals, int32_t RecordSize) {
    const int32_t posnrIndex = FindName(PosNames, "posnr");
    if (posnrIndex < 0) return;  // no record has a number: the list stays empty
    const int32_t records = roundToLong(recordCount(PosVals, RecordSize));
    const int64_t lastIndex = (static_cast<int64_t>(records) - 1) * RecordSize + posnrIndex;
    if (lastIndex < INT32_MIN || lastIndex > INT32_MAX) raise(err::SubscriptOutOfRange);
    toLong(Variant(toText(PosVals.at(static_cast<int32_t>(lastIndex)))));
}

constexpr int64_t kLastSheetRow = 1048576;

// The size of the list an export will write, worked out from the position
// numbers alone before any sheet is touched.
struct PlannedList {
    int64_t rows = 0;  // position rows and gap rows together
    int64_t rowsPerSheet = 0;
    int64_t sheets = 0;
};

PlannedList planList(const Variant& PosNames, const Variant& PosVals, int32_t RecordSize, int32_t rowLimit,
                     bool InsertEmptyRows, bool targetSheetMode) {
    PlannedList plan;
    int64_t written = 0;
    for (int64_t offset = 0; offset <= INT32_MAX; offset += std::max(RecordSize, 1)) {
        const int32_t positionNumber = PosNrAt(PosNames, PosVals, static_cast<int32_t>(offset));
        if (positionNumber == -1) break;
        if (InsertEmptyRows && positionNumber > written + 1) plan.rows += positionNumber - written - 1;
        written = positionNumber;
        ++plan.rows;
        // Past this the list is refused whatever follows.
        if (plan.rows > kMaxListRows) break;
    }
    plan.rowsPerSheet = std::min<int64_t>(plan.rows, rowLimit);
    plan.sheets = targetSheetMode || plan.rows == 0 ? 1 : (plan.rows + rowLimit - 1) / rowLimit;
    return plan;
}

// Refuses, before the work starts, a list that no workbook can hold.
void checkListFits(const PlannedList& plan) {
    if (plan.rows <= kMaxListRows && plan.sheets <= kMaxListSheets) return;
    const std::string rows =
        plan.rows > kMaxListRows ? "more than " + std::to_string(kMaxListRows) : std::to_string(plan.rows);
    raise(err::InvalidCall, standardErrorText(err::InvalidCall) + ": the list would take " + rows +
                                " rows (positions and empty rows for missing position numbers) on " +
                                std::to_string(plan.sheets) + " sheets; one export writes at most " +
                                std::to_string(kMaxListRows) + " rows and " + std::to_string(kMaxListSheets) +
                                " sheets");
}

// The rows from the position row down, and the row below them that is
// copied up over the leftover position row, must lie on the sheet.
void checkSheetFits(sheet::Worksheet& sheet, int32_t posRow, int64_t rows) {
    if (posRow < 0 || posRow + rows + 1 <= kLastSheetRow) return;
    raise(err::InvalidCall, standardErrorText(err::InvalidCall) + ": the list would reach row " +
                                std::to_string(posRow + rows + 1) + " of the sheet '" + sheet.Name() +
                                "', which ends at row " + std::to_string(kLastSheetRow));
}

sheet::Workbook& currentWorkbook() {
    std::shared_ptr<sheet::Workbook>& book = session::excelReferences().ExcelBook;
    if (!book) raise(err::ObjectNotSet);
    return *book;
}

// Whether a name at or after `start` is "posnr", as PosNrAt compares it.
bool namesPositionNumberFrom(const Variant& PosNames, int32_t start) {
    for (int32_t i = std::max(start, 0); i <= PosNames.upperBound(); ++i) {
        const std::optional<std::string> text = fillcommon::elementText(PosNames, i);
        if (text && upperCase(*text) == "POSNR") return true;
    }
    return false;
}

// The list ends where PosNames names no "posnr" any more; records of PosVals
// left after that point are logged, with the reason.
void logRecordsWithoutNumber(const Variant& PosNames, const Variant& PosVals, int32_t RecordSize, int32_t recOffset) {
    if (namesPositionNumberFrom(PosNames, recOffset)) return;
    const int64_t names = int64_t{PosNames.upperBound()} + 1;
    const int64_t values = int64_t{PosVals.upperBound()} + 1;
    std::string why = "PosNames names no field 'posnr' for them";
    if (FindName(PosNames, "posnr") < 0)
        why = "PosNames holds no field 'posnr'";
    else if (names < values)
        why = "PosNames holds " + std::to_string(names) + " names for " + std::to_string(values) +
              " values; the plain export reads one name per value";
    fillcommon::logUnwrittenRecords(currentWorkbook().FullName(), PosVals, RecordSize, recOffset, why);
}

// A fresh copy of the template sheet, placed just before it and named after it.
std::shared_ptr<sheet::Worksheet> nextPageCopy(sheet::Worksheet& templateSheet, const std::string& baseName,
                                               int32_t copies) {
    templateSheet.Copy(templateSheet);
    std::shared_ptr<sheet::Worksheet> page = currentWorkbook().ActiveSheet();
    if (!page) raise(err::ObjectNotSet);
    page->SetName(copies == 1 ? baseName : baseName + std::to_string(copies));
    return page;
}

}  // namespace

void BuildPlainWorkbook(sheet::Worksheet& sheet, const Variant& HeadNames, const Variant& HeadVals, int32_t RecordSize,
                        const Variant& PosNames, const Variant& PosVals, int32_t Company, int32_t PosPerSheet,
                        bool InsertEmptyRows, const std::string& TargetSheetName) {
    sheet::Application& app = session::currentApplication();
    const SavedSettings saved = quietApplication(app);
    checkLastPositionNumber(PosNames, PosVals, RecordSize);

    const bool targetSheetMode = !TargetSheetName.empty();
    // Target-sheet mode writes every record onto its one sheet; in paging mode a
    // limit of 0 or less would make every sheet full before its first row.
    const int32_t rowLimit = targetSheetMode || PosPerSheet <= 0 ? kNoRowLimit : PosPerSheet;
    const PlannedList plan = planList(PosNames, PosVals, RecordSize, rowLimit, InsertEmptyRows, targetSheetMode);
    checkListFits(plan);

    int32_t written = 0;
    int32_t recOffset = 0;
    bool more = true;
    const std::string baseName = sheet.Name();
    if (!targetSheetMode) sheet.SetName(kKeptTemplateSheetName);

    // The loop runs while records remain, so numbers that do not rise still
    // get written and an exactly full last sheet gets no empty follower.
    int32_t copies = 0;
    while (more && PosNrAt(PosNames, PosVals, recOffset) != -1) {
        session::throwIfCancelled();
        std::shared_ptr<sheet::Worksheet> page;
        if (!targetSheetMode) page = nextPageCopy(sheet, baseName, ++copies);
        sheet::Worksheet& target = targetSheetMode ? sheet : *page;
        target.SetAutoFilterMode(false);
        int32_t maxCol = 0;
        int32_t posRow = fillcommon::FillHeader(target, HeadNames, HeadVals, maxCol);
        // Earlier sheets of this call are full.
        const int64_t earlierRows = targetSheetMode ? 0 : int64_t{copies - 1} * rowLimit;
        checkSheetFits(target, posRow, std::min<int64_t>(plan.rows - earlierRows, rowLimit));
        more = FillPlainPage(posRow, target, RecordSize, PosNames, PosVals, Company, rowLimit, written, recOffset,
                             maxCol, InsertEmptyRows, HeadNames, HeadVals);
        if (targetSheetMode) break;
    }
    restoreApplication(app, saved);
    logRecordsWithoutNumber(PosNames, PosVals, RecordSize, recOffset);
}

}  // namespace kbx::plainbom
