#include "plainbom/plain_workbook.h"

#include <array>

#include "fillcommon/fill_header.h"
#include "fillcommon/placeholder_cell.h"
#include "plainbom/plain_lookups.h"
#include "plainbom/plain_page.h"
#include "session/cancellation.h"
#include "session/excel_references.h"
#include "value/data_set.h"
#include "value/runtime_error.h"

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
    const int32_t records = roundToLong(recordCount(PosVals, RecordSize));
    const int64_t lastIndex = (static_cast<int64_t>(records) - 1) * RecordSize + posnrIndex;
    if (lastIndex < INT32_MIN || lastIndex > INT32_MAX) raise(err::SubscriptOutOfRange);
    toLong(Variant(toText(PosVals.at(static_cast<int32_t>(lastIndex)))));
}

sheet::Workbook& currentWorkbook() {
    std::shared_ptr<sheet::Workbook>& book = session::excelReferences().ExcelBook;
    if (!book) raise(err::ObjectNotSet);
    return *book;
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
        more = FillPlainPage(posRow, target, RecordSize, PosNames, PosVals, Company, rowLimit, written, recOffset,
                             maxCol, InsertEmptyRows, HeadNames, HeadVals);
        if (targetSheetMode) break;
    }
    restoreApplication(app, saved);
}

}  // namespace kbx::plainbom
